#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>
#include <optional>

#include "core/Pacing.h"
#include "programs/ProgramError.h"
#include "programs/ProgramPlayback.h"
#include "records/SessionFiles.h"
#include "runs/DeviceRun.h"

class ClockPump;
class Wsc32;

// The marker stream a run publishes on when the user asked for markers: the editor's Lab
// Streaming Layer outlet, kept open while its box is ticked, or a test's fake.
class PlayMarkers {
  public:
    virtual ~PlayMarkers() = default;

    // The stream's name, as recorders show it.
    virtual QString name() const = 0;
    // Whether a recorder is connected now: markers sent before one connects reach none.
    virtual bool hasRecorder() const = 0;
    // Sends the run's markers to the stream: sets the request's sink and what its record says
    // of the stream.
    virtual void publish(DeviceRun::Request& request) = 0;
};

// Plays a program on a COM port for the editor, through the device run every front end plays
// through: the port opened as the window opens it, the records played from a chosen one on, and
// always the closing dark frame. Pause darkens the light at once and holds; resume
// goes on with the paused segment where it stopped. The run pumps events, so the window's
// buttons (and Escape) reach pause, resume and stop while it plays.
class EditorPlayer final : public QObject {
    Q_OBJECT

  public:
    enum class State { Idle, Playing, Paused };

    // How a run ended.
    struct Outcome {
        QString openError;                    // the port could not be opened: why (nothing played)
        std::optional<ProgramError> failure;  // the failure that ended the run, if any
        bool stopped = false;                 // ended by stop()
        std::optional<SessionFiles::Paths> record;  // the session record's files, if one was kept
        QString recordLost;                         // why a record asked for was not written
    };

    // Where a run's session record goes, and the program file it names.
    struct Recording {
        QString folder;
        QString programPath;
    };

    // The stream a run's markers go to, and whether each lit frame is marked too.
    struct Marking {
        PlayMarkers* stream = nullptr;
        bool everyLitFrame = false;
    };

    // Plays on the serial library and clock given (the Qt ones in the editor). With realtime,
    // the thread runs under real-time scheduling while the port is open, where the system
    // grants it (RealtimePriority), as the main window's does.
    EditorPlayer(std::unique_ptr<Wsc32> serial, std::unique_ptr<ClockPump> clock,
                 bool realtime = false, QObject* parent = nullptr);
    ~EditorPlayer() override;

    // Plays the program in bytes from its record firstRecord (0 the first) on COM comNumber,
    // lighting the white LEDs too when white is set; with recording, the run leaves a session
    // record in its folder (which the caller has checked); with marking, its markers go to the
    // stream. Returns when the run is over.
    Outcome play(const QByteArray& bytes, int firstRecord, int comNumber, bool white,
                 const std::optional<Recording>& recording = std::nullopt,
                 const std::optional<Marking>& marking = std::nullopt);

    // Darkens the light at once and holds the segment that plays.
    void pause();
    // Goes on with the held segment: the frequency and level it had, for the seconds it had
    // left.
    void resume();
    void togglePause();
    // Ends the run: the segment stops within its current wait, the closing dark frame goes out.
    void stop();

    State state() const { return m_state; }
    // The record the run started at (0 the first).
    int firstRecord() const { return m_firstRecord; }
    // The file line of the record playing, or 0.
    int line() const { return m_line; }
    // Seconds of the record playing that have played, paused time left out.
    double secondsIntoSegment();
    // The stalls of the last run: frames whose time passed while the machine was held up.
    const Pacing::Stalls& stalls() const { return m_stalls; }

  signals:
    // The run started, paused, resumed or ended.
    void stateChanged(EditorPlayer::State state);
    // A record started playing.
    void segmentStarted(int line);

  private:
    // What the playback routine calls. A recorder of the session adds its own calls here.
    ProgramPlayback::Hooks hooks();
    void setState(State state);

    std::unique_ptr<Wsc32> m_serial;
    std::unique_ptr<ClockPump> m_clock;
    DeviceRun::Device m_device;
    Pacing::Stalls m_stalls;
    State m_state = State::Idle;
    bool m_stopped = false;
    int m_firstRecord = 0;
    int m_line = 0;
    double m_segmentStart = 0;  // clock when the record started
    double m_pausedTotal = 0;   // seconds the record has been held
    double m_pausedAt = 0;      // clock when the hold began
};
