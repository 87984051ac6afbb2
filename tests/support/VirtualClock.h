#pragma once

#include <QList>
#include <functional>
#include <map>
#include <utility>

#include "core/ClockPump.h"

// A clock and event pump on virtual time. Time moves only when the code under test sleeps or
// waits, or when a test advances it, so a 60-second segment plays in microseconds. Actions
// scheduled with at() stand for window events (a click, a tick, a list choice): they run when
// the code under test pumps events at or after their time, exactly as a real event would.
class VirtualClock final : public ClockPump {
  public:
    // One wait of the code under test.
    struct Wait {
        double start = 0;
        double deadline = 0;
        double end = 0;
    };

    double now() override { return m_now; }
    void processEvents() override;
    void sleepMs(int milliseconds) override;
    void waitUntil(double deadline, const std::function<bool()>& keepWaiting) override;

    // Schedules an action (a window event) for the given virtual time.
    void at(double time, std::function<void()> action);
    // Schedules an action the given seconds from now.
    void after(double delay, std::function<void()> action) { at(m_now + delay, std::move(action)); }
    // Moves time on, handling the events that fall due on the way, as an idle event loop does.
    void runFor(double seconds);
    // Moves time on without handling any event.
    void advance(double seconds) { m_now += seconds; }

    // Number of processEvents calls so far (the pumps inside waits included).
    int pumps() const { return m_pumps; }
    // The sleeps so far, in milliseconds.
    const QList<int>& sleeps() const { return m_sleeps; }
    // The waits so far.
    const QList<Wait>& waits() const { return m_waits; }
    // Whether any event is still scheduled.
    bool hasPending() const { return !m_actions.empty(); }

  private:
    void runDue();
    double nextDue() const;

    double m_now = 1000.0;  // not zero, so code that mistakes 0 for "unset" shows up
    int m_pumps = 0;
    long m_sequence = 0;
    QList<int> m_sleeps;
    QList<Wait> m_waits;
    std::multimap<std::pair<double, long>, std::function<void()>> m_actions;
};
