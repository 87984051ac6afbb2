// Real-time scheduling is taken only where granted, and always given back as it was.
#include <QTest>

#include "core/RealtimePriority.h"

#ifdef Q_OS_LINUX
#include <sched.h>
#endif

class RealtimePriorityTest : public QObject {
    Q_OBJECT

  private slots:
    void raisedAndRestored();
};

void RealtimePriorityTest::raisedAndRestored() {
#ifndef Q_OS_LINUX
    QSKIP("real-time scheduling is taken on Linux only");
#else
    const int before = ::sched_getscheduler(0);
    {
        RealtimePriority priority;
        priority.setRaised(true);
        priority.setRaised(true);  // asked twice: one change
        if (priority.isRaised()) {
            QCOMPARE(::sched_getscheduler(0) & ~SCHED_RESET_ON_FORK, SCHED_FIFO);
            sched_param param{};
            QCOMPARE(::sched_getparam(0, &param), 0);
            QVERIFY(param.sched_priority >= 1 &&
                    param.sched_priority <= RealtimePriority::Priority);
        } else {
            QCOMPARE(::sched_getscheduler(0), before);
        }
        priority.setRaised(false);
        QVERIFY(!priority.isRaised());
        QCOMPARE(::sched_getscheduler(0), before);
        priority.setRaised(true);
    }
    // Going out of scope gives it back as well.
    QCOMPARE(::sched_getscheduler(0), before);
#endif
}

QTEST_GUILESS_MAIN(RealtimePriorityTest)
#include "tst_RealtimePriority.moc"
