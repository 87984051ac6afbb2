// The flash timer on the real event loop, both tick strategies: when it ticks and keeps its
// phase, that ticks never come before their due time, and handlers that stop the timer, set
// the same interval again or wait inside a tick.
#include <QEventLoop>
#include <QTest>
#include <QTimer>

#include "core/QtClockPump.h"
#include "core/QtFlashTimer.h"

using Strategy = QtFlashTimer::Strategy;
Q_DECLARE_METATYPE(Strategy)

namespace {

// Runs the event loop until quit() is called on it, or for at most two seconds.
class Loop {
  public:
    Loop() { QTimer::singleShot(2000, &m_loop, &QEventLoop::quit); }
    void run() { m_loop.exec(); }
    void quit() { m_loop.quit(); }

  private:
    QEventLoop m_loop;
};

// Handles events for the given seconds.
void handleEventsFor(double seconds) {
    QtClockPump pump(QtClockPump::Strategy::BlockThenPoll);
    pump.waitUntil(pump.now() + seconds, [] { return true; });
}

// Applies one operation written as "i<ms>" (setInterval) or "e0"/"e1" (setEnabled).
void apply(QtFlashTimer& timer, const QString& operation) {
    const int value = operation.mid(1).toInt();
    if (operation.startsWith(QLatin1Char('i'))) {
        timer.setInterval(value);
    } else {
        timer.setEnabled(value != 0);
    }
}

}  // namespace

class QtFlashTimerTest : public QObject {
    Q_OBJECT

  private slots:
    void tickingAndPhase_data();
    void tickingAndPhase();
    void ticksAreNeverEarly_data();
    void ticksAreNeverEarly();
    void stopFromATick_data();
    void stopFromATick();
    void sameIntervalFromATickKeepsThePhase_data();
    void sameIntervalFromATickKeepsThePhase();
    void waitInsideATick_data();
    void waitInsideATick();
    void heldBackTicksAllComeBeforePrecisionReturns_data();
    void heldBackTicksAllComeBeforePrecisionReturns();

  private:
    void addStrategies();
};

void QtFlashTimerTest::addStrategies() {
    QTest::addColumn<Strategy>("strategy");
    QTest::newRow("Qt precise") << Strategy::QtPrecise;
    QTest::newRow("scheduled") << Strategy::Scheduled;
}

void QtFlashTimerTest::tickingAndPhase_data() {
    QTest::addColumn<Strategy>("strategy");
    QTest::addColumn<QStringList>("operations");
    QTest::addColumn<bool>("ticking");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<int>("interval");
    // The operation after which the phase was last started, or -1 for none.
    QTest::addColumn<int>("phaseFrom");

    struct Case {
        const char* name;
        QStringList operations;
        bool ticking;
        bool enabled;
        int interval;
        int phaseFrom;
    };
    const QList<Case> cases = {
        {"new timer: enabled, interval 0, silent", {}, false, true, 0, -1},
        {"an interval starts it", {"i50"}, true, true, 50, 0},
        {"the same interval keeps the phase", {"i50", "i50"}, true, true, 50, 0},
        {"enabling it again keeps the phase", {"i50", "e1"}, true, true, 50, 0},
        {"another interval starts a new phase", {"i50", "i20"}, true, true, 20, 1},
        {"interval 0 stops it, still enabled", {"i50", "i0"}, false, true, 0, -1},
        {"a new interval after 0 restarts it", {"i50", "i0", "i50"}, true, true, 50, 2},
        {"disabling keeps the interval", {"i50", "e0"}, false, false, 50, -1},
        {"an interval while disabled does not start it", {"e0", "i50"}, false, false, 50, -1},
        {"enabling starts it with a new phase", {"i50", "e0", "e1"}, true, true, 50, 2},
        {"interval 0 then enabling stays silent", {"i50", "i0", "e0", "e1"}, false, true, 0, -1},
    };
    for (Strategy strategy : {Strategy::QtPrecise, Strategy::Scheduled}) {
        for (const Case& c : cases) {
            QTest::addRow("%s: %s", strategy == Strategy::QtPrecise ? "Qt precise" : "scheduled",
                          c.name)
                << strategy << c.operations << c.ticking << c.enabled << c.interval << c.phaseFrom;
        }
    }
}

void QtFlashTimerTest::tickingAndPhase() {
    QFETCH(Strategy, strategy);
    QFETCH(QStringList, operations);
    QFETCH(bool, ticking);
    QFETCH(bool, enabled);
    QFETCH(int, interval);
    QFETCH(int, phaseFrom);

    QtFlashTimer timer(strategy);
    QList<double> phases;
    for (const QString& operation : operations) {
        apply(timer, operation);
        phases << (timer.isTicking() ? timer.phaseStart() : 0.0);
    }
    QCOMPARE(timer.isTicking(), ticking);
    QCOMPARE(timer.isEnabled(), enabled);
    QCOMPARE(timer.interval(), interval);
    if (phaseFrom >= 0) {
        QCOMPARE(timer.phaseStart(), phases[phaseFrom]);
        // Started by that operation, not earlier.
        if (phaseFrom > 0) {
            QVERIFY(timer.phaseStart() != phases[phaseFrom - 1]);
        }
    }
}

void QtFlashTimerTest::ticksAreNeverEarly_data() {
    addStrategies();
}

void QtFlashTimerTest::ticksAreNeverEarly() {
    QFETCH(Strategy, strategy);
#ifdef Q_OS_WIN
    // Qt's precise timer on Windows is the system's multimedia timer, whose ticks keep no grid
    // and may come a fraction of a millisecond early; only the scheduled ticks promise this.
    if (strategy == Strategy::QtPrecise) {
        QSKIP("Qt's precise timer keeps no grid on Windows");
    }
#endif
    QtFlashTimer timer(strategy);
    Loop loop;
    QList<double> ticks;
    timer.setTickHandler([&] {
        ticks << steadySeconds();
        if (ticks.size() == 10) {
            timer.setInterval(0);
            loop.quit();
        }
    });
    timer.setInterval(2);
    const double phase = timer.phaseStart();
    loop.run();

    QCOMPARE(ticks.size(), 10);
    for (int k = 1; k <= ticks.size(); ++k) {
        // Tick k is due at phase + k intervals; a missed one only makes the later ones later.
        const double due = phase + k * 2e-3;
        QVERIFY2(ticks[k - 1] >= due,
                 qPrintable(
                     QStringLiteral("tick %1 %2 us early").arg(k).arg((due - ticks[k - 1]) * 1e6)));
    }
}

void QtFlashTimerTest::stopFromATick_data() {
    addStrategies();
}

void QtFlashTimerTest::stopFromATick() {
    // The tick that finds StopFlashing set sets the interval to 0: no tick follows.
    QFETCH(Strategy, strategy);
    QtFlashTimer timer(strategy);
    int ticks = 0;
    timer.setTickHandler([&] {
        ++ticks;
        timer.setInterval(0);
    });
    timer.setInterval(1);
    handleEventsFor(15e-3);
    QCOMPARE(ticks, 1);
    QVERIFY(!timer.isTicking());
    QVERIFY(timer.isEnabled());
}

void QtFlashTimerTest::sameIntervalFromATickKeepsThePhase_data() {
    addStrategies();
}

void QtFlashTimerTest::sameIntervalFromATickKeepsThePhase() {
    // Choosing the running rate again while it flashes changes nothing.
    QFETCH(Strategy, strategy);
    QtFlashTimer timer(strategy);
    Loop loop;
    int ticks = 0;
    timer.setTickHandler([&] {
        timer.setInterval(2);
        if (++ticks == 5) {
            loop.quit();
        }
    });
    timer.setInterval(2);
    const double phase = timer.phaseStart();
    loop.run();
    QCOMPARE(ticks, 5);
    QVERIFY(timer.isTicking());
    QCOMPARE(timer.phaseStart(), phase);
}

void QtFlashTimerTest::waitInsideATick_data() {
    addStrategies();
}

void QtFlashTimerTest::waitInsideATick() {
    // A paced wait started from inside a tick (its own alarm and the timer's are both
    // watched by the same event loop) ends at its deadline, and the ticks go on afterwards.
    QFETCH(Strategy, strategy);
    QtFlashTimer timer(strategy);
    QtClockPump pump(QtClockPump::Strategy::BlockThenPoll);
    Loop loop;
    int ticks = 0;
    double deadline = 0;
    double ended = 0;
    timer.setTickHandler([&] {
        if (++ticks == 1) {
            deadline = pump.now() + 4e-3;
            pump.waitUntil(deadline, [] { return true; });
            ended = pump.now();
        }
        if (ticks == 4) {
            timer.setInterval(0);
            loop.quit();
        }
    });
    timer.setInterval(1);
    loop.run();
    QCOMPARE(ticks, 4);
    QVERIFY(deadline > 0);
    QVERIFY(ended >= deadline);
}

void QtFlashTimerTest::heldBackTicksAllComeBeforePrecisionReturns_data() {
    QTest::addColumn<int>("stopAt");  // the tick whose handler stops the timer; 0 for none
    QTest::newRow("every tick due is delivered") << 0;
    QTest::newRow("a handler that stops the timer ends the delivery") << 3;
}

void QtFlashTimerTest::heldBackTicksAllComeBeforePrecisionReturns() {
    // While no frame can reach the device, 5 ms ticks are held back for up to a second; when
    // precision is wanted again, every tick due so far comes first, in order, and the next
    // one is exact again.
    QFETCH(int, stopAt);
    QtFlashTimer timer(Strategy::Scheduled);
    bool wanted = false;
    timer.setPrecisionWanted([&wanted] { return wanted; });
    int ticks = 0;
    timer.setTickHandler([&] {
        if (++ticks == stopAt) {
            timer.setInterval(0);
        }
    });
    timer.setInterval(5);
    const double phase = timer.phaseStart();
    QVERIFY(!timer.nextTickPrecise());
    QVERIFY(timer.nextWake() >= phase + QtFlashTimer::RelaxedPeriod);
    handleEventsFor(0.1);

    wanted = true;
    timer.refreshPrecision();
    const double now = steadySeconds();
    if (stopAt > 0) {
        QCOMPARE(ticks, stopAt);
        QVERIFY(!timer.isTicking());
        return;
    }
    QVERIFY2(ticks >= 20 && ticks <= int((now - phase) / 0.005),
             qPrintable(QStringLiteral("%1 ticks").arg(ticks)));
    QVERIFY(timer.nextTickPrecise());
    QVERIFY(qAbs(timer.nextWake() - (phase + (ticks + 1) * 0.005 - timer.wakeMargin())) < 1e-9);
}

QTEST_GUILESS_MAIN(QtFlashTimerTest)
#include "tst_QtFlashTimer.moc"
