#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "programs/ProgramError.h"
#include "programs/ProgramReader.h"

// One frame handed to the serial library during a recorded run. The struct is 24 bytes, so a
// two-hour session at 50 Hz (720,000 frames) keeps about 17 MB.
struct RecordedFrame {
    static constexpr uint8_t Paced = 1;  // written by the segment player on its grid
    static constexpr uint8_t Lit = 2;    // the player's lit frame

    double called = 0;  // clock when SioPuts was called
    // called minus the time the frame was due, in seconds; NaN for a frame the segment player
    // did not pace (the closing frame, or a frame of another control meanwhile)
    float late = std::numeric_limits<float>::quiet_NaN();
    float writeSeconds = 0;           // how long SioPuts took
    int16_t result = 0;               // what SioPuts returned: the bytes queued, or a failure
    uint8_t lead = 0;                 // the lead byte: 1 SOH, 2 STX
    uint8_t address = 0;              // the address byte
    std::array<uint8_t, 3> colour{};  // red, green, blue
    uint8_t flags = 0;                // Paced, Lit

    // Whether the segment player wrote it on its grid of due times.
    bool paced() const { return (flags & Paced) != 0; }
    // Whether it is the player's lit frame.
    bool lit() const { return (flags & Lit) != 0; }
    // Whether the library took it.
    bool delivered() const { return result > 0; }
    // When it was due on the clock; NaN when it was not paced.
    double due() const { return called - static_cast<double>(late); }
    // When SioPuts returned.
    double returned() const { return called + static_cast<double>(writeSeconds); }
};
static_assert(sizeof(RecordedFrame) == 24, "a recorded frame is kept in 24 bytes");

// The frames of a run in fixed chunks: appending never moves what is kept already, so the
// paced path never waits for a large copy, and memory grows a chunk (192 KiB) at a time.
class FrameLog {
  public:
    // Frames per chunk.
    static constexpr size_t ChunkFrames = 8192;

    // Adds a frame at the end.
    void append(const RecordedFrame& frame);
    // Number of frames kept.
    size_t size() const { return m_size; }
    // Whether none is kept.
    bool empty() const { return m_size == 0; }
    // The frame at index (below size()).
    const RecordedFrame& operator[](size_t index) const {
        return m_chunks[index / ChunkFrames][index % ChunkFrames];
    }
    RecordedFrame& operator[](size_t index) {
        return m_chunks[index / ChunkFrames][index % ChunkFrames];
    }
    // The last frame (size() > 0).
    RecordedFrame& back() { return (*this)[m_size - 1]; }

  private:
    std::vector<std::unique_ptr<RecordedFrame[]>> m_chunks;
    size_t m_size = 0;
};

// One record of the program as it started playing.
struct RecordedSegment {
    ProgramRecord record;   // as read from the file
    double started = 0;     // clock when it started
    size_t firstFrame = 0;  // index of the first frame written from then on
};

// The frequency the player was at from a frame on.
struct FrequencyStep {
    size_t frame = 0;
    int frequency = 0;
};

// A frame that ended a stall: frames due before it were not sent, their time having passed.
struct StallMark {
    size_t frame = 0;        // the frame that ended it
    int64_t skipped = 0;     // frames not sent
    bool restarted = false;  // the stall outlasted the pacing bound, and the grid restarted
};

// A time the front end held the run (a pause): the player darkened the light and sent nothing
// until it was released, then went on with the seconds the segment had left.
struct HeldSpan {
    double from = 0;                                          // clock when the hold began
    double until = std::numeric_limits<double>::quiet_NaN();  // clock when it ended
    size_t frame = 0;                                         // index of the hold's dark frame
};

// How a recorded run ended.
struct SessionEnding {
    enum class How {
        Finished,  // the end of the program file
        Stopped,   // End Program (ProgramRunning cleared)
        Signal,    // a signal to the command-line tool (SIGINT, SIGTERM)
        Failed,    // a failure of a line (or of the file)
    };
    How how = How::Finished;
    QString signalName;                   // for Signal: "SIGINT", "SIGTERM"
    std::optional<ProgramError> failure;  // for Failed

    // "finished", "stopped", "signal" or "failed", as the record names it.
    QString name() const;
    // A sentence for people: "played to the end", "ended by SIGINT", "Line 3: ...".
    QString text() const;
};

// The Lab Streaming Layer stream that carried a run's markers.
struct MarkerStreamNote {
    QString name;          // the stream's name
    QString sourceId;      // its source_id
    double lslOffset = 0;  // LSL's clock minus the clock the record's times are read from, s
};

// Everything a run leaves in memory: what was asked to play, and every frame, with its times.
struct SessionRecord {
    QString software;         // the front end that played it ("orlesse-program")
    QString programPath;      // the program file
    QByteArray programBytes;  // its bytes as played
    int comNumber = 0;        // COM n
    QString devicePath;       // what COM n maps to
    QString deviceIdentity;   // what it is, as the COM list's tool tip says
    bool whiteLeds = false;   // the white-LED box as the run started
    QDateTime beganUtc;       // when the recorder began, UTC
    double beganClock = 0;    // the clock at that moment
    FrameLog frames;          // every frame written, in order
    std::vector<RecordedSegment> segments;
    std::vector<FrequencyStep> steps;  // the frequency at each segment's first frame and changes
    std::vector<StallMark> stalls;
    std::vector<HeldSpan> holds;                                     // the pauses, in order
    double recordsEnded = std::numeric_limits<double>::quiet_NaN();  // clock as the records ended
    double finished = std::numeric_limits<double>::quiet_NaN();      // clock when recording ended
    SessionEnding ending;
    std::optional<MarkerStreamNote> markerStream;  // where the run's markers went, if anywhere

    // The clock at the run's first frame (its due time when paced), the origin of every time
    // in the files; the start of recording when no frame went out.
    double origin() const;
    // The UTC time of origin().
    QDateTime startUtc() const;
    // The clock when the records ended: as the playback said, else when recording ended, else
    // at the last frame.
    double end() const;
};

// The nearest-rank quantile q (0 < q <= 1) of values, NaN for none.
double nearestRankQuantile(std::vector<double> values, double q);
