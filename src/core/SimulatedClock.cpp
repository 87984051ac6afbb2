#include "core/SimulatedClock.h"

#include <algorithm>
#include <limits>

void SimulatedClock::at(double time, std::function<void()> action) {
    m_actions.emplace(std::make_pair(time, m_sequence++), std::move(action));
}

double SimulatedClock::nextDue() const {
    return m_actions.empty() ? std::numeric_limits<double>::infinity()
                             : m_actions.begin()->first.first;
}

void SimulatedClock::runDue() {
    // Take one action at a time: an action may schedule others or pump events itself.
    while (!m_actions.empty() && m_actions.begin()->first.first <= m_now) {
        auto action = std::move(m_actions.begin()->second);
        m_actions.erase(m_actions.begin());
        action();
    }
}

void SimulatedClock::processEvents() {
    ++m_pumps;
    runDue();
}

void SimulatedClock::sleepMs(int milliseconds) {
    if (m_recording) {
        m_sleeps.append(milliseconds);
    }
    if (milliseconds > 0) {
        m_now += milliseconds / 1000.0;
    }
}

void SimulatedClock::waitUntil(double deadline, const std::function<bool()>& keepWaiting) {
    const double start = m_now;
    while (m_now < deadline && keepWaiting()) {
        processEvents();
        if (!(m_now < deadline) || !keepWaiting()) {
            break;
        }
        m_now = std::max(m_now, std::min(nextDue(), deadline));
    }
    if (m_recording) {
        m_waits.append({start, deadline, m_now});
    }
}

void SimulatedClock::runFor(double seconds) {
    const double end = m_now + seconds;
    while (true) {
        runDue();
        const double next = nextDue();
        if (next > end) {
            break;
        }
        m_now = std::max(m_now, next);
    }
    m_now = end;
}
