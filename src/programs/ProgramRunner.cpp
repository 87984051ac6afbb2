#include "programs/ProgramRunner.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <optional>
#include <utility>

#include "core/FlashTimer.h"
#include "core/WindowServices.h"
#include "device/PortConnection.h"
#include "light/LightState.h"
#include "programs/ProgramError.h"
#include "programs/ProgramPlayback.h"
#include "programs/ProgramReader.h"
#include "programs/SessionFiles.h"
#include "programs/SessionRecorder.h"

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

    const std::optional<ProgramError> failure =
        m_recordFolder.isEmpty() ? ProgramPlayback(m_context).playFile(path) : playRecorded(path);
    if (failure) {
        m_context.window.showMessage(failure->message());
    }
}

bool ProgramRunner::setRecordFolder(const QString& folder, QString* error) {
    QString reason;
    if (!folder.isEmpty() && !SessionFiles::prepareFolder(folder, &reason)) {
        m_recordFolder.clear();
        if (error != nullptr) {
            *error = reason;
        }
        return false;
    }
    m_recordFolder = folder;
    return true;
}

std::optional<ProgramError> ProgramRunner::playRecorded(const QString& path) {
    QByteArray bytes;
    try {
        bytes = ProgramReader::readFile(path);
    } catch (const ProgramError&) {
        // Nothing plays, so there is nothing to record; the routine reports the file.
        return ProgramPlayback(m_context).playFile(path);
    }
    const RecordedRun run = playAndRecord(
        m_context, {QFileInfo(QCoreApplication::applicationFilePath()).fileName(), path, bytes});
    QString error;
    if (!run.write(m_recordFolder, &error)) {
        m_context.window.showMessage(QStringLiteral("The session record is lost: %1").arg(error));
    }
    return run.failure;
}

void ProgramRunner::cndProgramEnd_Click() {
    m_context.state.ProgramRunning = false;
}
