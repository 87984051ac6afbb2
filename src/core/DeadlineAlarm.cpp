#include "core/DeadlineAlarm.h"

#include <QSocketNotifier>
#include <algorithm>
#include <cmath>
#include <utility>

#ifdef Q_OS_LINUX
#include <sys/timerfd.h>
#include <unistd.h>
#include <cerrno>
#include <ctime>
#endif

namespace {

constexpr double MaxTime = 1e9;

}  // namespace

DeadlineAlarm::DeadlineAlarm(Handler handler, [[maybe_unused]] Backend backend)
    : m_handler(std::move(handler)) {
#ifdef Q_OS_LINUX
    // std::chrono::steady_clock is CLOCK_MONOTONIC, so the timer shares the waits' time base.
    if (backend == Backend::Best) {
        m_fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    }
    if (m_fd >= 0) {
        m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] {
            // Reading clears the expiry; nothing to read means a re-arm overtook it.
            uint64_t expiries = 0;
            if (::read(m_fd, &expiries, sizeof expiries) == sizeof expiries) {
                fire();
            }
        });
        return;
    }
#endif
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { fire(); });
}

DeadlineAlarm::~DeadlineAlarm() {
    m_notifier.reset();
#ifdef Q_OS_LINUX
    if (m_fd >= 0) {
        ::close(m_fd);
    }
#endif
}

uint64_t DeadlineAlarm::arm(double when) {
    // A wait without an end (an infinite deadline) still needs a representable alarm time;
    // a billion seconds is further away than any system stays up.
    if (!(when < MaxTime)) {
        when = MaxTime;
    }
    m_armed = true;
    m_due = when;
    ++m_serial;
#ifdef Q_OS_LINUX
    if (m_fd >= 0) {
        itimerspec setting{};
        const double seconds = std::floor(when);
        setting.it_value.tv_sec = static_cast<time_t>(seconds);
        setting.it_value.tv_nsec = static_cast<long>((when - seconds) * 1e9);
        // A zero value would disarm the timer; any time in the past goes off at once.
        if (setting.it_value.tv_sec <= 0 && setting.it_value.tv_nsec <= 0) {
            setting.it_value.tv_sec = 0;
            setting.it_value.tv_nsec = 1;
        }
        ::timerfd_settime(m_fd, TFD_TIMER_ABSTIME, &setting, nullptr);
        return m_serial;
    }
#endif
    // Whole milliseconds, rounded down, so the timer never goes off late by its own rounding.
    const double delay = std::max(0.0, std::floor((when - steadySeconds()) * 1000.0));
    m_timer.start(static_cast<int>(std::min(delay, 1e9)));
    return m_serial;
}

void DeadlineAlarm::disarm() {
    if (!m_armed) {
        return;
    }
    m_armed = false;
#ifdef Q_OS_LINUX
    if (m_fd >= 0) {
        const itimerspec off{};
        ::timerfd_settime(m_fd, 0, &off, nullptr);
        return;
    }
#endif
    m_timer.stop();
}

void DeadlineAlarm::fire() {
    if (!m_armed) {
        return;
    }
    m_armed = false;
    const Firing firing{m_serial, m_due, steadySeconds()};
    if (m_handler) {
        m_handler(firing);
    }
}
