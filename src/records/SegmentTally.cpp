#include "records/SegmentTally.h"

#include <algorithm>
#include <cmath>

#include "programs/SegmentPlayer.h"

namespace {

using RecordSchema::EventKind;

// How far before the segment's own end a frame of a stall at the end must have been due to
// count as swallowed: the end is worked out from the recorder's pauses, whose clock readings
// differ from the player's by a few microseconds.
constexpr double EndTolerance = 0.001;

}  // namespace

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

void Spread::add(double value) {
    ++m_count;
    const double delta = value - m_mean;
    m_mean += delta / static_cast<double>(m_count);
    m_squares += delta * (value - m_mean);
}

void Spread::add(const Spread& other) {
    if (other.m_count == 0) {
        return;
    }
    const auto n = static_cast<double>(m_count);
    const auto m = static_cast<double>(other.m_count);
    const double delta = other.m_mean - m_mean;
    m_mean += delta * m / (n + m);
    m_squares += other.m_squares + delta * delta * n * m / (n + m);
    m_count += other.m_count;
}

double Spread::deviation() const {
    if (m_count < 2) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    return std::sqrt(m_squares / static_cast<double>(m_count - 1));
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
      m_firstHold(static_cast<size_t>(
          std::partition_point(record.holds.begin(), record.holds.end(),
                               [&](const HeldSpan& span) {
                                   return span.frame < record.segments[segment].firstFrame;
                               }) -
          record.holds.begin())),
      m_origin(record.origin()),
      m_row(eventIn(EventKind::Segment, 0, record, static_cast<int>(segment))),
      m_start(record.segments[segment].started),
      m_holdsSeen(m_firstHold) {
    m_row.record = record.segments[segment].record;
    m_row.stalls = 0;
    m_row.skippedFrames = 0;
    m_stretch.holds = m_firstHold;
}

void SegmentTally::add(const FrameWalk& walk) {
    m_holdsSeen = walk.holds();
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

    // A pause ends a stretch: the segment goes on with a lit frame on a grid of its own.
    if (walk.holds() != m_stretch.holds) {
        closeStretch(m_held.spans()[m_stretch.holds].from);
        m_stretch = Stretch{walk.holds()};
    }
    Stretch& stretch = m_stretch;
    if (stretch.litSeen) {
        // The frequency of the last frame held until this one was due.
        stretch.cycles += stretch.lastFrequency * (due - stretch.lastDue);
    }
    if (frame.lit()) {
        stretch.litSeen = true;
        stretch.cyclesToLit = stretch.cycles;
        if (frame.delivered()) {
            ++stretch.litTaken;
            if (stretch.lastLitTaken) {
                // The interval of the calls less that of the due times.
                m_jitter.add((late - stretch.lastLitLate) * 1000.0);
            }
        }
        stretch.lastLitTaken = frame.delivered();
        stretch.lastLitLate = late;
    }
    stretch.lastDue = due;
    stretch.lastFrequency = frequency;
    stretch.lastLit = frame.lit();
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

void SegmentTally::closeStretch(double end) {
    Stretch& stretch = m_stretch;
    if (!stretch.litSeen) {
        return;
    }
    // Frames of the grid after the last one written whose time had wholly passed (by a half
    // period) when the stretch ended, and that fell before the segment's own end: a stall
    // swallowed them, and no frame after it carries its mark.
    int64_t swallowed = 0;
    if (stretch.lastFrequency > 0) {
        const double half = SegmentPlayer::halfPeriod(stretch.lastFrequency);
        double held = 0;
        for (size_t h = m_firstHold; h < m_holdsSeen; ++h) {
            held += m_held.spans()[h].until - m_held.spans()[h].from;
        }
        const double segmentEnd = m_start + m_record.segments[m_segment].record.nDuration + held;
        const double passed = std::floor((end - half - stretch.lastDue) / half);
        const double beforeEnd =
            std::ceil((segmentEnd - EndTolerance - stretch.lastDue) / half) - 1;
        swallowed = static_cast<int64_t>(std::max(0.0, std::min(passed, beforeEnd)));
    }
    int64_t swallowedLit = 0;
    if (swallowed > 0) {
        // Lit and dark frames alternate on the grid from the last one written.
        swallowedLit = stretch.lastLit ? swallowed / 2 : (swallowed + 1) / 2;
        const double missed = stretch.lastDue + SegmentPlayer::halfPeriod(stretch.lastFrequency);
        SessionEvent event =
            eventIn(EventKind::Stall, missed - m_origin, m_record, static_cast<int>(m_segment));
        event.duration = end - missed;
        event.skippedFrames = swallowed;
        event.note = QStringLiteral("%1 frame(s) not sent; the %2 during the stall")
                         .arg(swallowed)
                         .arg(end < m_end ? QStringLiteral("run was paused")
                                          : QStringLiteral("segment ended"));
        m_stallRows.push_back(event);
        ++m_row.stalls;
        m_row.skippedFrames += swallowed;
    }
    m_askedCycles += stretch.cyclesToLit + static_cast<double>(swallowedLit);
    m_deliveredCycles += static_cast<double>(std::max<int64_t>(stretch.litTaken - 1, 0));
    stretch.litSeen = false;
}

void SegmentTally::finish() {
    // A pause begun after the last paced frame (a run stopped while held) ends the last stretch.
    closeStretch(m_holdsSeen > m_stretch.holds ? m_held.spans()[m_stretch.holds].from : m_end);
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
        if (m_askedCycles > 0) {
            m_row.ratio = m_deliveredCycles / m_askedCycles;
            m_row.deliveredHz = m_row.ratio * m_row.askedHz;
        }
        m_row.lateP99Ms = nearestRankQuantile(m_late, 0.99) * 1000.0;
        m_row.lateMaxMs = *std::max_element(m_late.begin(), m_late.end()) * 1000.0;
        m_row.jitterMs = m_jitter.deviation();
    }
}
