#include "records/SessionRecorder.h"

#include <QDateTime>
#include <algorithm>
#include <limits>
#include <utility>

#include "core/ClockPump.h"
#include "core/WindowServices.h"
#include "device/ComPorts.h"
#include "device/Frames.h"
#include "device/PortConnection.h"
#include "light/LightState.h"
#include "settings/Settings.h"

namespace {

// The value of a hexadecimal digit; 0 for anything else.
uint8_t hexDigit(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9') {
        return static_cast<uint8_t>(u - u'0');
    }
    if (u >= u'A' && u <= u'F') {
        return static_cast<uint8_t>(u - u'A' + 10);
    }
    if (u >= u'a' && u <= u'f') {
        return static_cast<uint8_t>(u - u'a' + 10);
    }
    return 0;
}

// The byte two hexadecimal digits at position at of text stand for.
uint8_t hexByte(QStringView text, qsizetype at) {
    return static_cast<uint8_t>(hexDigit(text[at]) << 4 | hexDigit(text[at + 1]));
}

int16_t limited16(int value) {
    return static_cast<int16_t>(std::clamp<int>(value, std::numeric_limits<int16_t>::min(),
                                                std::numeric_limits<int16_t>::max()));
}

}  // namespace

SessionRecorder::SessionRecorder(const OperationContext& context) : m_context(context) {}

SessionRecorder::~SessionRecorder() {
    if (m_recording) {
        m_context.port.removeWriteObserver(m_writeObserverKey);
    }
}

StallMark SessionRecorder::stallOf(const SegmentPlayer::Frame& frame) {
    return {0, frame.skipped, frame.restarted};
}

void SessionRecorder::begin(Setup setup) {
    if (m_recording) {
        m_context.port.removeWriteObserver(m_writeObserverKey);
    }
    m_record = SessionRecord();
    m_record.software = std::move(setup.software);
    m_record.programPath = std::move(setup.programPath);
    m_record.programBytes = std::move(setup.programBytes);
    m_record.comNumber = m_context.settings.ComPortNumber;
    m_record.devicePath = ComPorts::devicePath(m_record.comNumber);
    m_record.deviceIdentity = ComPorts::describe(ComPorts::present(), m_record.comNumber);
    m_record.whiteLeds = WhiteCodeFor(m_context.window.whiteBoxValue()) == Frames::WholeDeviceWhite;
    m_record.beganUtc = QDateTime::currentDateTimeUtc();
    m_record.beganClock = m_context.clock.now();
    m_stepFrequency = 0;
    m_stepSegment = 0;
    m_held = false;
    m_recording = true;
    m_writeObserverKey = m_context.port.addWriteObserver(
        m_context.clock, [this](const PortConnection::FrameWrite& write) { written(write); });
}

void SessionRecorder::written(const PortConnection::FrameWrite& write) {
    RecordedFrame frame;
    frame.called = write.called;
    frame.writeSeconds = static_cast<float>(write.returned - write.called);
    frame.result = limited16(write.result);
    const QStringView text = write.frameText;
    if (text.size() >= 9) {
        frame.lead = static_cast<uint8_t>(text[0].unicode());
        frame.address = hexByte(text, 1);
        frame.colour = {hexByte(text, 3), hexByte(text, 5), hexByte(text, 7)};
    }
    m_record.frames.append(frame);
}

void SessionRecorder::frameWritten(const SegmentPlayer::Frame& frame) {
    if (m_record.frames.empty()) {
        return;
    }
    // The player reports each frame right after writing it: the last frame kept is this one.
    RecordedFrame& kept = m_record.frames.back();
    kept.late = static_cast<float>(kept.called - frame.due);
    kept.flags = static_cast<uint8_t>(RecordedFrame::Paced | (frame.lit ? RecordedFrame::Lit : 0));
    const size_t index = m_record.frames.size() - 1;
    if (frame.frequency != m_stepFrequency || m_stepSegment != m_record.segments.size()) {
        m_record.steps.push_back({index, frame.frequency});
        m_stepFrequency = frame.frequency;
        m_stepSegment = m_record.segments.size();
    }
    if (StallMark stall = stallOf(frame); stall.skipped > 0) {
        stall.frame = index;
        m_record.stalls.push_back(stall);
    }
}

ProgramPlayback::Hooks SessionRecorder::hooks(ProgramPlayback::Hooks inner) {
    ProgramPlayback::Hooks hooks;
    hooks.segmentStarting = [this,
                             next = std::move(inner.segmentStarting)](const ProgramRecord& record) {
        if (m_recording) {
            m_record.segments.push_back({record, m_context.clock.now(), m_record.frames.size()});
        }
        if (next) {
            next(record);
        }
    };
    hooks.frameWritten = [this,
                          next = std::move(inner.frameWritten)](const SegmentPlayer::Frame& frame) {
        if (m_recording) {
            frameWritten(frame);
        }
        if (next) {
            next(frame);
        }
    };
    hooks.recordsEnded = [this, next = std::move(inner.recordsEnded)] {
        if (m_recording) {
            m_record.recordsEnded = m_context.clock.now();
            // Ended while held (stopped during a pause): the hold ends with the records.
            noteHold(false);
        }
        if (next) {
            next();
        }
    };
    // A hold (a pause) is the front end's; the recorder notes when it begins and ends. The
    // player asks while it waits, so this stays a call and a comparison.
    if (inner.holding) {
        hooks.holding = [this, next = std::move(inner.holding)] {
            const bool held = next();
            if (m_recording) {
                noteHold(held);
            }
            return held;
        };
    }
    return hooks;
}

void SessionRecorder::noteHold(bool held) {
    if (held == m_held) {
        return;
    }
    m_held = held;
    if (held) {
        // The player writes the hold's dark frame next.
        m_record.holds.push_back({m_context.clock.now(), std::numeric_limits<double>::quiet_NaN(),
                                  m_record.frames.size()});
    } else {
        m_record.holds.back().until = m_context.clock.now();
    }
}

SessionRecord SessionRecorder::finish(SessionEnding ending) {
    if (m_recording) {
        noteHold(false);
        m_context.port.removeWriteObserver(m_writeObserverKey);
        m_recording = false;
        m_record.finished = m_context.clock.now();
    }
    m_record.ending = std::move(ending);
    return std::exchange(m_record, SessionRecord());
}

std::optional<SessionFiles::Paths> RecordedRun::write(const QString& folder, QString* error) const {
    return SessionFiles::write(record, summarizeSession(record), folder, error);
}
