#include "records/SessionSummary.h"

#include <algorithm>
#include <cmath>

#include "records/FrameWalk.h"
#include "records/SegmentTally.h"

namespace {

using RecordSchema::EventKind;

// Adds a row for each pause, in the segment it held.
void addHolds(const SessionRecord& record, const HeldTime& held, SessionSummary& summary) {
    for (const HeldSpan& span : held.spans()) {
        SessionEvent row = eventIn(EventKind::Paused, span.from - record.origin(), record,
                                   FrameWalk::segmentOf(record, span.frame));
        row.duration = span.until - span.from;
        row.note = QStringLiteral("held dark; the segment went on with the seconds it had left");
        summary.events.push_back(row);
        summary.totals.heldSeconds += row.duration;
    }
}

// Adds the rows of the device's losses and returns: a loss runs from the first write that failed
// to the next that succeeded.
void addLosses(const SessionRecord& record, SessionSummary& summary) {
    const FrameLog& frames = record.frames;
    const double origin = record.origin();
    FrameWalk walk(record);
    bool lost = false;
    size_t lostAt = 0;
    int lostSegment = -1;
    int64_t failed = 0;
    const auto lossRow = [&](double until, const QString& tail) {
        const RecordedFrame& first = frames[lostAt];
        SessionEvent loss =
            eventIn(EventKind::DeviceLost, first.called - origin, record, lostSegment);
        loss.duration = until - first.called;
        loss.note = QStringLiteral("%1 write(s) failed, the first with code %2%3")
                        .arg(failed)
                        .arg(first.result)
                        .arg(tail);
        summary.events.push_back(loss);
        ++summary.totals.deviceLosses;
    };
    for (size_t i = 0; i < frames.size(); ++i) {
        walk.to(i);
        const RecordedFrame& frame = walk.frame();
        if (!frame.delivered()) {
            ++summary.totals.failedWrites;
            if (!lost) {
                lost = true;
                lostAt = i;
                lostSegment = walk.segment();
                failed = 0;
            }
            ++failed;
            continue;
        }
        if (lost) {
            lost = false;
            lossRow(frame.called, QString());
            SessionEvent back =
                eventIn(EventKind::DeviceBack, frame.called - origin, record, walk.segment());
            back.note = QStringLiteral("the library took a frame again after %1 s")
                            .arg(frame.called - frames[lostAt].called, 0, 'f', 3);
            summary.events.push_back(back);
        }
    }
    if (lost) {
        lossRow(std::max(record.end(), frames[lostAt].called),
                QStringLiteral("; not back by the end"));
        summary.totals.deviceLostAtEnd = true;
    }
}

// The row of the end, with the line that failed.
SessionEvent endedRow(const SessionRecord& record) {
    const int lastSegment = static_cast<int>(record.segments.size()) - 1;
    SessionEvent ended =
        eventIn(EventKind::Ended, record.end() - record.origin(), record, lastSegment);
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
    return ended;
}

}  // namespace

SessionSummary summarizeSession(const SessionRecord& record) {
    SessionSummary summary;
    SessionTotals& totals = summary.totals;
    const FrameLog& frames = record.frames;
    const double end = record.end();
    totals.seconds = end - record.origin();
    totals.frames = static_cast<int64_t>(frames.size());
    // The rates count the time the segments played: a pause is no frame missed.
    const HeldTime held(record.holds, end);

    double askedCycles = 0;
    double deliveredCycles = 0;
    double frequencySeconds = 0;
    double playedSeconds = 0;
    std::vector<double> late;
    Spread jitter;
    FrameWalk walk(record);
    for (size_t s = 0; s < record.segments.size(); ++s) {
        const bool last = s + 1 == record.segments.size();
        SegmentTally tally(record, held, s, last ? end : record.segments[s + 1].started);
        const size_t until = last ? frames.size() : record.segments[s + 1].firstFrame;
        for (size_t i = record.segments[s].firstFrame; i < until; ++i) {
            walk.to(i);
            tally.add(walk);
        }
        tally.finish();

        const SessionEvent& row = tally.row();
        summary.events.push_back(row);
        summary.events.insert(summary.events.end(), tally.stallRows().begin(),
                              tally.stallRows().end());
        totals.pacedFrames += tally.pacedFrames();
        totals.litFrames += row.litFrames;
        totals.stalls += row.stalls;
        totals.skippedFrames += row.skippedFrames;
        askedCycles += tally.askedCycles();
        deliveredCycles += tally.deliveredCycles();
        if (tally.playedSeconds() > 0) {
            frequencySeconds += tally.askedFrequencySeconds();
            playedSeconds += tally.playedSeconds();
        }
        late.insert(late.end(), tally.late().begin(), tally.late().end());
        jitter.add(tally.jitter());
    }

    addLosses(record, summary);
    addHolds(record, held, summary);
    summary.events.push_back(endedRow(record));

    if (playedSeconds > 0) {
        totals.askedHz = frequencySeconds / playedSeconds;
    }
    if (askedCycles > 0) {
        totals.ratio = deliveredCycles / askedCycles;
        totals.deliveredHz = totals.ratio * totals.askedHz;
    }
    if (!late.empty()) {
        totals.lateP99Ms = nearestRankQuantile(late, 0.99) * 1000.0;
        totals.lateMaxMs = *std::max_element(late.begin(), late.end()) * 1000.0;
    }
    totals.jitterMs = jitter.deviation();
    std::stable_sort(
        summary.events.begin(), summary.events.end(),
        [](const SessionEvent& a, const SessionEvent& b) { return a.onset < b.onset; });
    return summary;
}
