#include "support/ManualFlashTimer.h"

#include "core/SimulatedClock.h"

void ManualFlashTimer::attach(SimulatedClock* clock) {
    m_clock = clock;
    m_active = false;
    reschedule();
}

void ManualFlashTimer::setInterval(int milliseconds) {
    m_intervalsSet.append(milliseconds);
    if (milliseconds == m_interval) {
        return;  // a running timer keeps its phase, as the real one does
    }
    m_interval = milliseconds;
    m_active = false;
    reschedule();
}

void ManualFlashTimer::setEnabled(bool enabled) {
    if (enabled == m_enabled) {
        return;
    }
    m_enabled = enabled;
    m_active = false;
    reschedule();
}

bool ManualFlashTimer::fire() {
    if (!isTicking()) {
        return false;
    }
    tick();
    return true;
}

void ManualFlashTimer::reschedule() {
    ++m_generation;
    if (m_clock == nullptr || !isTicking() || m_active) {
        return;
    }
    m_active = true;
    scheduleFrom(m_clock->now(), m_generation);
}

void ManualFlashTimer::scheduleFrom(double time, long generation) {
    const double due = time + m_interval / 1000.0;
    m_clock->at(due, [this, due, generation] {
        if (generation != m_generation || !isTicking()) {
            return;
        }
        // The next tick keeps the schedule, whatever this tick's handler does with the time.
        scheduleFrom(due, generation);
        tick();
    });
}
