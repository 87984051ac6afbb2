// Opening the port: the order and arguments of the library calls, the failures that are
// reported, and the texts the user sees.
#include <QTest>

#include "device/Errors32.h"
#include "device/Wsc32.h"
#include "support/Harness.h"

namespace {

const QByteArray DarkFrame(
    "\x01"
    "00000000\r\n",
    11);

}  // namespace

class PortConnectionTest : public QObject {
    Q_OBJECT

  private slots:
    void openSequenceCallsInOrder();
    void reportedFailures_data();
    void reportedFailures();
    void unreportedFailuresStillOpen_data();
    void unreportedFailuresStillOpen();
    void openingTwiceReopensAndDarkensAgain();
    void comPortZeroGivesIndexMinusOne();
    void switchingComNumberClosesTheOldPort();
    void errorTexts_data();
    void errorTexts();
    void systemErrorTextIsCutTo120();
};

void PortConnectionTest::openSequenceCallsInOrder() {
    Harness h;
    h.settings.ComPortNumber = 3;
    h.controller->port().OpenPort();

    const QList<RecordingWsc32::Call>& calls = h.serial.calls();
    QCOMPARE(h.serial.callNames(), (QStringList{"SioDone", "SioReset", "SioBaud", "SioParms",
                                                "SioDTR", "SioRTS", "SioPuts"}));
    QCOMPARE(calls[0].args, QList<int>{2});
    QCOMPARE(calls[1].args, (QList<int>{2, 1024, 512}));
    QCOMPARE(calls[2].args, (QList<int>{2, 9}));
    // Parity none, one stop bit, eight data bits.
    QCOMPARE(calls[3].args, (QList<int>{2, 0, 0, 3}));
    QCOMPARE(calls[4].args, (QList<int>{2, 'S'}));
    QCOMPARE(calls[5].args, (QList<int>{2, 'S'}));
    QCOMPARE(calls[6].bytes, DarkFrame);
    QVERIFY(h.state.PortOpen);
    QCOMPARE(h.state.PortIndex, int16_t(2));
    QVERIFY(h.window.messages.isEmpty());
}

void PortConnectionTest::reportedFailures_data() {
    QTest::addColumn<QString>("call");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("callsMade");
    QTest::newRow("reset, no such port")
        << "SioReset" << -3 << "Cannot open COM port" << QStringList{"SioDone", "SioReset"};
    QTest::newRow("reset, port held")
        << "SioReset" << -2 << "COM port already open" << QStringList{"SioDone", "SioReset"};
    // The half-opened port is closed again, so that no frame reaches it undarkened.
    QTest::newRow("RTS") << "SioRTS" << -10 << "Hardware not present"
                         << QStringList{"SioDone", "SioReset", "SioBaud", "SioParms",
                                        "SioDTR",  "SioRTS",   "SioDone"};
}

void PortConnectionTest::reportedFailures() {
    QFETCH(QString, call);
    QFETCH(int, code);
    QFETCH(QString, message);
    QFETCH(QStringList, callsMade);
    Harness h;
    h.settings.ComPortNumber = 5;
    h.state.PortOpen = true;  // a failed open clears the flag whatever it was
    h.serial.failWith(call, code);
    h.controller->port().OpenPort();
    QCOMPARE(h.window.messages, QStringList{message});
    QVERIFY(!h.state.PortOpen);
    QCOMPARE(h.serial.callNames(), callsMade);
    QVERIFY(h.written().isEmpty());
    QCOMPARE(h.state.LastResult, int16_t(code));
    QVERIFY(!h.serial.isOpen(h.state.PortIndex));
}

void PortConnectionTest::unreportedFailuresStillOpen_data() {
    QTest::addColumn<QString>("call");
    QTest::newRow("baud") << "SioBaud";
    QTest::newRow("parms") << "SioParms";
    QTest::newRow("DTR") << "SioDTR";
    QTest::newRow("done") << "SioDone";
}

void PortConnectionTest::unreportedFailuresStillOpen() {
    QFETCH(QString, call);
    Harness h;
    h.settings.ComPortNumber = 1;
    h.serial.failWith(call, -12);
    h.controller->port().OpenPort();
    QVERIFY(h.window.messages.isEmpty());
    QVERIFY(h.state.PortOpen);
    QCOMPARE(h.written(), QList<QByteArray>{DarkFrame});
}

void PortConnectionTest::openingTwiceReopensAndDarkensAgain() {
    Harness h;
    h.settings.ComPortNumber = 2;
    h.controller->port().OpenPort();
    h.serial.clearCalls();
    h.controller->port().OpenPort();
    QCOMPARE(h.serial.callNames().mid(0, 2), (QStringList{"SioDone", "SioReset"}));
    QCOMPARE(h.serial.calls()[1].result, 0);  // closed first, so the reset succeeds
    QCOMPARE(h.delivered(), QList<QByteArray>{DarkFrame});
    QVERIFY(h.state.PortOpen);
}

void PortConnectionTest::comPortZeroGivesIndexMinusOne() {
    Harness h;
    h.settings.ComPortNumber = 0;
    h.controller->port().OpenPort();
    QCOMPARE(h.serial.calls()[1].args.first(), -1);
    QCOMPARE(h.state.PortIndex, int16_t(-1));
}

void PortConnectionTest::switchingComNumberClosesTheOldPort() {
    Harness h;
    h.settings.ComPortNumber = 3;
    h.controller->port().OpenPort();
    h.settings.ComPortNumber = 7;
    h.serial.clearCalls();
    h.controller->port().OpenPort();
    QCOMPARE(h.serial.calls()[0].name, QString("SioDone"));
    QCOMPARE(h.serial.calls()[0].args, QList<int>{2});
    QVERIFY(!h.serial.isOpen(2));
    QVERIFY(h.serial.isOpen(6));
}

void PortConnectionTest::errorTexts_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("-1") << -1 << "Invalid COM port name";
    QTest::newRow("-2") << -2 << "COM port already open";
    QTest::newRow("-3") << -3 << "Cannot open COM port";
    QTest::newRow("-4") << -4 << "Unable to allocate memory";
    QTest::newRow("-5") << -5 << "Error in default parameters";
    QTest::newRow("-10") << -10 << "Hardware not present";
    QTest::newRow("-11") << -11 << "Unsupported byte size";
    QTest::newRow("-12") << -12 << "Unsupported baud rate";
    QTest::newRow("-100") << -100 << "No data";
    QTest::newRow("-101") << -101 << "Parameter out of range";
    QTest::newRow("-105") << -105 << "Cannot allocate memory for buffers";
    QTest::newRow("-106") << -106 << "Cannot start thread";
    QTest::newRow("unlisted negative") << -7 << "Error code -7";
    QTest::newRow("unlisted -104") << -104 << "Error code -104";
    QTest::newRow("non-negative") << 5 << "Error code  5";
    QTest::newRow("zero") << 0 << "Error code  0";
    QTest::newRow("system error") << -103 << "Access is denied.";
}

void PortConnectionTest::errorTexts() {
    QFETCH(int, code);
    QFETCH(QString, text);
    RecordingWsc32 library;
    library.setWinError(QStringLiteral("Access is denied."));
    QCOMPARE(SerialErrorText(static_cast<int16_t>(code), library), text);
}

void PortConnectionTest::systemErrorTextIsCutTo120() {
    RecordingWsc32 library;
    library.setWinError(QString(300, QLatin1Char('x')));
    QCOMPARE(SerialErrorText(-103, library).size(), 120);
    QCOMPARE(library.calls().last().args, QList<int>{120});
}

QTEST_GUILESS_MAIN(PortConnectionTest)
#include "tst_PortConnection.moc"
