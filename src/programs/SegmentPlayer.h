#pragma once

#include <QString>
#include <cstdint>
#include <functional>

#include "light/OperationContext.h"

// Plays one record of a light program: flashes white for a number of seconds, alternating a lit
// and a dark frame, while the frequency steps by 1 Hz and the level by one towards their end
// values, each ramp spread evenly over the segment. The window title shows the segment and the
// frequency. Waits pump window events, so End Program ends the segment within its current wait.
class SegmentPlayer {
  public:
    // One frame the player has written.
    struct Frame {
        double due = 0;       // when it was due on the clock (the first one: the segment's start)
        bool lit = false;     // the lit frame (true) or the dark one
        int frequency = 0;    // the frequency it belongs to, Hz
        int level = 0;        // the level lit frames show now, 0 to 255 (255 for equal levels)
        int64_t skipped = 0;  // frames just before it not sent: their time passed in a stall
        bool restarted = false;  // that stall passed the bound: the grid counts from this frame
    };

    explicit SegmentPlayer(const OperationContext& context);

    // Installs a function called after every frame is written, for progress displays and
    // simulated runs; it must not wait or pump events. Empty: none.
    void setFrameObserver(std::function<void(const Frame&)> observer);

    // Plays the segment. nStartFrequency holds the current frequency while it plays and the
    // last frequency reached on return. Returns at the end time, or at once when ProgramRunning
    // is cleared. A frequency of 0 and a 16-bit overflow throw ProgramError (without a line).
    void PlaySegment(int16_t nSegmentID, int16_t& nStartFrequency, int16_t nEndFrequency,
                     int16_t nStartBrightness, int16_t nEndBrightness, int16_t nDuration);

    // The highest level the device shows; higher levels show as this one.
    static constexpr int MaxLevel = 255;

    // Refuses a start frequency below 1 Hz: 0 has no flash period, and a negative frequency
    // would count its periods backwards. Throws ProgramError (without a line).
    static void checkStartFrequency(int frequency);

    // Whether a segment ramps its level: equal start and end levels mean full level throughout,
    // whatever the two values are.
    static bool rampsLevel(int16_t nStartBrightness, int16_t nEndBrightness) {
        return nStartBrightness != nEndBrightness;
    }
    // The level lit frames show for a segment's current level: limited to 0..MaxLevel while
    // the level ramps, MaxLevel when it does not.
    static int shownLevel(int level, bool levelRamp);

    // The lit colour for a level: the level limited to 0..255 as two upper-case hexadecimal
    // digits, three times over (100 gives "646464", 300 gives "FFFFFF", -1 gives "000000").
    static QString litColour(int level);

    // Half of one flash period in seconds; throws ProgramError for a frequency of 0.
    static double halfPeriod(int frequency);

    // The window title while a segment plays, such as "segment id #3(12Hz)".
    static QString title(int segmentId, int frequency);

    // Installs the hold, for a front end that pauses: while holding() is true, the segment
    // stands still from its next wait on. The light goes dark at once and the wait pumps events
    // until holding() turns false or ProgramRunning is cleared; then the segment goes on with a
    // lit frame at the frequency and level it had, for the seconds it had left. Empty: none.
    void setHold(std::function<bool()> holding);

  private:
    bool keepPlaying() const;
    bool holding() const;
    // Darkens the light and waits while held; returns the seconds held.
    double hold();

    OperationContext m_context;
    std::function<void(const Frame&)> m_onFrame;
    std::function<bool()> m_holding;
};
