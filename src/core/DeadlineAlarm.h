#pragma once

#include <QTimer>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

class KernelTimer;

// Seconds of the steady (monotonic) clock, the time base of every paced wait and alarm.
inline double steadySeconds() {
    using Seconds = std::chrono::duration<double>;
    return std::chrono::duration_cast<Seconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Wakes the event loop of the thread that created it at a given steady-clock time and calls a
// handler from there. The operating system's own timer (KernelTimer: a timerfd on Linux, a
// high-resolution waitable timer on Windows) does it to within the scheduler's wake-up
// latency. Where there is none, a precise single-shot Qt timer does it to the millisecond,
// armed to go off at or before the time asked for. Either way the handler may run early or late and
// is told when it ran; the caller finishes the wait itself.
class DeadlineAlarm {
  public:
    // One firing of the alarm.
    struct Firing {
        uint64_t serial = 0;  // the arm() call it belongs to
        double due = 0;       // the time the alarm was set for
        double firedAt = 0;   // when the handler was called
    };
    using Handler = std::function<void(const Firing&)>;

    // Which timer wakes the event loop.
    enum class Backend {
        Best,     // the operating system's timer where there is one, else the Qt timer
        QtTimer,  // always the millisecond Qt timer
    };

    // The handler runs from the event loop, once per arming that goes off.
    explicit DeadlineAlarm(Handler handler, Backend backend = Backend::Best);
    ~DeadlineAlarm();
    DeadlineAlarm(const DeadlineAlarm&) = delete;
    DeadlineAlarm& operator=(const DeadlineAlarm&) = delete;

    // Sets the alarm for the given steady-clock time in seconds, replacing any earlier setting;
    // returns the serial number of this arming.
    uint64_t arm(double when);
    // Cancels the alarm if it has not gone off yet.
    void disarm();
    // Whether an arming is waiting to go off.
    bool isArmed() const { return m_armed; }
    // The serial number of the latest arming.
    uint64_t serial() const { return m_serial; }
    // Whether the alarm uses the operating system's timer (true) or the millisecond Qt timer.
    bool isPrecise() const { return m_kernel != nullptr; }

  private:
    void fire();

    Handler m_handler;
    std::unique_ptr<KernelTimer> m_kernel;
    QTimer m_timer;
    bool m_armed = false;
    uint64_t m_serial = 0;
    double m_due = 0;
};
