#pragma once

#include <cstdint>
#include <memory>

#include "core/ClockPump.h"
#include "core/DeadlineAlarm.h"
#include "core/WaitPlanner.h"

// The real clock and event pump: the steady (monotonic) clock and Qt's event processing on the
// user-interface thread.
class QtClockPump final : public ClockPump {
  public:
    // How waitUntil spends the time before its deadline.
    enum class Strategy {
        // Reads the clock and handles pending events in a tight loop: exact to a few
        // microseconds, but keeps one processor core busy for the whole wait.
        Polling,
        // Blocks in the event loop (any event wakes it) until a learnt margin before the
        // deadline, then polls the clock for the last stretch: as exact as polling, at a small
        // fraction of the processor time.
        BlockThenPoll,
    };

    explicit QtClockPump(Strategy strategy = Strategy::BlockThenPoll);
    ~QtClockPump() override;
    QtClockPump(const QtClockPump&) = delete;
    QtClockPump& operator=(const QtClockPump&) = delete;

    double now() override;
    void processEvents() override;
    void sleepMs(int milliseconds) override;
    void waitUntil(double deadline, const std::function<bool()>& keepWaiting) override;

    // The strategy chosen at construction.
    Strategy strategy() const { return m_strategy; }
    // The margin the blocking strategy has learnt, in seconds; a wait keeps at most a share of
    // its length (WakeMargin::marginFor).
    double wakeMargin() const { return m_margin.margin(); }

  private:
    // The blocking wait; falls back to polling while there is no event dispatcher.
    void blockThenPoll(double deadline, const std::function<bool()>& keepWaiting);

    Strategy m_strategy;
    WakeMargin m_margin;
    std::unique_ptr<DeadlineAlarm> m_alarm;  // made at the first blocking wait
    DeadlineAlarm::Firing m_lastFiring;
};
