#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

#include "device/PortConnection.h"
#include "light/OperationContext.h"
#include "programs/ProgramPlayback.h"
#include "records/SessionFiles.h"
#include "records/SessionRecord.h"

// Keeps the record of a program run: fed by the playback routine's hooks (each segment, each
// frame the segment player writes, the end of the records) and by the port connection's write
// observer (when each write was called and returned, and what the library said). On the paced
// path it only appends a 24-byte frame to memory it already has or takes one chunk of; the
// files are written after the run (SessionFiles).
class SessionRecorder {
  public:
    // What the front end knows before the run.
    struct Setup {
        QString software;         // the front end's program name ("orlesse-program")
        QString programPath;      // the program file
        QByteArray programBytes;  // its bytes, as they will play
    };

    explicit SessionRecorder(const OperationContext& context);
    ~SessionRecorder();
    SessionRecorder(const SessionRecorder&) = delete;
    SessionRecorder& operator=(const SessionRecorder&) = delete;

    // Starts a record: notes the program, the COM port from the settings and what it is now,
    // the white-LED box, and the UTC time with its clock reading; from here on every frame the
    // port connection writes is kept.
    void begin(Setup setup);

    // The hooks to play the run with: they record, then call the same hooks of inner.
    ProgramPlayback::Hooks hooks(ProgramPlayback::Hooks inner = {});

    // Ends the record: no more frames are kept. Returns the record, which leaves the recorder.
    SessionRecord finish(SessionEnding ending);

    // How many frames skipped the frame passed over (0 normally) and whether its stall
    // restarted the frame grid.
    static StallMark stallOf(const SegmentPlayer::Frame& frame);

  private:
    void frameWritten(const SegmentPlayer::Frame& frame);
    void written(const PortConnection::FrameWrite& write);
    void noteHold(bool held);

    OperationContext m_context;
    SessionRecord m_record;
    bool m_recording = false;
    int m_writeObserverKey = 0;  // the port observer that keeps the frames, while recording
    int m_stepFrequency = 0;     // the frequency of the last step kept
    size_t m_stepSegment = 0;    // segments started when it was kept
    bool m_held = false;         // a hold (pause) is open
};

// A run played with a recorder on: how it ended and its record.
struct RecordedRun {
    std::optional<ProgramError> failure;  // what ended the run, as the playback returns it
    SessionRecord record;

    // Writes the record's files in folder; returns their paths, or nothing with the reason in
    // error.
    std::optional<SessionFiles::Paths> write(const QString& folder, QString* error) const;
};
