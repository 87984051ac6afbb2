// Where a paced effect stands when it wakes: on its grid, skipping what a stall let pass.
#include <QTest>

#include "core/Pacing.h"

class PacingTest : public QObject {
    Q_OBJECT

  private slots:
    void wake_data();
    void wake();
    void stallCounts();
};

void PacingTest::wake_data() {
    QTest::addColumn<double>("now");
    QTest::addColumn<double>("due");
    QTest::addColumn<qint64>("skipped");
    QTest::addColumn<bool>("restarted");
    // Frames every 2.5 ms, the one waited for due at 10 s; restart past 1 s.
    QTest::newRow("on time") << 10.0 << 10.0 << qint64(0) << false;
    QTest::newRow("woken early, by the wait's condition") << 9.999 << 10.0 << qint64(0) << false;
    QTest::newRow("late by less than a step") << 10.002 << 10.0 << qint64(0) << false;
    QTest::newRow("1.5 steps late") << 10.00375 << 10.0025 << qint64(1) << false;
    QTest::newRow("3.2 steps late") << 10.008 << 10.0075 << qint64(3) << false;
    QTest::newRow("40.4 steps late") << 10.101 << 10.1 << qint64(40) << false;
    QTest::newRow("past the bound: counts from now") << 11.5 << 11.5 << qint64(600) << true;
}

void PacingTest::wake() {
    QFETCH(double, now);
    QFETCH(double, due);
    QFETCH(qint64, skipped);
    QFETCH(bool, restarted);
    const Pacing::Wake wake = Pacing::wake(10.0, now, 0.0025, Pacing::restartBound(0.02));
    QVERIFY(qAbs(wake.due - due) < 1e-9);
    QCOMPARE(wake.skipped, skipped);
    QCOMPARE(wake.restarted, restarted);
    // The frame sent is never one whose time has wholly passed.
    QVERIFY(now - wake.due < 0.0025);
}

void PacingTest::stallCounts() {
    Pacing::Stalls stalls;
    stalls.add(Pacing::wake(10.0, 10.002, 0.0025, 1.0));  // late, nothing skipped
    stalls.add(Pacing::wake(10.0, 10.008, 0.0025, 1.0));
    stalls.add(Pacing::wake(10.0, 12.0, 0.0025, 1.0));
    QCOMPARE(stalls.stalls, qint64(2));
    QCOMPARE(stalls.skipped, qint64(3 + 800));
    QCOMPARE(stalls.restarts, qint64(1));
    QCOMPARE(stalls.longest, 2.0);
    QCOMPARE(stalls.brief, qint64(0));
    stalls.add(Pacing::wake(10.0, 10.004, 0.0025, 1.0));  // 1.6 steps: one of our own
    QCOMPARE(stalls.brief, qint64(1));
    QCOMPARE(Pacing::restartBound(2.0), 2.0);  // a cycle longer than the bound is the bound
}

QTEST_GUILESS_MAIN(PacingTest)
#include "tst_Pacing.moc"
