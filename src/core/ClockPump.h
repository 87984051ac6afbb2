#pragma once

#include <functional>

// The clock and event pump behind every paced wait of the controller. Time is monotonic
// seconds in double precision: it never jumps with the time of day and never loses
// resolution over a long run.
class ClockPump {
  public:
    virtual ~ClockPump() = default;

    // Current monotonic time in seconds.
    virtual double now() = 0;

    // Handles the window events that are pending now, then returns.
    virtual void processEvents() = 0;

    // Blocks for the given milliseconds without handling any event.
    virtual void sleepMs(int milliseconds) = 0;

    // Handles window events until now() reaches the deadline or keepWaiting() turns false,
    // whichever comes first. The clock is tested first, so a deadline already passed
    // returns at once without handling events. This is the wait of the paced effects.
    virtual void waitUntil(double deadline, const std::function<bool()>& keepWaiting) = 0;
};
