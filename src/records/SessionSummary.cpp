#include "records/SessionSummary.h"

#include <algorithm>
#include <cmath>

#include "programs/SegmentPlayer.h"

namespace {

using RecordSchema::EventKind;

// The index of the segment frame index belongs to, or -1 before the first.
class SegmentCursor {
  public:
    explicit SegmentCursor(const std::vector<RecordedSegment>& segments) : m_segments(segments) {}
    int at(size_t frame) {
        while (m_next < m_segments.size() && m_segments[m_next].firstFrame <= frame) {
            ++m_next;
        }
        return static_cast<int>(m_next) - 1;
    }

  private:
    const std::vector<RecordedSegment>& m_segments;
    size_t m_next = 0;
};

SessionEvent eventAt(EventKind kind, double onset, const SessionRecord& record, int segment) {
    SessionEvent event;
    event.kind = kind;
    event.onset = onset;
    event.duration = 0;
    if (segment >= 0) {
        event.line = record.segments[static_cast<size_t>(segment)].record.line();
        event.segmentId = record.segments[static_cast<size_t>(segment)].record.nSegmentID;
    }
    return event;
}

// The pauses of a run, each with its end (one still open ends with the run).
class Holds {
  public:
    Holds(const std::vector<HeldSpan>& spans, double end) {
        for (const HeldSpan& span : spans) {
            m_spans.push_back({span.from,
                               std::isnan(span.until) ? std::max(end, span.from) : span.until,
                               span.frame});
        }
    }
    const std::vector<HeldSpan>& spans() const { return m_spans; }
    // Seconds of [from, to] that were held.
    double within(double from, double to) const {
        double held = 0;
        for (const HeldSpan& span : m_spans) {
            held += std::max(0.0, std::min(to, span.until) - std::max(from, span.from));
        }
        return held;
    }

  private:
    std::vector<HeldSpan> m_spans;
};

// Adds a row for each pause, in the segment it held.
void addHolds(const SessionRecord& record, const Holds& holds, double origin,
              SessionSummary& summary) {
    SegmentCursor segments(record.segments);
    for (const HeldSpan& span : holds.spans()) {
        SessionEvent held =
            eventAt(EventKind::Paused, span.from - origin, record, segments.at(span.frame));
        held.duration = span.until - span.from;
        held.note = QStringLiteral("held dark; the segment went on with the seconds it had left");
        summary.events.push_back(held);
        summary.totals.heldSeconds += held.duration;
    }
}

// Adds the rows of the device's losses and returns: a loss runs from the first write that failed
// to the next that succeeded.
void addLosses(const SessionRecord& record, double origin, double end, SessionSummary& summary) {
    const FrameLog& frames = record.frames;
    SegmentCursor segments(record.segments);
    bool lost = false;
    size_t lostAt = 0;
    int lostSegment = -1;
    int64_t failed = 0;
    const auto lossRow = [&](double until, const QString& tail) {
        const RecordedFrame& first = frames[lostAt];
        SessionEvent loss =
            eventAt(EventKind::DeviceLost, first.called - origin, record, lostSegment);
        loss.duration = until - first.called;
        loss.note = QStringLiteral("%1 write(s) failed, the first with code %2%3")
                        .arg(failed)
                        .arg(first.result)
                        .arg(tail);
        summary.events.push_back(loss);
        ++summary.totals.deviceLosses;
    };
    for (size_t i = 0; i < frames.size(); ++i) {
        const RecordedFrame& frame = frames[i];
        const int segment = segments.at(i);
        if (!frame.delivered()) {
            ++summary.totals.failedWrites;
            if (!lost) {
                lost = true;
                lostAt = i;
                lostSegment = segment;
                failed = 0;
            }
            ++failed;
            continue;
        }
        if (lost) {
            lost = false;
            lossRow(frame.called, QString());
            SessionEvent back =
                eventAt(EventKind::DeviceBack, frame.called - origin, record, segment);
            back.note = QStringLiteral("the library took a frame again after %1 s")
                            .arg(frame.called - frames[lostAt].called, 0, 'f', 3);
            summary.events.push_back(back);
        }
    }
    if (lost) {
        lossRow(std::max(end, frames[lostAt].called), QStringLiteral("; not back by the end"));
        summary.totals.deviceLostAtEnd = true;
    }
}

}  // namespace

SessionSummary summarizeSession(const SessionRecord& record) {
    SessionSummary summary;
    SessionTotals& totals = summary.totals;
    const FrameLog& frames = record.frames;
    const double origin = record.origin();
    const double end = record.end();
    totals.seconds = end - origin;
    totals.frames = static_cast<int64_t>(frames.size());
    // The rates count the time the segments played: a pause is no frame missed.
    const Holds holds(record.holds, end);

    size_t step = 0;
    size_t stall = 0;
    int frequency = 0;
    std::vector<double> allLate;
    double askedFrames = 0;
    double segmentSeconds = 0;
    for (size_t s = 0; s < record.segments.size(); ++s) {
        const RecordedSegment& segment = record.segments[s];
        const bool lastSegment = s + 1 == record.segments.size();
        const size_t last = lastSegment ? frames.size() : record.segments[s + 1].firstFrame;
        const double segmentEnd = lastSegment ? end : record.segments[s + 1].started;

        SessionEvent row = eventAt(EventKind::Segment, 0, record, static_cast<int>(s));
        row.record = segment.record;
        double start = segment.started;
        bool played = false;
        int64_t lit = 0;
        double asked = 0;
        double stepStart = 0;
        int stepFrequency = 0;
        double previousDue = std::numeric_limits<double>::quiet_NaN();
        int previousFrequency = 0;
        std::vector<double> late;
        row.stalls = 0;
        row.skippedFrames = 0;
        for (size_t i = segment.firstFrame; i < last; ++i) {
            const RecordedFrame& frame = frames[i];
            if (!frame.paced()) {
                continue;
            }
            while (step < record.steps.size() && record.steps[step].frame <= i) {
                frequency = record.steps[step++].frequency;
            }
            const double due = frame.due();
            if (!played) {
                played = true;
                start = due;
                stepStart = due;
                stepFrequency = frequency;
            } else if (frequency != stepFrequency) {
                // Each frequency holds from the frame that carried it to the next step.
                asked += stepFrequency * (due - stepStart - holds.within(stepStart, due));
                stepStart = due;
                stepFrequency = frequency;
            }
            ++totals.pacedFrames;
            if (frame.lit() && frame.delivered()) {
                ++lit;
            }
            late.push_back(static_cast<double>(frame.late));

            while (stall < record.stalls.size() && record.stalls[stall].frame < i) {
                ++stall;
            }
            if (stall < record.stalls.size() && record.stalls[stall].frame == i) {
                const StallMark& mark = record.stalls[stall];
                // The stall began when the first frame that was not sent fell due.
                const double missed =
                    std::isnan(previousDue)
                        ? due
                        : previousDue + SegmentPlayer::halfPeriod(previousFrequency);
                SessionEvent event =
                    eventAt(EventKind::Stall, missed - origin, record, static_cast<int>(s));
                event.duration = frame.called - missed;
                event.skippedFrames = mark.skipped;
                event.note =
                    QStringLiteral("%1 frame(s) not sent%2")
                        .arg(mark.skipped)
                        .arg(mark.restarted ? QStringLiteral("; the frame grid restarted from "
                                                             "the clock")
                                            : QString());
                summary.events.push_back(event);
                ++row.stalls;
                row.skippedFrames += mark.skipped;
            }
            previousDue = due;
            previousFrequency = frequency;
        }
        const double playing = segmentEnd - start - holds.within(start, segmentEnd);
        if (played) {
            asked += stepFrequency * (segmentEnd - stepStart - holds.within(stepStart, segmentEnd));
        }
        row.onset = start - origin;
        row.duration = segmentEnd - start;
        row.litFrames = lit;
        if (played && playing > 0) {
            row.deliveredHz = static_cast<double>(lit) / playing;
            row.askedHz = asked / playing;
            row.ratio = asked > 0 ? static_cast<double>(lit) / asked : row.ratio;
            row.lateP99Ms = nearestRankQuantile(late, 0.99) * 1000.0;
            row.lateMaxMs = *std::max_element(late.begin(), late.end()) * 1000.0;
            askedFrames += asked;
            segmentSeconds += playing;
        }
        totals.litFrames += lit;
        totals.stalls += row.stalls;
        totals.skippedFrames += row.skippedFrames;
        allLate.insert(allLate.end(), late.begin(), late.end());
        summary.events.push_back(row);
    }

    addLosses(record, origin, end, summary);
    addHolds(record, holds, origin, summary);

    const int lastSegment = static_cast<int>(record.segments.size()) - 1;
    SessionEvent ended = eventAt(EventKind::Ended, end - origin, record, lastSegment);
    if (const std::optional<ProgramError>& failure = record.ending.failure;
        failure && failure->line() > 0) {
        ended.line = failure->line();
        // A line that failed before it played belongs to no segment.
        if (lastSegment >= 0 &&
            std::ranges::count(record.segments.back().record.lines, failure->line()) == 0) {
            ended.segmentId.reset();
        }
    }
    ended.note = record.ending.text();
    summary.events.push_back(ended);

    if (segmentSeconds > 0) {
        totals.askedHz = askedFrames / segmentSeconds;
        totals.deliveredHz = static_cast<double>(totals.litFrames) / segmentSeconds;
    }
    if (askedFrames > 0) {
        totals.ratio = static_cast<double>(totals.litFrames) / askedFrames;
    }
    if (!allLate.empty()) {
        totals.lateP99Ms = nearestRankQuantile(allLate, 0.99) * 1000.0;
        totals.lateMaxMs = *std::max_element(allLate.begin(), allLate.end()) * 1000.0;
    }
    std::stable_sort(
        summary.events.begin(), summary.events.end(),
        [](const SessionEvent& a, const SessionEvent& b) { return a.onset < b.onset; });
    return summary;
}
