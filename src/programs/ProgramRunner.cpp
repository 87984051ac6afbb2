#include "programs/ProgramRunner.h"

#include <optional>
#include <utility>

#include "core/FlashTimer.h"
#include "core/WindowServices.h"
#include "device/PortConnection.h"
#include "light/LightState.h"
#include "programs/ProgramError.h"
#include "programs/ProgramPlayback.h"

ProgramRunner::ProgramRunner(const OperationContext& context, QString programFolder)
    : m_context(context), m_programFolder(std::move(programFolder)) {}

void ProgramRunner::cmdProgramStart_Click() {
    LightState& state = m_context.state;
    // The window is going away: no new run starts.
    if (state.Unloading) {
        return;
    }

    m_context.timer.setEnabled(false);
    if (!state.PortOpen) {
        m_context.port.OpenPort();
    }
    state.ProgramRunning = true;

    const QString path = m_context.window.chooseOpenFile(m_programFolder, DialogFilter);
    if (path.isEmpty()) {
        return;
    }

    const std::optional<ProgramError> failure = ProgramPlayback(m_context).playFile(path);
    if (failure) {
        m_context.window.showMessage(failure->message());
    }
}

void ProgramRunner::cndProgramEnd_Click() {
    m_context.state.ProgramRunning = false;
}
