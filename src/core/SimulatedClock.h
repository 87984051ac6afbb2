#pragma once

#include <functional>

#include "core/ClockPump.h"

// A clock on ideal time for working out what a run does without running it: every wait jumps
// straight to its deadline, sleeps move the time on, and there are no window events. A
// 30-minute light program runs through in a fraction of a second, frame for frame as it would
// on a clock that is never late.
class SimulatedClock final : public ClockPump {
  public:
    // Starts the time at start seconds.
    explicit SimulatedClock(double start = 0) : m_now(start) {}

    double now() override { return m_now; }
    void processEvents() override {}
    void sleepMs(int milliseconds) override {
        if (milliseconds > 0) {
            m_now += milliseconds / 1000.0;
        }
    }
    void waitUntil(double deadline, const std::function<bool()>& keepWaiting) override {
        if (m_now < deadline && keepWaiting()) {
            m_now = deadline;
        }
    }

  private:
    double m_now;
};
