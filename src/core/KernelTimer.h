#pragma once

#include <functional>
#include <memory>

// A one-shot timer of the operating system on the steady clock, which wakes the event loop of
// the thread that made it: a timerfd watched by a socket notifier on Linux, a high-resolution
// waitable timer watched by an event notifier on Windows. CMake builds the platform's file
// (KernelTimerLinux.cpp, KernelTimerWindows.cpp, or KernelTimerNone.cpp where there is none).
class KernelTimer {
  public:
    virtual ~KernelTimer() = default;

    // Sets the timer for the given steady-clock time in seconds, replacing any earlier setting.
    // A time that has passed goes off at once.
    virtual void arm(double when) = 0;
    // Cancels the timer if it has not gone off.
    virtual void disarm() = 0;

    // The platform's timer, which calls fired from the event loop once for each arming that
    // goes off; nullptr where the platform has none.
    static std::unique_ptr<KernelTimer> make(std::function<void()> fired);
    // Whether the platform's timers wake to well under a millisecond by themselves. Where they
    // do not (Windows before version 1803), RealtimePriority asks the system for a timer
    // resolution of one millisecond while it is raised.
    static bool isHighResolution();
    // Blocks the calling thread for the given milliseconds, to the platform timer's resolution.
    static void sleepMs(int milliseconds);
};
