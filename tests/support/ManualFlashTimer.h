#pragma once

#include <QList>

#include "core/FlashTimer.h"

class SimulatedClock;

// A flash timer for tests. Attached to a simulated clock it ticks on virtual time, as window
// events that the code under test handles when it pumps events; fire() ticks it by hand.
class ManualFlashTimer final : public FlashTimer {
  public:
    // Ticks on the clock's virtual time from now on.
    void attach(SimulatedClock* clock);

    void setInterval(int milliseconds) override;
    int interval() const override { return m_interval; }
    void setEnabled(bool enabled) override;
    bool isEnabled() const override { return m_enabled; }

    // Whether the timer would tick: enabled with a non-zero interval.
    bool isTicking() const { return m_enabled && m_interval > 0; }
    // Delivers one tick if the timer is ticking; returns whether it did.
    bool fire();
    // Every interval set so far, in order.
    const QList<int>& intervalsSet() const { return m_intervalsSet; }

  private:
    void reschedule();
    void scheduleFrom(double time, long generation);

    SimulatedClock* m_clock = nullptr;
    int m_interval = 0;
    bool m_enabled = true;
    bool m_active = false;
    long m_generation = 0;
    QList<int> m_intervalsSet;
};
