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

// The margin's bounds as a WakeMargin made without limits uses them.
const WakeMargin::Limits Defaults;

}  // namespace

class WaitPlannerTest : public QObject {
    Q_OBJECT

  private slots:
    void aWaitEndsOnItsDeadline_data();
    void aWaitEndsOnItsDeadline();
    void waitsWithoutAnEnd();
    void marginFollowsLateness_data();
    void marginFollowsLateness();
    void rareLateWakeUpsDoNotRaiseTheMargin_data();
    void rareLateWakeUpsDoNotRaiseTheMargin();
    void lateWakeUpsAreForgotten();
    void tickScheduleBeginRestarts();
};

void WaitPlannerTest::aWaitEndsOnItsDeadline_data() {
    QTest::addColumn<double>("length");  // seconds from the start to the deadline
    QTest::addColumn<double>("margin");
    QTest::newRow("a frame period ahead") << 0.0125 << 300e-6;
    QTest::newRow("within the margin") << 200e-6 << 300e-6;
    QTest::newRow("just past the margin") << 300e-6 + WaitPlanner::MinimumBlock / 2 << 300e-6;
    QTest::newRow("in the final stretch") << WaitPlanner::FinalStretch / 2 << 300e-6;
    QTest::newRow("no margin") << 0.001 << 0.0;
    QTest::newRow("deadline passed") << -0.1 << 300e-6;
    QTest::newRow("no deadline (NaN)") << NaN << 300e-6;
}

// Follows a wait step by step as the clock pump does: a block wakes at its alarm, a poll costs a
// microsecond, a finish reads the clock up to the deadline. The wait must end on its deadline,
// block only until the margin before it and for no less than is worth an alarm, and poll only
// the margin.
void WaitPlannerTest::aWaitEndsOnItsDeadline() {
    QFETCH(double, length);
    QFETCH(double, margin);
    const double start = 10.0;
    const double deadline = start + length;
    constexpr double PollCost = 1e-6;
    double now = start;
    double polled = 0;
    for (int steps = 0;; ++steps) {
        QVERIFY(steps < 100000);
        const WaitPlanner::Step step = WaitPlanner::next(now, deadline, margin);
        if (step.kind == Kind::Done) {
            break;
        }
        QVERIFY(now < deadline);
        if (step.kind == Kind::Block) {
            QVERIFY(step.wakeAt <= deadline - margin + 1e-12);
            QVERIFY(step.wakeAt - now >= WaitPlanner::MinimumBlock - 1e-12);
            now = step.wakeAt;
        } else if (step.kind == Kind::Poll) {
            QVERIFY(deadline - now > WaitPlanner::FinalStretch);
            now += PollCost;
            polled += PollCost;
        } else {
            QVERIFY(deadline - now <= WaitPlanner::FinalStretch + 1e-12);
            polled += deadline - now;
            now = deadline;
        }
    }
    if (!(deadline > start)) {
        QCOMPARE(now, start);  // nothing to wait for
        return;
    }
    QVERIFY(now >= deadline && now - deadline < PollCost + 1e-12);
    QVERIFY2(polled <= margin + WaitPlanner::MinimumBlock + PollCost,
             qPrintable(QStringLiteral("polled %1 us").arg(polled * 1e6)));
}

void WaitPlannerTest::waitsWithoutAnEnd() {
    const WaitPlanner::Step step = WaitPlanner::next(10.0, Inf, 300e-6);
    QCOMPARE(step.kind, Kind::Block);
    QCOMPARE(step.wakeAt, Inf);
}

void WaitPlannerTest::marginFollowsLateness_data() {
    QTest::addColumn<QList<double>>("lateness");
    QTest::addColumn<double>("margin");

    const double headroom = Defaults.headroom;
    QTest::newRow("nothing learnt yet") << QList<double>{} << Defaults.initial;
    QTest::newRow("one wake-up sets it") << QList<double>{400e-6} << 400e-6 + headroom;
    QTest::newRow("steady lateness plus headroom") << QList<double>(200, 50e-6) << 50e-6 + headroom;
    QTest::newRow("prompt wake-ups keep the floor") << QList<double>(50, 0.0) << Defaults.floor;
    QTest::newRow("early wake-ups keep the floor") << QList<double>(50, -500e-6) << Defaults.floor;
    QTest::newRow("very late wake-ups stop at the ceiling")
        << QList<double>(50, 10e-3) << Defaults.ceiling;
    QTest::newRow("NaN is ignored") << QList<double>{NaN, NaN} << Defaults.initial;
    QTest::newRow("a few wake-ups: the latest counts")
        << QList<double>{40e-6, 120e-6, 60e-6} << 120e-6 + headroom;
}

void WaitPlannerTest::marginFollowsLateness() {
    QFETCH(QList<double>, lateness);
    QFETCH(double, margin);
    WakeMargin learnt;
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
    QTest::newRow("none") << 0 << 50e-6 + Defaults.headroom;
    QTest::newRow("one in a window") << 1 << 50e-6 + Defaults.headroom;
    QTest::newRow("two in a window") << 2 << 800e-6 + Defaults.headroom;
}

void WaitPlannerTest::rareLateWakeUpsDoNotRaiseTheMargin() {
    QFETCH(int, lateOnes);
    QFETCH(double, margin);
    WakeMargin learnt;
    for (int i = 0; i < WakeMargin::Window; ++i) {
        learnt.addLateness(i < lateOnes ? 800e-6 : 50e-6);
    }
    QCOMPARE(learnt.samples(), WakeMargin::Window);
    QVERIFY2(qAbs(learnt.margin() - margin) < 1e-12,
             qPrintable(QStringLiteral("margin %1 us").arg(learnt.margin() * 1e6)));
}

void WaitPlannerTest::lateWakeUpsAreForgotten() {
    WakeMargin learnt;
    learnt.addLateness(900e-6);
    learnt.addLateness(900e-6);
    for (int i = 0; i < WakeMargin::Window - 2; ++i) {
        learnt.addLateness(50e-6);
    }
    QVERIFY(learnt.margin() > 900e-6);  // still remembered
    learnt.addLateness(50e-6);
    learnt.addLateness(50e-6);
    QVERIFY(qAbs(learnt.margin() - (50e-6 + Defaults.headroom)) < 1e-12);
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
