#include "records/SegmentTally.h"

#include <algorithm>
#include <cmath>

#include "programs/SegmentPlayer.h"

using RecordSchema::EventKind;

HeldTime::HeldTime(const std::vector<HeldSpan>& spans, double end) {
    for (const HeldSpan& span : spans) {
        m_spans.push_back({span.from,
                           std::isnan(span.until) ? std::max(end, span.from) : span.until,
                           span.frame});
    }
}

double HeldTime::within(double from, double to) const {
    double held = 0;
    for (const HeldSpan& span : m_spans) {
        held += std::max(0.0, std::min(to, span.until) - std::max(from, span.from));
    }
    return held;
}

SessionEvent eventIn(EventKind kind, double onset, const SessionRecord& record, int segment) {
    SessionEvent event;
    event.kind = kind;
    event.onset = onset;
    event.duration = 0;
    if (segment >= 0) {
        const ProgramRecord& program = record.segments[static_cast<size_t>(segment)].record;
        event.line = program.line();
        event.segmentId = program.nSegmentID;
    }
    return event;
}

SegmentTally::SegmentTally(const SessionRecord& record, const HeldTime& held, size_t segment,
                           double end)
    : m_record(record),
      m_held(held),
      m_segment(segment),
      m_end(end),
      m_origin(record.origin()),
      m_row(eventIn(EventKind::Segment, 0, record, static_cast<int>(segment))),
      m_start(record.segments[segment].started) {
    m_row.record = record.segments[segment].record;
    m_row.stalls = 0;
    m_row.skippedFrames = 0;
}

void SegmentTally::add(const FrameWalk& walk) {
    if (walk.frame().paced()) {
        paced(walk);
    }
}

void SegmentTally::paced(const FrameWalk& walk) {
    const RecordedFrame& frame = walk.frame();
    const int frequency = walk.frequency();
    const double due = frame.due();
    const auto late = static_cast<double>(frame.late);
    if (!m_played) {
        m_played = true;
        m_start = due;
        m_stepStart = due;
        m_stepFrequency = frequency;
    } else if (frequency != m_stepFrequency) {
        // Each frequency holds from the frame that carried it to the next step.
        m_frequencySeconds +=
            m_stepFrequency * (due - m_stepStart - m_held.within(m_stepStart, due));
        m_stepStart = due;
        m_stepFrequency = frequency;
    }
    ++m_pacedFrames;
    m_litFrames += frame.lit() && frame.delivered() ? 1 : 0;
    m_late.push_back(late);
    if (const StallMark* stall = walk.stall()) {
        addStall(*stall, frame, due);
    }
    m_previousDue = due;
    m_previousFrequency = frequency;
}

void SegmentTally::addStall(const StallMark& mark, const RecordedFrame& frame, double due) {
    // The stall began when the first frame that was not sent fell due.
    const double missed = std::isnan(m_previousDue)
                              ? due
                              : m_previousDue + SegmentPlayer::halfPeriod(m_previousFrequency);
    SessionEvent event =
        eventIn(EventKind::Stall, missed - m_origin, m_record, static_cast<int>(m_segment));
    event.duration = frame.called - missed;
    event.skippedFrames = mark.skipped;
    event.note =
        QStringLiteral("%1 frame(s) not sent%2")
            .arg(mark.skipped)
            .arg(mark.restarted ? QStringLiteral("; the frame grid restarted from the clock")
                                : QString());
    m_stallRows.push_back(event);
    ++m_row.stalls;
    m_row.skippedFrames += mark.skipped;
}

void SegmentTally::finish() {
    if (m_played) {
        m_frequencySeconds +=
            m_stepFrequency * (m_end - m_stepStart - m_held.within(m_stepStart, m_end));
        m_playedSeconds = m_end - m_start - m_held.within(m_start, m_end);
    }
    m_row.onset = m_start - m_origin;
    m_row.duration = m_end - m_start;
    m_row.litFrames = m_litFrames;
    if (m_played && m_playedSeconds > 0) {
        m_row.askedHz = m_frequencySeconds / m_playedSeconds;
        m_row.deliveredHz = static_cast<double>(m_litFrames) / m_playedSeconds;
        if (m_frequencySeconds > 0) {
            m_row.ratio = static_cast<double>(m_litFrames) / m_frequencySeconds;
        }
        m_row.lateP99Ms = nearestRankQuantile(m_late, 0.99) * 1000.0;
        m_row.lateMaxMs = *std::max_element(m_late.begin(), m_late.end()) * 1000.0;
    }
}
