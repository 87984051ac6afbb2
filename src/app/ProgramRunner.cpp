#include "app/ProgramRunner.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <utility>

#include "core/FlashTimer.h"
#include "core/WindowServices.h"
#include "device/PortConnection.h"
#include "light/LightState.h"
#include "programs/ProgramError.h"
#include "programs/ProgramPlayback.h"
#include "programs/ProgramReader.h"
#include "records/SessionFiles.h"
#include "runs/DeviceRun.h"

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

    QByteArray bytes;
    try {
        bytes = ProgramReader::readFile(path);
    } catch (const ProgramError&) {
        // Nothing plays, so there is nothing to record; the routine reports the file and
        // darkens the light.
        if (const std::optional<ProgramError> failure = ProgramPlayback(m_context).playFile(path)) {
            m_context.window.showMessage(failure->message());
        }
        return;
    }
    DeviceRun::Request request;
    request.bytes = bytes;
    request.programPath = path;
    request.software = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    request.keepRecord = !m_recordFolder.isEmpty();
    const DeviceRun::Outcome outcome = DeviceRun::playOn(m_context, request);
    if (outcome.record) {
        QString error;
        if (!outcome.record->write(m_recordFolder, &error)) {
            m_context.window.showMessage(
                QStringLiteral("The session record is lost: %1").arg(error));
        }
    }
    if (outcome.failure) {
        m_context.window.showMessage(outcome.failure->message());
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

void ProgramRunner::cndProgramEnd_Click() {
    m_context.state.ProgramRunning = false;
}
