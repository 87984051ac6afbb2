#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "records/FrameWalk.h"
#include "records/SessionSummary.h"

// The pauses of a run, each with its end (one still open ends with the run).
class HeldTime {
  public:
    HeldTime(const std::vector<HeldSpan>& spans, double end);
    const std::vector<HeldSpan>& spans() const { return m_spans; }
    // Seconds of [from, to] that were held.
    double within(double from, double to) const;

  private:
    std::vector<HeldSpan> m_spans;
};

// A row of the events table at onset (clock) in a segment (its index, -1: none), with the
// segment's line and id.
SessionEvent eventIn(RecordSchema::EventKind kind, double onset, const SessionRecord& record,
                     int segment);

// The figures of one segment, fed its frames one by one in order (every frame from its first
// to the next segment's, through a FrameWalk), then finished at its end: the lit frames the
// library took, the frequency asked (each frequency step weighted by how long it held, pauses
// left out) and delivered (lit frames over the time played), the lateness of the write calls,
// and the stalls.
class SegmentTally {
  public:
    SegmentTally(const SessionRecord& record, const HeldTime& held, size_t segment, double end);

    // Feeds the segment's next frame, where walk stands.
    void add(const FrameWalk& walk);
    // Ends the segment and works out its row.
    void finish();

    // The segment's row (after finish).
    const SessionEvent& row() const { return m_row; }
    // A row per stall the segment had, in order.
    const std::vector<SessionEvent>& stallRows() const { return m_stallRows; }
    // The integral of the frequency asked over the segment's time played, and that time.
    double askedFrequencySeconds() const { return m_frequencySeconds; }
    double playedSeconds() const { return m_playedSeconds; }
    int64_t pacedFrames() const { return m_pacedFrames; }
    // How late each paced frame's write was called, seconds.
    const std::vector<double>& late() const { return m_late; }

  private:
    void paced(const FrameWalk& walk);
    void addStall(const StallMark& mark, const RecordedFrame& frame, double due);

    const SessionRecord& m_record;
    const HeldTime& m_held;
    const size_t m_segment;
    const double m_end;
    const double m_origin;
    SessionEvent m_row;
    std::vector<SessionEvent> m_stallRows;

    bool m_played = false;
    double m_start = 0;  // the first paced frame's due time
    double m_stepStart = 0;
    int m_stepFrequency = 0;
    double m_frequencySeconds = 0;
    double m_playedSeconds = 0;
    double m_previousDue = std::numeric_limits<double>::quiet_NaN();
    int m_previousFrequency = 0;
    int64_t m_pacedFrames = 0;
    int64_t m_litFrames = 0;
    std::vector<double> m_late;
};
