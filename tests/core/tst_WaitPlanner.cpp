// The pure timing logic of the paced waits and the flash timer: what a wait does next, the
// margin learnt from wake-up lateness, and the tick schedule. No real time is involved.
#include <QTest>
#include <limits>

#include "core/WaitPlanner.h"

using Kind = WaitPlanner::Step::Kind;
Q_DECLARE_METATYPE(Kind)

namespace {

constexpr double Inf = std::numeric_limits<double>::infinity();
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

WakeMargin::Limits testLimits() {
    WakeMargin::Limits limits;
    limits.initial = 300e-6;
    limits.floor = 30e-6;
    limits.ceiling = 2e-3;
    limits.headroom = 30e-6;
    limits.quantile = 0.99;
    return limits;
}

}  // namespace

class WaitPlannerTest : public QObject {
    Q_OBJECT

  private slots:
    void nextStep_data();
    void nextStep();
    void marginFollowsLateness_data();
    void marginFollowsLateness();
    void rareLateWakeUpsDoNotRaiseTheMargin_data();
    void rareLateWakeUpsDoNotRaiseTheMargin();
    void lateWakeUpsAreForgotten();
    void tickScheduleBeginRestarts();
};

void WaitPlannerTest::nextStep_data() {
    QTest::addColumn<double>("now");
    QTest::addColumn<double>("deadline");
    QTest::addColumn<double>("margin");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<double>("wakeAt");

    QTest::newRow("deadline passed") << 10.0 << 9.9 << 300e-6 << Kind::Done << 0.0;
    QTest::newRow("deadline now") << 10.0 << 10.0 << 300e-6 << Kind::Done << 0.0;
    QTest::newRow("no deadline (NaN)") << 10.0 << NaN << 300e-6 << Kind::Done << 0.0;
    QTest::newRow("far ahead: block to the margin")
        << 10.0 << 10.05 << 300e-6 << Kind::Block << 10.0497;
    QTest::newRow("within the margin: poll") << 10.0 << 10.0002 << 300e-6 << Kind::Poll << 0.0;
    QTest::newRow("last microseconds: finish on the clock")
        << 10.0 << 10.000015 << 300e-6 << Kind::Finish << 0.0;
    QTest::newRow("last microseconds, no margin: finish")
        << 10.0 << 10.000015 << 0.0 << Kind::Finish << 0.0;
    QTest::newRow("just outside the last stretch: poll")
        << 10.0 << 10.00003 << 300e-6 << Kind::Poll << 0.0;
    QTest::newRow("block too short to be worth it")
        << 10.0 << 10.00034 << 300e-6 << Kind::Poll << 0.0;
    QTest::newRow("block just long enough")
        << 10.0 << 10.00036 << 300e-6 << Kind::Block << 10.00006;
    QTest::newRow("no margin: block to the deadline")
        << 10.0 << 10.001 << 0.0 << Kind::Block << 10.001;
    QTest::newRow("endless wait blocks") << 10.0 << Inf << 300e-6 << Kind::Block << Inf;
}

void WaitPlannerTest::nextStep() {
    QFETCH(double, now);
    QFETCH(double, deadline);
    QFETCH(double, margin);
    QFETCH(Kind, kind);
    QFETCH(double, wakeAt);
    const WaitPlanner::Step step = WaitPlanner::next(now, deadline, margin);
    QCOMPARE(step.kind, kind);
    if (kind == Kind::Block) {
        QCOMPARE(step.wakeAt, wakeAt);
        QVERIFY(step.wakeAt <= deadline);
    }
}

void WaitPlannerTest::marginFollowsLateness_data() {
    QTest::addColumn<QList<double>>("lateness");
    QTest::addColumn<double>("margin");

    QTest::newRow("nothing learnt yet") << QList<double>{} << 300e-6;
    QTest::newRow("one wake-up sets it") << QList<double>{400e-6} << 430e-6;
    QTest::newRow("steady lateness plus headroom") << QList<double>(200, 50e-6) << 80e-6;
    QTest::newRow("prompt wake-ups keep the floor") << QList<double>(50, 0.0) << 30e-6;
    QTest::newRow("early wake-ups keep the floor") << QList<double>(50, -500e-6) << 30e-6;
    QTest::newRow("very late wake-ups stop at the ceiling") << QList<double>(50, 10e-3) << 2e-3;
    QTest::newRow("NaN is ignored") << QList<double>{NaN, NaN} << 300e-6;
    QTest::newRow("a few wake-ups: the latest counts")
        << QList<double>{40e-6, 120e-6, 60e-6} << 150e-6;
}

void WaitPlannerTest::marginFollowsLateness() {
    QFETCH(QList<double>, lateness);
    QFETCH(double, margin);
    WakeMargin learnt(testLimits());
    for (double sample : lateness) {
        learnt.addLateness(sample);
    }
    QVERIFY2(qAbs(learnt.margin() - margin) < 1e-12,
             qPrintable(QStringLiteral("margin %1 us").arg(learnt.margin() * 1e6)));
}

void WaitPlannerTest::rareLateWakeUpsDoNotRaiseTheMargin_data() {
    QTest::addColumn<int>("lateOnes");
    QTest::addColumn<double>("margin");
    // With 128 remembered wake-ups the 99 % quantile is the second latest: one outlier is let
    // through, two are covered.
    QTest::newRow("none") << 0 << 80e-6;
    QTest::newRow("one in a window") << 1 << 80e-6;
    QTest::newRow("two in a window") << 2 << 830e-6;
}

void WaitPlannerTest::rareLateWakeUpsDoNotRaiseTheMargin() {
    QFETCH(int, lateOnes);
    QFETCH(double, margin);
    WakeMargin learnt(testLimits());
    for (int i = 0; i < WakeMargin::Window; ++i) {
        learnt.addLateness(i < lateOnes ? 800e-6 : 50e-6);
    }
    QCOMPARE(learnt.samples(), WakeMargin::Window);
    QVERIFY2(qAbs(learnt.margin() - margin) < 1e-12,
             qPrintable(QStringLiteral("margin %1 us").arg(learnt.margin() * 1e6)));
}

void WaitPlannerTest::lateWakeUpsAreForgotten() {
    WakeMargin learnt(testLimits());
    learnt.addLateness(900e-6);
    learnt.addLateness(900e-6);
    for (int i = 0; i < WakeMargin::Window - 2; ++i) {
        learnt.addLateness(50e-6);
    }
    QVERIFY(learnt.margin() > 900e-6);  // still remembered
    learnt.addLateness(50e-6);
    learnt.addLateness(50e-6);
    QVERIFY(qAbs(learnt.margin() - 80e-6) < 1e-12);
}

void WaitPlannerTest::tickScheduleBeginRestarts() {
    TickSchedule schedule;
    QVERIFY(!schedule.isActive());
    schedule.begin(10.0, 0.01);
    schedule.step();
    schedule.step();
    QCOMPARE(schedule.nextIndex(), qint64(3));
    schedule.begin(20.0, 0.02);
    QCOMPARE(schedule.nextIndex(), qint64(1));
    QCOMPARE(schedule.origin(), 20.0);
    QCOMPARE(schedule.nextDue(), 20.02);
    schedule.end();
    QVERIFY(!schedule.isActive());
}

QTEST_APPLESS_MAIN(WaitPlannerTest)
#include "tst_WaitPlanner.moc"
