#include "core/QtFlashTimer.h"

#include <algorithm>

QtFlashTimer::QtFlashTimer(Strategy strategy, std::function<double()> clock)
    : m_strategy(strategy), m_clock(std::move(clock)) {
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
}

QtFlashTimer::~QtFlashTimer() = default;

void QtFlashTimer::setInterval(int milliseconds) {
    // Ticks held back that fell due under the old setting come first.
    catchUp();
    m_interval = milliseconds;
    update();
}

void QtFlashTimer::setEnabled(bool enabled) {
    catchUp();
    m_enabled = enabled;
    update();
}

void QtFlashTimer::refreshPrecision() {
    if (m_strategy != Strategy::Scheduled || !m_ticking) {
        return;
    }
    catchUp();
    if (m_ticking) {
        armNextTick();
    }
}

void QtFlashTimer::catchUp() {
    if (m_strategy != Strategy::Scheduled || !m_ticking || m_armedPrecise || m_catchingUp) {
        return;
    }
    m_catchingUp = true;
    // A handler may stop the timer or start a new schedule; the ticks of this one end there.
    const uint64_t generation = m_generation;
    const double now = m_clock();
    while (m_ticking && m_generation == generation && m_schedule.nextDue() <= now) {
        m_schedule.step();
        tick();
    }
    m_catchingUp = false;
}

void QtFlashTimer::update() {
    const bool shouldTick = m_enabled && m_interval > 0;
    if (!shouldTick) {
        m_generation += m_ticking ? 1 : 0;
        m_ticking = false;
        m_timer.stop();
        m_schedule.end();
        if (m_alarm) {
            m_alarm->disarm();
        }
        return;
    }
    // A running timer keeps its phase when the same interval is set again (the rate list
    // chosen anew, or enabling a timer that is already enabled); anything else starts a new
    // schedule from now.
    const double seconds = m_interval / 1000.0;
    if (m_ticking && (m_strategy == Strategy::QtPrecise ? m_timer.interval() == m_interval
                                                        : m_schedule.interval() == seconds)) {
        // The port may have opened or closed since the next tick was set up.
        if (m_strategy == Strategy::Scheduled && m_armedPrecise != precisionWanted()) {
            armNextTick();
        }
        return;
    }
    ++m_generation;
    m_ticking = true;
    m_phaseStart = m_clock();
    if (m_strategy == Strategy::QtPrecise) {
        m_timer.start(m_interval);
        return;
    }
    // Made at the first start rather than at construction: the alarm's notifier needs the
    // event loop of the application, which may not exist yet when the timer is made.
    if (!m_alarm) {
        m_alarm = std::make_unique<DeadlineAlarm>(
            [this](const DeadlineAlarm::Firing& firing) { onAlarm(firing); });
    }
    m_schedule.begin(m_phaseStart, seconds);
    armNextTick();
}

void QtFlashTimer::armNextTick() {
    m_armedPrecise = precisionWanted();
    m_nextWake = m_armedPrecise ? m_schedule.nextDue() - wakeMargin()
                                : std::max(m_schedule.nextDue(), m_clock() + RelaxedPeriod);
    m_alarm->arm(m_nextWake);
}

void QtFlashTimer::onAlarm(const DeadlineAlarm::Firing& firing) {
    if (!m_ticking) {
        return;
    }
    if (!m_armedPrecise) {
        catchUp();
        if (m_ticking) {
            armNextTick();
        }
        return;
    }
    // Read on the schedule's own clock, which the alarm's firing time need not be.
    double now = m_clock();
    m_margin.addLateness(now - firing.due);
    // Woken a margin early: the last stretch to the due time is a short poll of the clock,
    // bounded by the margin's ceiling. No events are handled meanwhile, so nothing can change
    // the timer under us.
    const double due = m_schedule.nextDue();
    while (now < due) {
        now = m_clock();
    }
    // A wake so late that later ticks have wholly passed delivers the latest one due and
    // skips the others; past the bound the schedule counts from now.
    const double interval = m_schedule.interval();
    const Pacing::Wake wake = Pacing::wake(due, now, interval, Pacing::restartBound(2 * interval));
    if (wake.restarted) {
        m_phaseStart = now;
        m_schedule.begin(now, interval);
    } else {
        m_schedule.skip(wake.skipped);
        m_schedule.step();
    }
    // The next tick is armed before this one is delivered, so that a handler which stops or
    // changes the timer has the last word.
    armNextTick();
    tick(wake);
}
