#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>
#include <optional>

#include "light/OperationContext.h"
#include "programs/ProgramError.h"
#include "programs/ProgramReader.h"
#include "programs/SegmentPlayer.h"

// Plays a light program on the port of the context: the header line skipped, then record by
// record through the segment player while ProgramRunning holds, and always the closing dark
// frame at the end, after End Program and after a failure. Every front end plays programs
// through this one routine: the window's Start Program, the command-line tool on a device and
// the tool's simulated runs.
class ProgramPlayback {
  public:
    // Optional functions called while the program plays; none of them may wait or pump events.
    struct Hooks {
        // Before each record plays (after its start frequency has been accepted).
        std::function<void(const ProgramRecord&)> segmentStarting;
        // After every frame the segment player writes.
        std::function<void(const SegmentPlayer::Frame&)> frameWritten;
        // Once the records are over (the end of the file, ProgramRunning cleared or a
        // failure), just before the closing frame.
        std::function<void()> recordsEnded;
        // Whether the run is held (paused) now: see SegmentPlayer::setHold. Empty: never.
        std::function<bool()> holding;
    };

    explicit ProgramPlayback(const OperationContext& context, Hooks hooks = {});

    // Reads the program file at path and plays it. Returns the failure that ended the run, with
    // the line it belongs to, or nothing when the run ended at the end of the file or because
    // ProgramRunning was cleared. A file that cannot be read is a failure too; the closing
    // frame is sent in every case.
    std::optional<ProgramError> playFile(const QString& path);

    // Plays a program from the bytes of its file, as playFile does. The records before
    // firstRecord (0: the first) are read but not played, so a run can start mid-program.
    std::optional<ProgramError> play(const QByteArray& bytes, int firstRecord = 0);

    // Plays the records given, in order, as play() plays those of a file: the closing frame
    // goes out at the end, after End Program and after a failure, which names the record's line.
    // The check plays the records it has read line by line through this.
    std::optional<ProgramError> playRecords(const QList<ProgramRecord>& records);

    // Refuses, before it plays, a record whose start frequency is below 1 Hz: 0 has no flash
    // period, and a negative one would send frames back to back without letting the window
    // respond until the segment ends. The end frequency may be anything: the step onto it is
    // never due within the segment, so a ramp towards 0 plays down to 1 Hz, and one that would
    // pass 0 fails at that step.
    static void checkStartFrequency(const ProgramRecord& record);

  private:
    // Calls prepare (may be empty), then plays the records next() hands out until it has none,
    // ProgramRunning is cleared or one fails (either may throw), then sends the closing frame;
    // returns the failure, if any.
    std::optional<ProgramError> playEach(const std::function<void()>& prepare,
                                         const std::function<std::optional<ProgramRecord>()>& next);
    bool keepPlaying() const;

    OperationContext m_context;
    Hooks m_hooks;
};
