#include "programs/ProgramRunner.h"

#include <QDir>
#include <QFile>
#include <optional>
#include <utility>

#include "core/FlashTimer.h"
#include "core/WindowServices.h"
#include "device/PortConnection.h"
#include "light/LightState.h"
#include "programs/ProgramError.h"
#include "programs/ProgramReader.h"
#include "programs/SegmentPlayer.h"

namespace {

QByteArray readProgramFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw ProgramError(0, QStringLiteral("Cannot open %1: %2")
                                  .arg(QDir::toNativeSeparators(path), file.errorString()));
    }
    return file.readAll();
}

// A frequency below 1 Hz cannot be played: 0 has no flash period, and a negative one would
// send frames back to back without letting the window respond until the segment ends.
void checkFrequency(int16_t frequency, int line, const char* which) {
    if (frequency < 1) {
        throw ProgramError(
            line,
            QStringLiteral("the %1 frequency is %2").arg(QLatin1String(which)).arg(frequency));
    }
}

}  // namespace

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
        ProgramReader reader(readProgramFile(path));
        if (!reader.skipHeader()) {
            throw ProgramError(0, QStringLiteral("The file is empty"));
        }
        SegmentPlayer player(m_context);
        while (!reader.atEnd() && state.ProgramRunning && !state.Unloading) {
            ProgramRecord record = reader.readRecord();
            checkFrequency(record.nStartFrequency, record.lines[1], "start");
            checkFrequency(record.nEndFrequency, record.lines[2], "end");
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

void ProgramRunner::cndProgramEnd_Click() {
    m_context.state.ProgramRunning = false;
}
