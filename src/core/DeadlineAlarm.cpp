#include "core/DeadlineAlarm.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "core/KernelTimer.h"

namespace {

constexpr double MaxTime = 1e9;

}  // namespace

DeadlineAlarm::DeadlineAlarm(Handler handler, Backend backend) : m_handler(std::move(handler)) {
    if (backend == Backend::Best) {
        m_kernel = KernelTimer::make([this] { fire(); });
    }
    if (m_kernel) {
        return;
    }
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { fire(); });
}

DeadlineAlarm::~DeadlineAlarm() = default;

uint64_t DeadlineAlarm::arm(double when) {
    // A wait without an end (an infinite deadline) still needs a representable alarm time;
    // a billion seconds is further away than any system stays up.
    if (!(when < MaxTime)) {
        when = MaxTime;
    }
    m_armed = true;
    m_due = when;
    ++m_serial;
    if (m_kernel) {
        m_kernel->arm(when);
        return m_serial;
    }
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
    if (m_kernel) {
        m_kernel->disarm();
        return;
    }
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
