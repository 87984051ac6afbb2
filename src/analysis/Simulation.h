#pragma once

#include <QByteArray>
#include <QList>
#include <functional>
#include <optional>

#include "core/HeadlessWindow.h"
#include "core/InertFlashTimer.h"
#include "core/SimulatedClock.h"
#include "device/SilentWsc32.h"
#include "light/ControlCore.h"
#include "programs/ProgramError.h"
#include "programs/ProgramReader.h"
#include "programs/SegmentPlayer.h"

// The controller's parts wired for a run on the simulated clock without a device: the real
// port connection, segment player and playback routine, a serial library that takes every
// frame, and no window. A program runs through at once, frame for frame as on a clock that is
// never late.
class SimulatedRig {
  public:
    // Starts the simulated clock at start seconds.
    explicit SimulatedRig(double start = 0);
    SimulatedRig(const SimulatedRig&) = delete;
    SimulatedRig& operator=(const SimulatedRig&) = delete;

    // What the playback routine and the segment player work with.
    const OperationContext& context() const { return m_core.context(); }
    // The simulated clock.
    SimulatedClock& clock() { return m_clock; }

  private:
    SilentWsc32 m_serial;
    HeadlessWindow m_window;
    InertFlashTimer m_timer;
    SimulatedClock m_clock;
    ControlCore m_core;
};

// What one segment did in a run, from the frames it wrote.
struct SegmentTrace {
    ProgramRecord record;  // as read from the file
    double start = 0;      // clock when it started
    double end = 0;        // clock when it returned
    qint64 frames = 0;     // frames written
    qint64 litFrames = 0;  // lit frames among them
    int firstFrequency = 0, lastFrequency = 0, minFrequency = 0, maxFrequency = 0;  // of frames
    int firstLevel = 0, lastLevel = 0, minLevel = 0, maxLevel = 0;  // of lit frames, 0 to 255

    // Takes in one frame of the segment.
    void add(const SegmentPlayer::Frame& frame);
};

// A value that holds from a time on, until the next one.
struct TraceStep {
    double time = 0;
    int value = 0;
};

// The most frames a simulated run works out (about ten seconds of work). A light program sends
// far fewer: 40 Hz for 24 hours is under 7 million frames. Only absurd frequencies and lengths
// come near it, and a run past it would take minutes.
inline constexpr qint64 MaxSimulatedFrames = 30'000'000;

// About how many frames a record plays: two a period at its highest frequency.
qint64 estimatedFrames(const ProgramRecord& record);

// A whole program run on the simulated clock as the window plays it: each segment, the flash
// frequency and the lit level over time (one step wherever they change), and the failure that
// ended the run, if any.
struct ProgramTrace {
    QList<SegmentTrace> segments;
    QList<TraceStep> frequency;  // frequency of the frames written, Hz
    QList<TraceStep> level;      // level of the lit frames written, 0 to 255
    double start = 0;            // clock at the start of the run
    double end = 0;              // clock when the closing frame went out
    std::optional<ProgramError> failure;
    int stoppedAtLine = 0;  // the record not worked out because of MaxSimulatedFrames, or 0

    // Length of the run in seconds.
    double length() const { return end - start; }
};

// Plays the program in bytes through the playback routine on the simulated clock, starting at
// start seconds; eachFrame (may be empty) sees every frame the segment player writes.
ProgramTrace traceProgram(const QByteArray& bytes, double start = 0,
                          const std::function<void(const SegmentPlayer::Frame&)>& eachFrame = {});
