#pragma once

#include <cstdint>
#include <functional>
#include <utility>

#include "core/Pacing.h"

// The periodic flash timer (Timer1). It ticks every interval() milliseconds on the
// user-interface thread, but only while it is enabled and the interval is not 0. An interval
// of 0 stops the ticks and leaves the enabled state as it is, so a later non-zero interval
// restarts them.
class FlashTimer {
  public:
    virtual ~FlashTimer() = default;

    // Sets the tick period in milliseconds (0 to 65535); 0 stops the ticks.
    virtual void setInterval(int milliseconds) = 0;
    // The tick period in milliseconds.
    virtual int interval() const = 0;
    // Enables or disables the ticks; the interval is kept either way.
    virtual void setEnabled(bool enabled) = 0;
    // Whether the timer is enabled (it ticks only when the interval is non-zero too).
    virtual bool isEnabled() const = 0;

    // Installs the function each tick calls.
    void setTickHandler(std::function<void()> handler) { m_onTick = std::move(handler); }

    // Installs the test of whether ticks must come exactly on time: only while a frame can
    // reach the device is it worth keeping the processor awake for that. Without a test every
    // tick is exact. The test is asked whenever a tick is scheduled, whenever the interval or
    // the enabled state is set, and by refreshPrecision().
    void setPrecisionWanted(std::function<bool()> wanted) { m_precisionWanted = std::move(wanted); }
    // Whether ticks must come exactly on time now.
    bool precisionWanted() const { return !m_precisionWanted || m_precisionWanted(); }
    // Asks the test again, after what it looks at has changed or just before it will. A timer
    // that holds back ticks while precision is not wanted delivers those already due first.
    virtual void refreshPrecision() {}

    // Ticks skipped just before the one being delivered, because their time wholly passed in a
    // stall (0 otherwise). A handler that alternates on every tick turns once more for an odd
    // count, so that the device shows the phase of the schedule at once.
    int64_t skippedTicks() const { return m_skipped; }
    // The stalls the ticks went through since the timer was made.
    const Pacing::Stalls& stalls() const { return m_stalls; }

  protected:
    // Called by implementations for every tick, with the wake that delivers it when ticks were
    // skipped before it.
    void tick(const Pacing::Wake& wake = {}) {
        m_stalls.add(wake);
        m_skipped = wake.skipped;
        if (m_onTick) {
            m_onTick();
        }
        m_skipped = 0;
    }

  private:
    int64_t m_skipped = 0;
    Pacing::Stalls m_stalls;
    std::function<void()> m_onTick;
    std::function<bool()> m_precisionWanted;
};
