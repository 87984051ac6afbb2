#pragma once

#include "core/ClockPump.h"

// The real clock and event pump: the steady (monotonic) clock and Qt's event processing on the
// user-interface thread.
class QtClockPump final : public ClockPump {
  public:
    QtClockPump();

    double now() override;
    void processEvents() override;
    void sleepMs(int milliseconds) override;
    void waitUntil(double deadline, const std::function<bool()>& keepWaiting) override;
};
