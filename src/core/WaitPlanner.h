#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

// How a paced wait spends the time left before its deadline. Blocking in the event loop costs
// no processor time but wakes up a little late; reading the clock in a loop is exact but keeps a
// core busy. A wait therefore blocks until a margin before its deadline and polls the clock for
// the last stretch. All times are seconds of the steady clock.
namespace WaitPlanner {

// Shortest block worth arming an alarm for: below this, polling costs less than a wake-up.
inline constexpr double MinimumBlock = 50e-6;

// The last stretch before a deadline that is spent reading the clock only. Handling events
// takes a few microseconds even when there are none, so a pass of the event loop this close to
// the deadline would end the wait late by up to its own length; an event that comes meanwhile
// is handled right after the wait instead. Without events the caller's condition cannot
// change, so it need not be tested again.
inline constexpr double FinalStretch = 20e-6;

// What a wait does next.
struct Step {
    enum class Kind {
        Done,    // the deadline has come
        Block,   // block in the event loop until wakeAt, or until an event comes
        Poll,    // handle pending events without blocking, then read the clock again
        Finish,  // read the clock until the deadline, handling no events
    };
    Kind kind = Kind::Done;
    double wakeAt = 0;  // when the alarm should wake the wait (Block only)
};

// The next step of a wait at time now, keeping margin seconds before the deadline: Done once
// now is not before the deadline, Finish within FinalStretch of it, Block until
// deadline - margin while that lies at least MinimumBlock ahead, Poll otherwise.
Step next(double now, double deadline, double margin);

}  // namespace WaitPlanner

// The margin a wait keeps before its deadline, learnt from how late its alarms actually went
// off: a high quantile of the recent wake-up lateness plus headroom, within fixed bounds. The
// quantile lets a rare late wake-up pass (the frame is then late by the excess) instead of
// spending the processor on polling for a long while after it. A paced effect polls for at most
// a small share of its period: on a virtual machine a halted processor now and then resumes
// milliseconds late, and polling long enough to cover that at 400 frames a second would keep a
// core busy; the frame is late instead, and a stall skips frames on the effect's grid.
class WakeMargin {
  public:
    // How the margin is worked out.
    struct Limits {
        double initial = 300e-6;  // margin before any lateness has been seen
        double floor = 30e-6;     // smallest margin
        double ceiling = 2e-3;    // largest margin, bounding the polling per wait
        double headroom = 30e-6;  // added to the quantile
        double quantile = 0.99;   // share of the remembered wake-ups the margin covers
    };

    // Number of wake-ups remembered; older ones are forgotten.
    static constexpr int Window = 128;

    WakeMargin() = default;
    // A margin with other limits, for tuning and tests.
    explicit WakeMargin(const Limits& limits);

    // Records how late an alarm was handled after the time it was set for (negative when early).
    void addLateness(double seconds);
    // The margin to keep before a deadline now, in seconds.
    double margin() const { return m_margin; }
    // The margin for a wait in an effect whose frames come every period seconds: at most the
    // given share of the period, and never below the floor.
    double marginFor(double period, double share = PollShare) const {
        return std::max(m_limits.floor, std::min(m_margin, share * period));
    }

    // The largest share of a period a paced wait spends polling the clock before its deadline.
    static constexpr double PollShare = 0.02;
    // Number of wake-ups remembered (at most Window).
    int samples() const { return m_count; }

  private:
    Limits m_limits;
    std::array<double, Window> m_lateness{};
    int m_count = 0;
    int m_next = 0;
    double m_margin = m_limits.initial;
};

// The due times of a periodic tick: tick k falls at origin + k * interval (k = 1, 2, ...), so
// lateness of one tick never shifts the ones after it.
class TickSchedule {
  public:
    // Starts the schedule at now: the first tick is due one interval later.
    void begin(double now, double interval);
    // Ends the schedule.
    void end() { m_active = false; }
    // Whether a schedule is running.
    bool isActive() const { return m_active; }
    // Time the due times count from.
    double origin() const { return m_origin; }
    // Seconds between two ticks.
    double interval() const { return m_interval; }
    // Number of the next tick (1 for the first).
    int64_t nextIndex() const { return m_index; }
    // When the next tick is due.
    double nextDue() const { return m_origin + static_cast<double>(m_index) * m_interval; }
    // Moves on to the following due time.
    void step() { ++m_index; }
    // Passes over the given number of due times, whose ticks were not delivered.
    void skip(int64_t count) { m_index += count; }

  private:
    bool m_active = false;
    double m_origin = 0;
    double m_interval = 0;
    int64_t m_index = 1;
};
