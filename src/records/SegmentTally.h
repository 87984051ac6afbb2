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

// A standard deviation gathered value by value, and pooled over several (Welford's sums,
// merged as Chan's).
class Spread {
  public:
    void add(double value);
    void add(const Spread& other);
    int64_t count() const { return m_count; }
    // The standard deviation with n - 1 in the denominator; NaN below two values.
    double deviation() const;

  private:
    int64_t m_count = 0;
    double m_mean = 0;
    double m_squares = 0;  // the sum of squared differences from the mean
};

// A row of the events table at onset (clock) in a segment (its index, -1: none), with the
// segment's line and id.
SessionEvent eventIn(RecordSchema::EventKind kind, double onset, const SessionRecord& record,
                     int segment);

// The figures of one segment, fed its frames one by one in order (every frame from its first
// to the next segment's, through a FrameWalk), then finished at its end:
// - the frequency asked: each frequency step weighted by how long it held, pauses left out;
// - the cycles asked and delivered on the player's grid, per stretch (the parts between
//   pauses): the integral of the frequency asked over the due times from the stretch's first
//   lit frame written to its last (each paced frame's frequency holds from its due time to the
//   next's, and a lit frame with the dark one after it is one cycle), against the lit frames
//   the library took less one. On the grid that is exact whatever the write times, for ramps
//   too; a lit frame skipped in a stall or refused by the library takes a whole cycle off.
//   A stall that lasts to the stretch's end also counts the lit frames it swallowed;
// - the lateness of the write calls, the jitter of the lit frames' periods (the change of
//   lateness from one lit frame to the next that the library took), and the stalls.
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
    double askedCycles() const { return m_askedCycles; }
    double deliveredCycles() const { return m_deliveredCycles; }
    // The integral of the frequency asked over the segment's time played, and that time.
    double askedFrequencySeconds() const { return m_frequencySeconds; }
    double playedSeconds() const { return m_playedSeconds; }
    int64_t pacedFrames() const { return m_pacedFrames; }
    // How late each paced frame's write was called, seconds.
    const std::vector<double>& late() const { return m_late; }
    // The period errors of the lit frames, ms.
    const Spread& jitter() const { return m_jitter; }

  private:
    // A part of the segment between pauses.
    struct Stretch {
        size_t holds = 0;      // the holds begun before it
        bool litSeen = false;  // a lit frame was written in it
        double lastDue = 0;    // the last paced frame: its due time, frequency and phase
        int lastFrequency = 0;
        bool lastLit = false;
        double cycles = 0;       // asked from the first lit frame to the last paced frame
        double cyclesToLit = 0;  // asked from the first lit frame to the last lit one
        int64_t litTaken = 0;    // lit frames the library took
        bool lastLitTaken = false;
        double lastLitLate = 0;
    };

    void paced(const FrameWalk& walk);
    void addStall(const StallMark& mark, const RecordedFrame& frame, double due);
    // Closes the open stretch at end (clock).
    void closeStretch(double end);

    const SessionRecord& m_record;
    const HeldTime& m_held;
    const size_t m_segment;
    const double m_end;
    const size_t m_firstHold;  // the holds begun before the segment
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
    size_t m_holdsSeen = 0;
    Stretch m_stretch;
    double m_askedCycles = 0;
    double m_deliveredCycles = 0;
    int64_t m_pacedFrames = 0;
    int64_t m_litFrames = 0;
    std::vector<double> m_late;
    Spread m_jitter;
};
