#include "runs/RunMarkers.h"

#include <utility>

#include "core/ClockPump.h"
#include "device/PortConnection.h"
#include "light/LightState.h"
#include "records/RecordSchema.h"

namespace {

QString word(RecordSchema::EventKind kind) {
    return RecordSchema::eventKindName(kind);
}

}  // namespace

RunMarkers::RunMarkers(const OperationContext& context, Sink sink, bool everyLitFrame)
    : m_context(context), m_sink(std::move(sink)), m_everyLitFrame(everyLitFrame) {
    m_writeObserverKey = m_context.port.addWriteObserver(
        m_context.clock,
        [this](const PortConnection::FrameWrite& write) { m_lastReturned = write.returned; });
}

RunMarkers::~RunMarkers() {
    m_context.port.removeWriteObserver(m_writeObserverKey);
}

void RunMarkers::mark(const QString& text) {
    m_sink(text, m_context.clock.now());
}

void RunMarkers::mark(const QString& text, double clockTime) {
    m_sink(text, clockTime);
}

ProgramPlayback::Hooks RunMarkers::hooks(ProgramPlayback::Hooks inner) {
    ProgramPlayback::Hooks hooks = inner;
    hooks.segmentStarting = [this,
                             next = std::move(inner.segmentStarting)](const ProgramRecord& record) {
        m_record = record;
        m_segmentPending = true;
        if (next) {
            next(record);
        }
    };
    hooks.frameWritten = [this,
                          next = std::move(inner.frameWritten)](const SegmentPlayer::Frame& frame) {
        frameWritten(frame);
        if (next) {
            next(frame);
        }
    };
    if (inner.holding) {
        hooks.holding = [this, next = std::move(inner.holding)] {
            const bool held = next();
            if (held != m_held) {
                m_held = held;
                mark(QStringLiteral("%1 line=%2")
                         .arg(held ? word(RecordSchema::EventKind::Paused)
                                   : QStringLiteral("resumed"))
                         .arg(m_record.line()));
            }
            return held;
        };
    }
    return hooks;
}

void RunMarkers::frameWritten(const SegmentPlayer::Frame& frame) {
    using RecordSchema::EventKind;
    const int line = m_record.line();
    // Every marker of this frame stands for the same moment: its write's return.
    const double now = m_lastReturned;
    if (m_segmentPending) {
        m_segmentPending = false;
        mark(QStringLiteral(
                 "%1 line=%2 id=%3 start_hz=%4 end_hz=%5 start_level=%6 end_level=%7 seconds=%8")
                 .arg(word(EventKind::Segment))
                 .arg(line)
                 .arg(m_record.nSegmentID)
                 .arg(m_record.nStartFrequency)
                 .arg(m_record.nEndFrequency)
                 .arg(m_record.nStartBrightness)
                 .arg(m_record.nEndBrightness)
                 .arg(m_record.nDuration),
             now);
    }
    if (frame.skipped > 0) {
        mark(QStringLiteral("%1 line=%2 skipped=%3")
                 .arg(word(EventKind::Stall))
                 .arg(line)
                 .arg(frame.skipped),
             now);
    }
    // The library's answer to the frame just written.
    const int result = m_context.state.LastResult;
    if (result < 0 && !m_lost) {
        m_lost = true;
        mark(QStringLiteral("%1 line=%2 result=%3")
                 .arg(word(EventKind::DeviceLost))
                 .arg(line)
                 .arg(result),
             now);
    } else if (result >= 0 && m_lost) {
        m_lost = false;
        mark(QStringLiteral("%1 line=%2").arg(word(EventKind::DeviceBack)).arg(line), now);
    }
    if (m_everyLitFrame && frame.lit) {
        mark(QStringLiteral("frame line=%1 hz=%2 level=%3")
                 .arg(line)
                 .arg(frame.frequency)
                 .arg(frame.level),
             now);
    }
}

void RunMarkers::ended(const SessionEnding& ending) {
    QString text =
        QStringLiteral("%1 how=%2").arg(word(RecordSchema::EventKind::Ended), ending.name());
    if (ending.how == SessionEnding::How::Signal) {
        text += QStringLiteral(" signal=") + ending.signalName;
    } else if (ending.how == SessionEnding::How::Failed && ending.failure) {
        text += QStringLiteral(" line=%1").arg(ending.failure->line());
    }
    mark(text);
}
