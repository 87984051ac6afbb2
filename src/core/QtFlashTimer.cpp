#include "core/QtFlashTimer.h"

QtFlashTimer::QtFlashTimer() {
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
}

void QtFlashTimer::setInterval(int milliseconds) {
    m_interval = milliseconds;
    update();
}

void QtFlashTimer::setEnabled(bool enabled) {
    m_enabled = enabled;
    update();
}

void QtFlashTimer::update() {
    if (m_enabled && m_interval > 0) {
        // Restarting only on a change keeps the phase of a running timer when the same
        // interval is set again.
        if (!m_timer.isActive() || m_timer.interval() != m_interval) {
            m_timer.start(m_interval);
        }
    } else {
        m_timer.stop();
    }
}
