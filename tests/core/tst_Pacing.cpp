// The due time of the next frame of a paced effect.
#include <QTest>
#include <cmath>

#include "core/Pacing.h"

class PacingTest : public QObject {
    Q_OBJECT

  private slots:
    void nextDue_data();
    void nextDue();
};

void PacingTest::nextDue_data() {
    QTest::addColumn<double>("previousDue");
    QTest::addColumn<double>("now");
    QTest::addColumn<double>("due");
    const double step = 0.0025;
    QTest::newRow("first frame counts from now") << std::nan("") << 10.0 << 10.0 + step;
    // The write took 12 microseconds: the pace keeps to the step, not step plus write time.
    QTest::newRow("write time is not added") << 10.0 << 10.000012 << 10.0 + step;
    QTest::newRow("late by less than a step") << 10.0 << 10.002 << 10.0 + step;
    QTest::newRow("stalled a whole step: start again") << 10.0 << 10.003 << 10.003 + step;
    QTest::newRow("long stall sends no burst") << 10.0 << 11.0 << 11.0 + step;
}

void PacingTest::nextDue() {
    QFETCH(double, previousDue);
    QFETCH(double, now);
    QFETCH(double, due);
    QCOMPARE(Pacing::nextDue(previousDue, now, 0.0025), due);
}

QTEST_GUILESS_MAIN(PacingTest)
#include "tst_Pacing.moc"
