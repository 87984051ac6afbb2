// When a lost device is looked for and where, on a clock the test moves.
#include <QTest>

#include "device/Reconnection.h"

class ReconnectionTest : public QObject {
    Q_OBJECT

  private slots:
    void looks_data();
    void looks();
};

void ReconnectionTest::looks_data() {
    // Each step is "<time> <event>": w a frame written while the device is away (the result
    // of lookDue is recorded), l the loss seen at a failing write, b the device back.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("looks");  // one letter a written frame: L looked, - did not
    QTest::newRow("loss noticed at a write, first look an interval later")
        << QStringList{"0 w", "0.1 w", "0.19 w", "0.2 w", "0.3 w", "0.4 w"} << "---L-L";
    QTest::newRow("loss seen at a failing write")
        << QStringList{"1 l", "1.1 w", "1.2 w", "1.2 w"} << "-L-";
    QTest::newRow("a second loss before the device is back changes nothing")
        << QStringList{"0 l", "0.15 l", "0.2 w"} << "L";
    QTest::newRow("a long gap between frames gives one look, not several")
        << QStringList{"0 l", "5 w", "5 w", "5.1 w", "5.2 w"} << "L--L";
    QTest::newRow("back, then lost again: the interval starts anew")
        << QStringList{"0 l", "0.2 w", "0.25 b", "0.3 l", "0.45 w", "0.5 w"} << "L-L";
}

void ReconnectionTest::looks() {
    QFETCH(QStringList, steps);
    QFETCH(QString, looks);
    double now = 0;
    Reconnection reconnection([&now] { return now; }, 0.2);
    QString seen;
    for (const QString& step : steps) {
        const QStringList parts = step.split(' ');
        now = parts[0].toDouble();
        if (parts[1] == QLatin1String("w")) {
            seen += reconnection.lookDue() ? QLatin1Char('L') : QLatin1Char('-');
        } else if (parts[1] == QLatin1String("l")) {
            reconnection.deviceLost();
        } else {
            reconnection.deviceBack();
            QVERIFY(!reconnection.isLost());
        }
    }
    QCOMPARE(seen, looks);
}

QTEST_GUILESS_MAIN(ReconnectionTest)
#include "tst_Reconnection.moc"
