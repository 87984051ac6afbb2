// The ideal clock of orlesse-program's runs and of the tests: waits, events and the records.
#include <QTest>

#include "core/SimulatedClock.h"

class SimulatedClockTest : public QObject {
    Q_OBJECT

  private slots:
    void waitEnds_data();
    void waitEnds();
    void recordsOnlyWhenKept_data();
    void recordsOnlyWhenKept();
};

void SimulatedClockTest::waitEnds_data() {
    QTest::addColumn<double>("deadline");    // seconds from the start
    QTest::addColumn<double>("eventAt");     // seconds from the start; the event stops the wait
    QTest::addColumn<bool>("waiting");       // what keepWaiting says before the event
    QTest::addColumn<double>("end");         // seconds from the start when the wait returns
    QTest::addColumn<bool>("eventHandled");  // whether the event ran during the wait
    QTest::newRow("no event: jumps to the deadline") << 0.5 << 9.0 << true << 0.5 << false;
    QTest::newRow("event first stops it there") << 0.5 << 0.2 << true << 0.2 << true;
    QTest::newRow("event at the deadline is not reached") << 0.5 << 0.5 << true << 0.5 << false;
    QTest::newRow("deadline passed: no pump") << -0.1 << 0.0 << true << 0.0 << false;
    QTest::newRow("told to stop: no time passes") << 0.5 << 0.2 << false << 0.0 << false;
}

void SimulatedClockTest::waitEnds() {
    QFETCH(double, deadline);
    QFETCH(double, eventAt);
    QFETCH(bool, waiting);
    QFETCH(double, end);
    QFETCH(bool, eventHandled);
    SimulatedClock clock;
    const double start = clock.now();
    QCOMPARE(start, SimulatedClock::DefaultStart);
    bool handled = false;
    clock.at(start + eventAt, [&] { handled = true; });
    clock.waitUntil(start + deadline, [&] { return waiting && !handled; });
    QCOMPARE(clock.now(), start + end);
    QCOMPARE(handled, eventHandled);
}

void SimulatedClockTest::recordsOnlyWhenKept_data() {
    QTest::addColumn<SimulatedClock::Records>("records");
    QTest::addColumn<qsizetype>("kept");
    QTest::newRow("dropped, as for a long run") << SimulatedClock::Records::Dropped << qsizetype(0);
    QTest::newRow("kept, as in the harness") << SimulatedClock::Records::Kept << qsizetype(1000);
}

void SimulatedClockTest::recordsOnlyWhenKept() {
    QFETCH(SimulatedClock::Records, records);
    QFETCH(qsizetype, kept);
    SimulatedClock clock(0, records);
    for (int i = 0; i < 1000; ++i) {
        clock.waitUntil(clock.now() + 0.01, [] { return true; });
        clock.sleepMs(i % 2 == 0 ? 10 : -10);  // a sleep of less than zero stands still
    }
    QCOMPARE(clock.waits().size(), kept);
    QCOMPARE(clock.sleeps().size(), kept);
    QCOMPARE(clock.pumps(), 1000);
    QVERIFY(qAbs(clock.now() - 15.0) < 1e-9);
}

QTEST_GUILESS_MAIN(SimulatedClockTest)
#include "tst_SimulatedClock.moc"
