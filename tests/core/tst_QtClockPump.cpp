// The real clock and event pump, both wait strategies: which events a wait handles, when it
// tests its condition, that it never ends before its deadline, and nested waits. Nothing here
// measures how late a wait ends; the frame_timing benchmark does that.
#include <QTest>
#include <QTimer>
#include <thread>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

#include "core/DeadlineAlarm.h"
#include "core/QtClockPump.h"

using Strategy = QtClockPump::Strategy;
Q_DECLARE_METATYPE(Strategy)

namespace {

// Queues a call for the event loop, as a click or a tick would arrive.
void post(std::function<void()> call) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(call), Qt::QueuedConnection);
}

// Whether this Windows program runs under Wine, whose ntdll has a function of its own.
bool runningUnderWine() {
#ifdef Q_OS_WIN
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
#else
    return false;
#endif
}

// A wait of an hour: a test ending it any other way than by its condition would time out.
constexpr double Hour = 3600.0;

}  // namespace

class QtClockPumpTest : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void passedDeadlineHandlesNoEvents_data();
    void passedDeadlineHandlesNoEvents();
    void falseConditionHandlesNoEvents_data();
    void falseConditionHandlesNoEvents();
    void conditionIsTestedAfterEachBatch_data();
    void conditionIsTestedAfterEachBatch();
    void laterEventsWakeTheWait_data();
    void laterEventsWakeTheWait();
    void neverEndsBeforeTheDeadline_data();
    void neverEndsBeforeTheDeadline();
    void nestedWaits_data();
    void nestedWaits();

  private:
    void addStrategies();
};

void QtClockPumpTest::init() {
    // Nothing left over from an earlier test.
    QCoreApplication::processEvents();
}

void QtClockPumpTest::addStrategies() {
    QTest::addColumn<Strategy>("strategy");
    QTest::newRow("polling") << Strategy::Polling;
    QTest::newRow("block then poll") << Strategy::BlockThenPoll;
}

void QtClockPumpTest::passedDeadlineHandlesNoEvents_data() {
    addStrategies();
}

void QtClockPumpTest::passedDeadlineHandlesNoEvents() {
    QFETCH(Strategy, strategy);
    QtClockPump pump(strategy);
    bool handled = false;
    int tests = 0;
    post([&] { handled = true; });
    pump.waitUntil(pump.now() - 0.001, [&] {
        ++tests;
        return true;
    });
    QVERIFY(!handled);
    QCOMPARE(tests, 0);  // the clock is tested first
    QCoreApplication::processEvents();
    QVERIFY(handled);
}

void QtClockPumpTest::falseConditionHandlesNoEvents_data() {
    addStrategies();
}

void QtClockPumpTest::falseConditionHandlesNoEvents() {
    QFETCH(Strategy, strategy);
    QtClockPump pump(strategy);
    bool handled = false;
    int tests = 0;
    post([&] { handled = true; });
    pump.waitUntil(pump.now() + Hour, [&] {
        ++tests;
        return false;
    });
    QVERIFY(!handled);
    QCOMPARE(tests, 1);
}

void QtClockPumpTest::conditionIsTestedAfterEachBatch_data() {
    addStrategies();
}

void QtClockPumpTest::conditionIsTestedAfterEachBatch() {
    // End Program arrives as an event: the wait sees the cleared flag right after it.
    QFETCH(Strategy, strategy);
    QtClockPump pump(strategy);
    QStringList log;
    bool running = true;
    post([&] {
        log << QStringLiteral("event");
        running = false;
    });
    const double deadline = pump.now() + Hour;
    pump.waitUntil(deadline, [&] {
        log << QStringLiteral("test");
        return running;
    });
    QCOMPARE(log, (QStringList{QStringLiteral("test"), QStringLiteral("event"),
                               QStringLiteral("test")}));
    QVERIFY(pump.now() < deadline);
}

void QtClockPumpTest::laterEventsWakeTheWait_data() {
    QTest::addColumn<Strategy>("strategy");
    QTest::addColumn<bool>("fromThread");
    QTest::newRow("polling, timer event") << Strategy::Polling << false;
    QTest::newRow("polling, event from a thread") << Strategy::Polling << true;
    QTest::newRow("block then poll, timer event") << Strategy::BlockThenPoll << false;
    QTest::newRow("block then poll, event from a thread") << Strategy::BlockThenPoll << true;
}

void QtClockPumpTest::laterEventsWakeTheWait() {
    // Events that come while the wait is under way (a click, a tick) are handled during it,
    // however far off its deadline is.
    QFETCH(Strategy, strategy);
    QFETCH(bool, fromThread);
    if (strategy == Strategy::BlockThenPoll && runningUnderWine()) {
        // Wine's event loop often sleeps on through a timer's event or an event posted from
        // another thread (a wait of an hour would then time the test out), with either alarm.
        QSKIP("Wine does not always wake a waiting event loop for a new event");
    }
    QtClockPump pump(strategy);
    bool running = true;
    std::thread poster;
    if (fromThread) {
        poster = std::thread([&running] { post([&running] { running = false; }); });
    } else {
        QTimer::singleShot(2, [&running] { running = false; });
    }
    const double deadline = pump.now() + Hour;
    pump.waitUntil(deadline, [&] { return running; });
    if (poster.joinable()) {
        poster.join();
    }
    QVERIFY(!running);
    QVERIFY(pump.now() < deadline);
}

void QtClockPumpTest::neverEndsBeforeTheDeadline_data() {
    QTest::addColumn<Strategy>("strategy");
    QTest::addColumn<double>("wait");
    for (const auto& [name, strategy] : {std::pair{"polling", Strategy::Polling},
                                         std::pair{"block then poll", Strategy::BlockThenPoll}}) {
        for (double wait : {20e-6, 200e-6, 1e-3, 4e-3}) {
            QTest::addRow("%s, %g ms", name, wait * 1e3) << strategy << wait;
        }
    }
}

void QtClockPumpTest::neverEndsBeforeTheDeadline() {
    QFETCH(Strategy, strategy);
    QFETCH(double, wait);
    QtClockPump pump(strategy);
    for (int i = 0; i < 5; ++i) {
        const double deadline = pump.now() + wait;
        pump.waitUntil(deadline, [] { return true; });
        const double ended = pump.now();
        QVERIFY2(ended >= deadline,
                 qPrintable(QStringLiteral("%1 us early").arg((deadline - ended) * 1e6)));
    }
}

void QtClockPumpTest::nestedWaits_data() {
    QTest::addColumn<Strategy>("strategy");
    QTest::addColumn<double>("outerWait");
    QTest::addColumn<double>("innerWait");
    QTest::newRow("polling, inner ends first") << Strategy::Polling << 8e-3 << 2e-3;
    QTest::newRow("polling, inner outlasts outer") << Strategy::Polling << 2e-3 << 6e-3;
    QTest::newRow("block then poll, inner ends first") << Strategy::BlockThenPoll << 8e-3 << 2e-3;
    QTest::newRow("block then poll, inner outlasts outer")
        << Strategy::BlockThenPoll << 2e-3 << 6e-3;
}

void QtClockPumpTest::nestedWaits() {
    // A handler that runs inside a wait starts an effect with waits of its own (Spin clicked
    // during a program). The inner wait ends at its deadline, then the outer one goes on and
    // ends at its own, or at once if that has passed meanwhile.
    QFETCH(Strategy, strategy);
    QFETCH(double, outerWait);
    QFETCH(double, innerWait);
    QtClockPump pump(strategy);
    double innerDeadline = 0;
    double innerEnded = 0;
    post([&] {
        innerDeadline = pump.now() + innerWait;
        pump.waitUntil(innerDeadline, [] { return true; });
        innerEnded = pump.now();
    });
    const double outerDeadline = pump.now() + outerWait;
    pump.waitUntil(outerDeadline, [] { return true; });
    const double outerEnded = pump.now();

    QVERIFY(innerDeadline > 0);
    QVERIFY(innerEnded >= innerDeadline);
    QVERIFY(outerEnded >= outerDeadline);
    QVERIFY(outerEnded >= innerEnded);
}

QTEST_GUILESS_MAIN(QtClockPumpTest)
#include "tst_QtClockPump.moc"
