#include "programs/ProgramRunner.h"

#include <optional>
#include <utility>

#include "core/FlashTimer.h"
#include "core/WindowServices.h"
#include "device/PortConnection.h"
#include "light/LightState.h"
#include "programs/ProgramError.h"
#include "programs/ProgramReader.h"
#include "programs/SegmentPlayer.h"

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

    std::optional<ProgramError> failure;
    try {
        // The file is read whole and closed at once; the run plays from its bytes.
        ProgramReader reader(ProgramReader::readFile(path));
        if (!reader.skipHeader()) {
            throw ProgramError(0, QStringLiteral("The file is empty"));
        }
        SegmentPlayer player(m_context);
        while (!reader.atEnd() && state.ProgramRunning && !state.Unloading) {
            ProgramRecord record = reader.readRecord();
            checkStartFrequency(record);
            try {
                player.PlaySegment(record.nSegmentID, record.nStartFrequency, record.nEndFrequency,
                                   record.nStartBrightness, record.nEndBrightness,
                                   record.nDuration);
            } catch (const ProgramError& error) {
                throw error.atLine(record.line());
            }
        }
    } catch (const ProgramError& error) {
        failure = error;
    }

    // Every run that got this far ends dark, white LEDs included.
    m_context.port.sendFrame(Frames::Lead::SOH, Frames::WholeDevice, Frames::Black);
    if (failure) {
        m_context.window.showMessage(failure->message());
    }
}

void ProgramRunner::checkStartFrequency(const ProgramRecord& record) {
    if (record.nStartFrequency < 1) {
        throw ProgramError(record.lines[1],
                           QStringLiteral("the start frequency is %1").arg(record.nStartFrequency));
    }
}

void ProgramRunner::cndProgramEnd_Click() {
    m_context.state.ProgramRunning = false;
}
