#pragma once

#include <QString>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include "programs/ProgramReader.h"
#include "records/RecordSchema.h"
#include "records/SessionRecord.h"

// One row of the events table: a segment as played, or something that happened during it.
struct SessionEvent {
    static constexpr double NotApplicable = std::numeric_limits<double>::quiet_NaN();

    RecordSchema::EventKind kind = RecordSchema::EventKind::Segment;
    double onset = 0;  // seconds from the first frame
    double duration = NotApplicable;
    int line = 0;                         // the program's line, 0: none
    std::optional<int> segmentId;         // the segment it belongs to
    std::optional<ProgramRecord> record;  // the values of a segment row
    int64_t litFrames = -1;               // lit frames the library took; -1: n/a
    double deliveredHz = NotApplicable;   // ratio times askedHz
    double ratio = NotApplicable;         // cycles delivered over cycles asked
    double lateP99Ms = NotApplicable;     // 99th percentile of (write call - due), ms
    double lateMaxMs = NotApplicable;
    double jitterMs = NotApplicable;  // deviation of the lit frames' periods from the grid's, ms
    double askedHz = NotApplicable;   // the frequency asked, weighted by how long each step held
    int stalls = -1;                  // segment rows: stalls in it; -1: n/a
    int64_t skippedFrames = -1;       // frames not sent for stalls; -1: n/a
    QString note;                     // what happened, in words
};

// The whole run in figures.
struct SessionTotals {
    double seconds = 0;        // from the first frame to the end of the records
    int64_t frames = 0;        // frames written, the closing frame included
    int64_t pacedFrames = 0;   // of them, on the player's grid
    int64_t litFrames = 0;     // lit frames the library took
    int64_t failedWrites = 0;  // writes the library refused
    double askedHz = SessionEvent::NotApplicable;
    double deliveredHz = SessionEvent::NotApplicable;
    double ratio = SessionEvent::NotApplicable;
    double lateP99Ms = SessionEvent::NotApplicable;
    double lateMaxMs = SessionEvent::NotApplicable;
    double jitterMs = SessionEvent::NotApplicable;  // over the lit frames of every segment
    int stalls = 0;
    int64_t skippedFrames = 0;
    int deviceLosses = 0;
    double heldSeconds = 0;        // time the run was paused
    bool deviceLostAtEnd = false;  // the last write failed
};

// The events table and the totals of a record.
struct SessionSummary {
    std::vector<SessionEvent> events;  // by onset
    SessionTotals totals;
};

// Works out the events and totals of a run from its frames: per segment (SegmentTally) the lit
// frames the library took, the frequency asked (each step weighted by how long it held), the
// cycles delivered over the cycles asked on the player's grid, the lateness of the write calls
// and the jitter of the lit frames' periods; the losses of the device (from the first failed
// write to the next one that succeeded), the stalls, the pauses (whose time the rates leave
// out) and the end.
SessionSummary summarizeSession(const SessionRecord& record);
