#pragma once

#include <QList>
#include <functional>
#include <map>
#include <utility>

#include "core/ClockPump.h"

// A clock and event pump on ideal time. Time moves only when the code on it sleeps or waits,
// or when its owner advances it: a wait jumps straight to its deadline unless an event falls
// due first, so a 30-minute light program runs through in a fraction of a second, frame for
// frame as it would on a clock that is never late. Actions scheduled with at() stand for
// window events (a click, a tick, a list choice): they run when the code pumps events at or
// after their time, exactly as a real event would. Without any, there are no window events.
//
// The sleeps and waits are kept, for a test to look at, only with Records::Kept, so a run of
// hours (hundreds of thousands of waits) takes no more memory than a short one.
class SimulatedClock final : public ClockPump {
  public:
    // One wait of the code on the clock.
    struct Wait {
        double start = 0;
        double deadline = 0;
        double end = 0;
    };

    // The default start: not zero, so code that mistakes 0 for "unset" shows up.
    static constexpr double DefaultStart = 1000.0;

    // Whether the sleeps and waits are kept.
    enum class Records { Dropped, Kept };

    // Starts the time at start seconds.
    explicit SimulatedClock(double start = DefaultStart, Records records = Records::Dropped)
        : m_now(start), m_recording(records == Records::Kept) {}

    double now() override { return m_now; }
    void processEvents() override;
    void sleepMs(int milliseconds) override;
    void waitUntil(double deadline, const std::function<bool()>& keepWaiting) override;

    // Schedules an action (a window event) for the given time.
    void at(double time, std::function<void()> action);
    // Schedules an action the given seconds from now.
    void after(double delay, std::function<void()> action) { at(m_now + delay, std::move(action)); }
    // Moves time on, handling the events that fall due on the way, as an idle event loop does.
    void runFor(double seconds);
    // Moves time on without handling any event.
    void advance(double seconds) { m_now += seconds; }

    // Keeps the sleeps and waits from now on, or stops keeping them.
    void setRecords(Records records) { m_recording = records == Records::Kept; }
    // Number of processEvents calls so far (the pumps inside waits included), counted always.
    int pumps() const { return m_pumps; }
    // The sleeps kept so far, in milliseconds.
    const QList<int>& sleeps() const { return m_sleeps; }
    // The waits kept so far.
    const QList<Wait>& waits() const { return m_waits; }

  private:
    void runDue();
    double nextDue() const;

    double m_now;
    bool m_recording;
    int m_pumps = 0;
    long m_sequence = 0;
    QList<int> m_sleeps;
    QList<Wait> m_waits;
    std::multimap<std::pair<double, long>, std::function<void()>> m_actions;
};
