#pragma once

#include <QTimer>
#include <functional>
#include <memory>

#include "core/DeadlineAlarm.h"
#include "core/FlashTimer.h"
#include "core/WaitPlanner.h"

// The flash timer on the user-interface thread's event loop.
class QtFlashTimer final : public FlashTimer {
  public:
    // How the ticks are timed.
    enum class Strategy {
        // A precise QTimer: Qt keeps its schedule from one timeout to the next, but wakes up to
        // the millisecond, so ticks come up to a millisecond (plus wake-up latency) late, and
        // a tick that misses its time moves all later ones.
        QtPrecise,
        // Ticks due at start + k * interval on the steady clock. While precision is wanted the
        // alarm wakes the event loop a learnt margin early and the tick is delivered on the due
        // time, polling the clock for the last stretch. A late tick does not move the later
        // ones. While precision is not wanted (no frame can reach the device) the ticks are
        // held back and delivered in order, every one of them, about once a second and before
        // anything that may change that: an idle window then wakes once a second instead of up
        // to a hundred times, and ends up exactly where the ticks one by one would have left
        // it.
        Scheduled,
    };

    // clock is the steady clock in seconds the schedule reads; tests hand in one they move
    // themselves (the alarm still wakes the event loop on the real clock).
    explicit QtFlashTimer(Strategy strategy = Strategy::Scheduled,
                          std::function<double()> clock = steadySeconds);
    ~QtFlashTimer() override;
    QtFlashTimer(const QtFlashTimer&) = delete;
    QtFlashTimer& operator=(const QtFlashTimer&) = delete;

    void setInterval(int milliseconds) override;
    int interval() const override { return m_interval; }
    void setEnabled(bool enabled) override;
    bool isEnabled() const override { return m_enabled; }
    void refreshPrecision() override;

    // How long ticks are held back at most while precision is not wanted, in seconds.
    static constexpr double RelaxedPeriod = 1.0;

    // The strategy chosen at construction.
    Strategy strategy() const { return m_strategy; }
    // Whether ticks are being delivered: enabled, with a non-zero interval.
    bool isTicking() const { return m_ticking; }
    // Steady-clock time in seconds the running schedule counts from: tick k is due at
    // phaseStart() + k * interval() / 1000. Kept when the same interval is set again, so it
    // tells whether the phase survived; meaningless while not ticking.
    double phaseStart() const { return m_phaseStart; }
    // The margin the scheduled ticks keep before their due time now, in seconds.
    double wakeMargin() const { return m_margin.marginFor(m_schedule.interval(), PollShare); }

    // The largest share of an interval a tick spends polling the clock: less than a paced
    // wait's, since every tick also goes through the event loop, which costs about as much.
    static constexpr double PollShare = 0.015;
    // Whether the next scheduled tick was set up to come exactly on time (false when not
    // ticking).
    bool nextTickPrecise() const { return m_ticking && m_armedPrecise; }
    // When the alarm for the next scheduled tick goes off (meaningless when not ticking).
    double nextWake() const { return m_nextWake; }

  private:
    // Delivers, in order, the ticks held back that are due by now.
    void catchUp();
    void update();
    void armNextTick();
    void onAlarm(const DeadlineAlarm::Firing& firing);

    Strategy m_strategy;
    std::function<double()> m_clock;
    int m_interval = 0;
    bool m_enabled = true;
    bool m_ticking = false;
    double m_phaseStart = 0;
    bool m_armedPrecise = false;
    double m_nextWake = 0;
    bool m_catchingUp = false;
    uint64_t m_generation = 0;  // counts the schedules started and ended

    QTimer m_timer;  // the QtPrecise strategy
    // The Scheduled strategy.
    std::unique_ptr<DeadlineAlarm> m_alarm;
    TickSchedule m_schedule;
    WakeMargin m_margin;
};
