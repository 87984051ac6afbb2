#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

#include "core/HeadlessWindow.h"
#include "core/InertFlashTimer.h"
#include "core/Pacing.h"
#include "light/ControlCore.h"
#include "markers/LslLibrary.h"
#include "programs/ProgramError.h"
#include "programs/ProgramPlayback.h"
#include "records/SessionRecorder.h"
#include "runs/RunMarkers.h"

class ClockPump;
class MarkerOutlet;
class RealtimePriority;
class Wsc32;

// One way to run a light program on a device, for every front end: the command-line tool's
// play, the editor's Play and the window's Start Program all come here, so that a run opens,
// plays, records, ends and hands back its record in the same way wherever it starts.
namespace DeviceRun {

// What to play and how.
struct Request {
    QByteArray bytes;         // the program file, as it plays
    QString programPath;      // where it came from, for the record
    QString software;         // the front end's program name, for the record ("orlesse-program")
    int firstRecord = 0;      // the record to start at (0: the first)
    bool keepRecord = false;  // keep a session record of the run
    ProgramPlayback::Hooks hooks;  // the front end's own hooks (progress, pause)
    // Where the run's markers go, or nowhere (see RunMarkers), and what the record says of
    // their stream; publishOn() sets both for a Lab Streaming Layer outlet.
    RunMarkers::Sink markers;
    std::optional<MarkerStreamNote> markerStream;
    bool markEveryLitFrame = false;  // a marker for each lit frame too
    // Called once the port has opened, before the first record plays (Device::play only).
    std::function<void()> portOpened;
    // How the run was ended from outside, when it was: a signal's name ("SIGINT"), or empty.
    std::function<QString()> endedBySignal;

    // Sends the run's markers to outlet, which the front end has opened (so that a stream that
    // cannot be had stops the run before it starts) and keeps open while the run plays.
    void publishOn(MarkerOutlet& outlet);
};

// How a run went.
struct Outcome {
    QString openError;  // the port could not be opened: why (nothing played); empty otherwise
    std::optional<ProgramError> failure;  // what ended the run, if a failure did
    std::optional<RecordedRun> record;    // the record kept, to be written by the caller
    Pacing::Stalls stalls;                // the stalls the run went through

    // Whether the program played (the port opened).
    bool played() const { return openError.isEmpty(); }
};

// Opens the Lab Streaming Layer marker stream of the light on COM comNumber
// (MarkerStream::forDevice) with the first of libraries that loads. Returns nullptr, with the
// reason in *error, when no liblsl loads or it refuses the stream.
std::unique_ptr<MarkerOutlet> openMarkerStream(
    int comNumber, QString* error, const QStringList& libraries = LslLibrary::defaultCandidates());

// Plays the request on the context's port as it is (the window's Start Program, which opens the
// port itself and keeps it open after the run), with a session recorder on when asked. The
// closing dark frame goes out however the run ends.
Outcome playOn(const OperationContext& context, const Request& request);

// A device of its own for a front end without the main window: a controller on the serial
// library and clock given, with no window and a flash timer that never ticks. Each run opens the
// port as the window opens it, raises the thread's scheduling while it is open (when asked),
// plays, and closes the port again, so that the record is written with the port given back.
class Device {
  public:
    // With realtime, the thread runs under real-time scheduling while the port is open, where
    // the system grants it (RealtimePriority).
    Device(Wsc32& serial, ClockPump& clock, bool realtime);
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    // Opens COM comNumber and plays the request on it, lighting the white LEDs with the lit
    // frames when white is set. A port that cannot be opened is reported in the outcome and
    // nothing is played. Returns when the run is over.
    Outcome play(int comNumber, bool white, const Request& request);

    // Ends the run that plays, as End Program does: the segment stops within its current wait,
    // then the dark frame goes out. Nothing when no run plays.
    void stop();
    // Whether a run plays now.
    bool playing() const { return m_core != nullptr; }

  private:
    Wsc32& m_serial;
    ClockPump& m_clock;
    std::unique_ptr<RealtimePriority> m_realtime;  // none: the thread keeps its scheduling
    InertFlashTimer m_timer;
    HeadlessWindow m_window;
    QString m_openError;
    std::unique_ptr<ControlCore> m_core;  // while a run plays
};

}  // namespace DeviceRun
