// The alarm behind the blocking waits and the scheduled flash ticks, with the kernel timer and
// with the Qt timer it falls back on: one firing per arming, re-arming replaces, disarming
// cancels, and it is never later than asked for by its own rounding.
#include <QTest>

#include "core/DeadlineAlarm.h"
#include "core/QtClockPump.h"

using Backend = DeadlineAlarm::Backend;
Q_DECLARE_METATYPE(Backend)

namespace {

// Handles events for the given seconds (the polling pump blocks nowhere).
void handleEventsFor(double seconds) {
    QtClockPump pump(QtClockPump::Strategy::Polling);
    pump.waitUntil(pump.now() + seconds, [] { return true; });
}

// Handles events until done() holds, for at most a second.
bool handleEventsUntil(const std::function<bool()>& done) {
    QtClockPump pump(QtClockPump::Strategy::Polling);
    pump.waitUntil(pump.now() + 1.0, [&] { return !done(); });
    return done();
}

}  // namespace

class DeadlineAlarmTest : public QObject {
    Q_OBJECT

  private slots:
    void firesOnceAtItsTime_data();
    void firesOnceAtItsTime();
    void rearmingReplaces_data();
    void rearmingReplaces();
    void disarmingCancels_data();
    void disarmingCancels();
    void passedTimeFiresAtOnce_data();
    void passedTimeFiresAtOnce();

  private:
    void addBackends();
};

void DeadlineAlarmTest::addBackends() {
    QTest::addColumn<Backend>("backend");
    QTest::newRow("best") << Backend::Best;
    QTest::newRow("Qt timer") << Backend::QtTimer;
}

void DeadlineAlarmTest::firesOnceAtItsTime_data() {
    addBackends();
}

void DeadlineAlarmTest::firesOnceAtItsTime() {
    QFETCH(Backend, backend);
    QList<DeadlineAlarm::Firing> firings;
    DeadlineAlarm alarm([&](const DeadlineAlarm::Firing& firing) { firings << firing; }, backend);
    const double when = steadySeconds() + 2e-3;
    const uint64_t serial = alarm.arm(when);
    QVERIFY(alarm.isArmed());
    QVERIFY(handleEventsUntil([&] { return !firings.isEmpty(); }));
    handleEventsFor(5e-3);

    QCOMPARE(firings.size(), 1);
    QVERIFY(!alarm.isArmed());
    QCOMPARE(firings[0].serial, serial);
    QCOMPARE(firings[0].due, when);
    // The kernel timer never goes off early; the Qt timer is armed for whole milliseconds
    // rounded down, so it may go off up to one millisecond early, never later by rounding.
    const double earliest = alarm.isPrecise() ? when : when - 1e-3;
    QVERIFY2(firings[0].firedAt >= earliest,
             qPrintable(QStringLiteral("%1 us early").arg((when - firings[0].firedAt) * 1e6)));
#ifdef Q_OS_LINUX
    QCOMPARE(alarm.isPrecise(), backend == Backend::Best);
#endif
}

void DeadlineAlarmTest::rearmingReplaces_data() {
    addBackends();
}

void DeadlineAlarmTest::rearmingReplaces() {
    QFETCH(Backend, backend);
    QList<uint64_t> fired;
    DeadlineAlarm alarm([&](const DeadlineAlarm::Firing& firing) { fired << firing.serial; },
                        backend);
    const double now = steadySeconds();
    const uint64_t first = alarm.arm(now + 4e-3);
    const uint64_t second = alarm.arm(now + 1e-3);
    QVERIFY(second != first);
    QCOMPARE(alarm.serial(), second);
    handleEventsFor(8e-3);
    QCOMPARE(fired, QList<uint64_t>{second});
}

void DeadlineAlarmTest::disarmingCancels_data() {
    addBackends();
}

void DeadlineAlarmTest::disarmingCancels() {
    QFETCH(Backend, backend);
    int fired = 0;
    DeadlineAlarm alarm([&](const DeadlineAlarm::Firing&) { ++fired; }, backend);
    alarm.arm(steadySeconds() + 1e-3);
    alarm.disarm();
    QVERIFY(!alarm.isArmed());
    handleEventsFor(4e-3);
    QCOMPARE(fired, 0);
}

void DeadlineAlarmTest::passedTimeFiresAtOnce_data() {
    addBackends();
}

void DeadlineAlarmTest::passedTimeFiresAtOnce() {
    QFETCH(Backend, backend);
    int fired = 0;
    DeadlineAlarm alarm([&](const DeadlineAlarm::Firing&) { ++fired; }, backend);
    alarm.arm(steadySeconds() - 1.0);
    QVERIFY(handleEventsUntil([&] { return fired > 0; }));
    QCOMPARE(fired, 1);
}

QTEST_GUILESS_MAIN(DeadlineAlarmTest)
#include "tst_DeadlineAlarm.moc"
