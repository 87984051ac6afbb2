#pragma once

#include <QString>
#include <functional>

#include "light/OperationContext.h"
#include "programs/ProgramPlayback.h"
#include "records/SessionRecord.h"

// The markers of a run as it plays, for a Lab Streaming Layer stream: the words of the record's
// trial_type with their details, one text a marker, each handed to a sink with the clock time
// it stands for. They are made from the playback's hooks, so they come with or without a
// record:
//   segment line=3 id=2 start_hz=10 end_hz=4 start_level=255 end_level=100 seconds=60
//   paused line=3            resumed line=3
//   device_lost line=3 result=-5            device_back line=3
//   stall line=3 skipped=4
//   frame line=3 hz=10 level=255            (each lit frame, when asked for)
//   ended how=stopped        (finished, stopped, signal signal=SIGINT, failed line=5)
// A segment, frame, stall or device marker stands for the moment the frame's write returned,
// the very clock reading a record of the run keeps for it; paused and resumed for the moment
// the hold began and ended, as the record notes them; ended for the closing dark frame's
// return.
class RunMarkers {
  public:
    // Receives a marker's text and the clock time it stands for.
    using Sink = std::function<void(const QString& text, double clockTime)>;

    RunMarkers(const OperationContext& context, Sink sink, bool everyLitFrame);
    ~RunMarkers();
    RunMarkers(const RunMarkers&) = delete;
    RunMarkers& operator=(const RunMarkers&) = delete;

    // The hooks to play the run with: they mark, then call the same hooks of inner.
    ProgramPlayback::Hooks hooks(ProgramPlayback::Hooks inner = {});

    // The closing marker, once the closing frame has gone out.
    void ended(const SessionEnding& ending);

  private:
    void frameWritten(const SegmentPlayer::Frame& frame);
    void mark(const QString& text);
    void mark(const QString& text, double clockTime);

    OperationContext m_context;
    Sink m_sink;
    bool m_everyLitFrame;
    ProgramRecord m_record;         // the record playing
    bool m_segmentPending = false;  // its marker waits for its first frame
    bool m_held = false;
    bool m_lost = false;
    int m_writeObserverKey = 0;
    double m_lastReturned = 0;  // when the last frame's write returned
};
