#include "core/QtClockPump.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>

#include "core/KernelTimer.h"

QtClockPump::QtClockPump(Strategy strategy) : m_strategy(strategy) {}

QtClockPump::~QtClockPump() = default;

double QtClockPump::now() {
    return steadySeconds();
}

void QtClockPump::processEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtClockPump::sleepMs(int milliseconds) {
    if (milliseconds > 0) {
        KernelTimer::sleepMs(milliseconds);
    }
}

void QtClockPump::waitUntil(double deadline, const std::function<bool()>& keepWaiting) {
    if (m_strategy == Strategy::BlockThenPoll && QAbstractEventDispatcher::instance()) {
        blockThenPoll(deadline, keepWaiting);
        return;
    }
    while (now() < deadline && keepWaiting()) {
        processEvents();
    }
}

void QtClockPump::blockThenPoll(double deadline, const std::function<bool()>& keepWaiting) {
    if (!m_alarm) {
        m_alarm = std::make_unique<DeadlineAlarm>(
            [this](const DeadlineAlarm::Firing& firing) { m_lastFiring = firing; });
    }
    // The arming of this wait, so that a wait nested in one of our event handlers (which arms
    // the alarm for itself) is told apart, and our alarm is not left armed when we return.
    uint64_t armed = 0;
    struct Disarm {
        DeadlineAlarm& alarm;
        const uint64_t& armed;
        ~Disarm() {
            if (armed != 0 && alarm.serial() == armed) {
                alarm.disarm();
            }
        }
    } disarm{*m_alarm, armed};

    // The wait's length stands for the period of the effect that waits.
    const double length = deadline - now();
    while (true) {
        // The same tests in the same order as the polling loop: the clock first, then the
        // caller's condition, again after every batch of events.
        const double t = now();
        if (!(t < deadline) || !keepWaiting()) {
            return;
        }
        const WaitPlanner::Step step = WaitPlanner::next(t, deadline, m_margin.marginFor(length));
        if (step.kind == WaitPlanner::Step::Kind::Finish) {
            while (now() < deadline) {
            }
            return;
        }
        if (step.kind == WaitPlanner::Step::Kind::Poll) {
            processEvents();
            continue;
        }
        // Armed afresh on every pass: a nested wait may have re-armed the alarm for itself.
        armed = m_alarm->arm(step.wakeAt);
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        if (m_lastFiring.serial == armed) {
            m_margin.addLateness(m_lastFiring.firedAt - m_lastFiring.due);
            armed = 0;
        }
    }
}
