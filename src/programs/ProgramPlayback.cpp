#include "programs/ProgramPlayback.h"

#include <utility>

#include "device/PortConnection.h"
#include "light/LightState.h"
#include "programs/ProgramReader.h"

ProgramPlayback::ProgramPlayback(const OperationContext& context, Hooks hooks)
    : m_context(context), m_hooks(std::move(hooks)) {}

bool ProgramPlayback::keepPlaying() const {
    return m_context.state.ProgramRunning && !m_context.state.Unloading;
}

std::optional<ProgramError> ProgramPlayback::playEach(
    const std::function<void()>& prepare,
    const std::function<std::optional<ProgramRecord>()>& next) {
    std::optional<ProgramError> failure;
    try {
        if (prepare) {
            prepare();
        }
        SegmentPlayer player(m_context);
        player.setFrameObserver(m_hooks.frameWritten);
        player.setHold(m_hooks.holding);
        while (keepPlaying()) {
            std::optional<ProgramRecord> record = next();
            if (!record) {
                break;
            }
            checkStartFrequency(*record);
            if (m_hooks.segmentStarting) {
                m_hooks.segmentStarting(*record);
            }
            try {
                player.PlaySegment(record->nSegmentID, record->nStartFrequency,
                                   record->nEndFrequency, record->nStartBrightness,
                                   record->nEndBrightness, record->nDuration);
            } catch (const ProgramError& error) {
                throw error.atLine(record->line());
            }
        }
    } catch (const ProgramError& error) {
        failure = error;
    }
    if (m_hooks.recordsEnded) {
        m_hooks.recordsEnded();
    }
    // Every run ends dark, white LEDs included.
    m_context.port.sendFrame(Frames::Lead::SOH, Frames::WholeDevice, Frames::Black);
    return failure;
}

void ProgramPlayback::checkStartFrequency(const ProgramRecord& record) {
    try {
        SegmentPlayer::checkStartFrequency(record.nStartFrequency);
    } catch (const ProgramError& error) {
        // The line of the start frequency's field, for a record split across lines.
        throw error.atLine(record.lines[1]);
    }
}

std::optional<ProgramError> ProgramPlayback::play(const QByteArray& bytes, int firstRecord) {
    ProgramReader reader(bytes);
    const auto skipHeader = [&reader] {
        if (!reader.skipHeader()) {
            throw ProgramError(0, QStringLiteral("The file is empty"));
        }
    };
    int index = 0;
    return playEach(skipHeader, [&]() -> std::optional<ProgramRecord> {
        // The records before the first to play are read too, so a bad one still ends the run.
        for (; index < firstRecord && !reader.atEnd(); ++index) {
            reader.readRecord();
        }
        if (reader.atEnd()) {
            return std::nullopt;
        }
        return reader.readRecord();
    });
}

std::optional<ProgramError> ProgramPlayback::playRecords(const QList<ProgramRecord>& records) {
    qsizetype index = 0;
    return playEach({}, [&]() -> std::optional<ProgramRecord> {
        if (index == records.size()) {
            return std::nullopt;
        }
        return records[index++];
    });
}

std::optional<ProgramError> ProgramPlayback::playFile(const QString& path) {
    QByteArray bytes;
    try {
        // The file is read whole and closed at once; the run plays from its bytes.
        bytes = ProgramReader::readFile(path);
    } catch (const ProgramError& error) {
        m_context.port.sendFrame(Frames::Lead::SOH, Frames::WholeDevice, Frames::Black);
        return error;
    }
    return play(bytes);
}
