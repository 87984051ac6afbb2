// The kernel timer on Windows: a waitable timer watched by an event notifier. Qt's own timers
// wake only to the system's timer resolution, about 15.6 ms unless a program asks for more;
// a high-resolution waitable timer (Windows 10 version 1803 and later) wakes to well under a
// millisecond without changing the resolution for the whole system. Older systems get a plain
// waitable timer, which wakes to a millisecond while RealtimePriority holds timeBeginPeriod(1).
#include <windows.h>

#include <QWinEventNotifier>
#include <algorithm>
#include <cmath>

#include "core/DeadlineAlarm.h"
#include "core/KernelTimer.h"

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace {

// A waiting timer that resets when a wait on it is satisfied: high-resolution where the system
// has it, else a plain one. nullptr when neither can be had.
HANDLE createTimer(bool* highResolution = nullptr) {
    HANDLE timer = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                          TIMER_ALL_ACCESS);
    if (highResolution) {
        *highResolution = timer != nullptr;
    }
    if (!timer) {
        timer = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
    }
    return timer;
}

// Sets timer to go off after the given seconds (at once when none are left).
void setRelative(HANDLE timer, double seconds) {
    // Negative due times are relative, in units of 100 ns; relative times follow the same
    // performance counter as the steady clock, not the wall clock.
    LARGE_INTEGER due{};
    due.QuadPart = -std::max<LONGLONG>(1, std::llround(seconds * 1e7));
    SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE);
}

class WaitableTimer final : public KernelTimer {
  public:
    WaitableTimer(HANDLE timer, std::function<void()> fired)
        : m_timer(timer), m_notifier(timer), m_fired(std::move(fired)) {
        QObject::connect(&m_notifier, &QWinEventNotifier::activated, [this] { onSignalled(); });
    }
    ~WaitableTimer() override {
        m_notifier.setEnabled(false);
        CancelWaitableTimer(m_timer);
        CloseHandle(m_timer);
    }
    WaitableTimer(const WaitableTimer&) = delete;
    WaitableTimer& operator=(const WaitableTimer&) = delete;

    void arm(double when) override {
        m_when = when;
        m_armed = true;
        setRelative(m_timer, when - steadySeconds());
    }

    void disarm() override {
        m_armed = false;
        CancelWaitableTimer(m_timer);
    }

  private:
    void onSignalled() {
        if (!m_armed) {
            return;
        }
        // The notifier reports a signal from a thread of the system's pool, so the report of
        // an arming that a re-arm replaced can arrive after it; the time tells. The timer's
        // resolution may also wake it a little early, which the caller's wait handles.
        if (steadySeconds() < m_when - EarlyLimit) {
            setRelative(m_timer, m_when - steadySeconds());
            return;
        }
        m_armed = false;
        m_fired();
    }

    // How much earlier than its time a signal may come and still count as this arming's.
    static constexpr double EarlyLimit = 1e-3;

    HANDLE m_timer;
    QWinEventNotifier m_notifier;
    std::function<void()> m_fired;
    double m_when = 0;
    bool m_armed = false;
};

}  // namespace

std::unique_ptr<KernelTimer> KernelTimer::make(std::function<void()> fired) {
    HANDLE timer = createTimer();
    if (!timer) {
        return nullptr;
    }
    return std::make_unique<WaitableTimer>(timer, std::move(fired));
}

bool KernelTimer::isHighResolution() {
    static const bool highResolution = [] {
        bool high = false;
        if (HANDLE timer = createTimer(&high)) {
            CloseHandle(timer);
        }
        return high;
    }();
    return highResolution;
}

void KernelTimer::sleepMs(int milliseconds) {
    if (milliseconds <= 0) {
        return;
    }
    // One timer for each thread that sleeps, kept for the thread's life.
    thread_local struct Sleeper {
        HANDLE timer = createTimer();
        ~Sleeper() {
            if (timer) {
                CloseHandle(timer);
            }
        }
    } sleeper;
    if (!sleeper.timer) {
        Sleep(DWORD(milliseconds));
        return;
    }
    setRelative(sleeper.timer, milliseconds / 1000.0);
    WaitForSingleObject(sleeper.timer, INFINITE);
}
