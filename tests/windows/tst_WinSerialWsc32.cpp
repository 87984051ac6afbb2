// The Windows serial library under Wine, on pseudo-terminals that tests/windows/host/pty-rig
// links as COM ports: frames go out whole or are refused with a negative code, failures carry
// the system's text, and a device that goes away is seen at the next write and taken up again
// when it is back.
#include <QFile>
#include <QtTest>

#include "serial/WinSerialWsc32.h"

namespace {

// The COM ports the rig provides (see tests/windows/CMakeLists.txt), and one it does not.
constexpr int FramesCom = 21;
constexpr int LossCom = 22;
constexpr int MissingCom = 250;
constexpr int WaitMs = 20000;

const QByteArray Frame = '\x01' + QByteArray("00FF0000\r\n");

enum Call { Reset, Baud, Parms, Dtr, Rts, Puts, Done };

int call(Wsc32& wsc, Call which, int port) {
    switch (which) {
        case Reset:
            return wsc.SioReset(port, SioArg::RxQueue, SioArg::TxQueue);
        case Baud:
            return wsc.SioBaud(port, SioArg::Baud115200);
        case Parms:
            return wsc.SioParms(port, SioArg::NoParity, SioArg::OneStopBit, SioArg::DataBits8);
        case Dtr:
            return wsc.SioDTR(port, SioArg::SetLine);
        case Rts:
            return wsc.SioRTS(port, SioArg::SetLine);
        case Puts:
            return wsc.SioPuts(port, Frame.constData(), int(Frame.size()));
        case Done:
            return wsc.SioDone(port);
    }
    return 0;
}

// The rig's state folder, through Wine's Z: drive.
QString stateFile(int com, const char* suffix) {
    return QStringLiteral("Z:%1/com%2.%3")
        .arg(qEnvironmentVariable("ORLESSE_RIG_STATE"))
        .arg(com)
        .arg(QLatin1String(suffix));
}

QByteArray arrived(int com) {
    QFile file(stateFile(com, "bytes"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void request(int com, const char* what) {
    QFile file(stateFile(com, what));
    QVERIFY(file.open(QIODevice::WriteOnly));
}

}  // namespace

class TestWinSerialWsc32 : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase() {
        QVERIFY2(!qEnvironmentVariableIsEmpty("ORLESSE_RIG_STATE"),
                 "run under tests/windows/host/pty-rig");
    }

    void portMustBeValidAndOpen_data() {
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("which");
        QTest::addColumn<int>("expected");
        const QList<std::pair<const char*, Call>> calls{
            {"reset", Reset}, {"baud", Baud}, {"parms", Parms}, {"dtr", Dtr},
            {"rts", Rts},     {"puts", Puts}, {"done", Done}};
        for (const auto& [name, which] : calls) {
            for (int port : {-1, 256})
                QTest::addRow("%s on index %d", name, port) << port << int(which) << -1;
            if (which != Reset)
                QTest::addRow("%s on a closed port", name)
                    << FramesCom - 1 << int(which) << (which == Done ? 0 : -3);
        }
    }

    void portMustBeValidAndOpen() {
        QFETCH(int, port);
        QFETCH(int, which);
        QFETCH(int, expected);
        WinSerialWsc32 wsc;
        QCOMPARE(call(wsc, Call(which), port), expected);
    }

    void missingPortNamesItself() {
        WinSerialWsc32 wsc;
        QCOMPARE(call(wsc, Reset, MissingCom - 1), SioCode::SystemError);
        const QString text = wsc.SioWinError(1000);
        QVERIFY2(text.startsWith(QStringLiteral("COM250 does not exist: ")), qPrintable(text));
        QCOMPARE(wsc.SioWinError(7), text.left(7));
        QCOMPARE(call(wsc, Puts, MissingCom - 1), SioCode::CannotOpen);
    }

    void settingsAndTheirRefusals_data() {
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("parity");
        QTest::addColumn<int>("stopBits");
        QTest::addColumn<int>("dataBits");
        QTest::addColumn<int>("baudCode");
        QTest::addColumn<int>("parmsCode");
        QTest::newRow("115200 8N1") << 9 << 0 << 0 << 3 << 0 << 0;
        QTest::newRow("110 7O2") << 0 << 1 << 2 << 2 << 0 << 0;
        QTest::newRow("baud code 10") << 10 << 0 << 0 << 3 << -12 << 0;
        QTest::newRow("data-bits code 4") << 9 << 0 << 0 << 4 << 0 << -11;
        QTest::newRow("parity code 5") << 9 << 5 << 0 << 3 << 0 << -101;
        QTest::newRow("stop-bits code 3") << 9 << 0 << 3 << 3 << 0 << -101;
    }

    void settingsAndTheirRefusals() {
        QFETCH(int, baud);
        QFETCH(int, parity);
        QFETCH(int, stopBits);
        QFETCH(int, dataBits);
        QFETCH(int, baudCode);
        QFETCH(int, parmsCode);
        WinSerialWsc32 wsc;
        const int port = FramesCom - 1;
        QCOMPARE(call(wsc, Reset, port), 0);
        QCOMPARE(call(wsc, Reset, port), SioCode::AlreadyOpen);
        QCOMPARE(wsc.SioBaud(port, baud), baudCode);
        QCOMPARE(wsc.SioParms(port, parity, stopBits, dataBits), parmsCode);
        QCOMPARE(wsc.SioDTR(port, 'X'), SioCode::OutOfRange);
        // A refused setting leaves the port working.
        const QByteArray before = arrived(FramesCom);
        QCOMPARE(call(wsc, Puts, port), int(Frame.size()));
        QTRY_COMPARE_WITH_TIMEOUT(arrived(FramesCom), before + Frame, WaitMs);
    }

    void modemLinesOfATerminal() {
        // A pseudo-terminal has no modem lines: Wine refuses the request, and the library says
        // so with the system's text instead of claiming the line is set.
        WinSerialWsc32 wsc;
        const int port = FramesCom - 1;
        QCOMPARE(call(wsc, Reset, port), 0);
        const int code = call(wsc, Rts, port);
        if (qEnvironmentVariableIsSet("ORLESSE_MODEM_LINES")) {
            QCOMPARE(code, 0);
            return;
        }
        QCOMPARE(code, SioCode::SystemError);
        const QString text = wsc.SioWinError(SioArg::WinErrorSize);
        QVERIFY2(text.endsWith(QStringLiteral(": COM21")) && text.size() > 8, qPrintable(text));
    }

    void framesGoOutWhole_data() {
        QTest::addColumn<QList<QByteArray>>("frames");
        QTest::newRow("one frame") << QList<QByteArray>{Frame};
        QTest::newRow("frames in order") << QList<QByteArray>{
            Frame, '\x02' + QByteArray("80FF8800\r\n"), '\x01' + QByteArray("00000000\r\n")};
        // No translation of line ends, no flow-control characters taken, all 8 bits.
        QTest::newRow("control and high bytes")
            << QList<QByteArray>{QByteArray("\x11\x13\r\n\x00\xff\x80", 7)};
    }

    void framesGoOutWhole() {
        QFETCH(QList<QByteArray>, frames);
        WinSerialWsc32 wsc;
        const int port = FramesCom - 1;
        QCOMPARE(call(wsc, Reset, port), 0);
        QCOMPARE(call(wsc, Parms, port), 0);
        const QByteArray before = arrived(FramesCom);
        QByteArray all;
        for (const QByteArray& frame : frames) {
            QCOMPARE(wsc.SioPuts(port, frame.constData(), int(frame.size())), int(frame.size()));
            all += frame;
        }
        QTRY_COMPARE_WITH_TIMEOUT(arrived(FramesCom), before + all, WaitMs);
        // More than the transmit queue at once is refused whole.
        const QByteArray big(SioArg::TxQueue + 1, 'x');
        QCOMPARE(wsc.SioPuts(port, big.constData(), int(big.size())), SioCode::OutOfRange);
        QCOMPARE(wsc.SioPuts(port, nullptr, 11), SioCode::OutOfRange);
        QCOMPARE(wsc.SioPuts(port, nullptr, 0), 0);
        QCOMPARE(arrived(FramesCom), before + all);
    }

    void lostDeviceSeenAndTakenUpAgain() {
        double now = 100;
        WinSerialWsc32 wsc([&now] { return now; });
        const int port = LossCom - 1;
        QCOMPARE(call(wsc, Reset, port), 0);
        QCOMPARE(call(wsc, Baud, port), 0);
        QCOMPARE(call(wsc, Puts, port), int(Frame.size()));
        QTRY_COMPARE_WITH_TIMEOUT(arrived(LossCom), Frame, WaitMs);

        request(LossCom, "hangup");
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(stateFile(LossCom, "away")), WaitMs);
        // The first write after the loss fails with the system's text; until the next look is
        // due, writes are refused at once without touching the device.
        QCOMPARE(call(wsc, Puts, port), SioCode::SystemError);
        QVERIFY2(wsc.SioWinError(SioArg::WinErrorSize).endsWith(QStringLiteral(": COM22")),
                 qPrintable(wsc.SioWinError(SioArg::WinErrorSize)));
        now += WinSerialWsc32::ReturnCheckInterval / 2;
        QCOMPARE(call(wsc, Puts, port), SioCode::CannotOpen);
        QCOMPARE(call(wsc, Baud, port), SioCode::CannotOpen);

        request(LossCom, "return");
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(stateFile(LossCom, "back")), WaitMs);
        QCOMPARE(call(wsc, Puts, port), SioCode::CannotOpen);  // not looked for yet
        now += WinSerialWsc32::ReturnCheckInterval;
        QCOMPARE(call(wsc, Puts, port), int(Frame.size()));
        QTRY_COMPARE_WITH_TIMEOUT(arrived(LossCom), Frame + Frame, WaitMs);
        QCOMPARE(call(wsc, Done, port), 0);
        QCOMPARE(call(wsc, Puts, port), SioCode::CannotOpen);
    }
};

QTEST_GUILESS_MAIN(TestWinSerialWsc32)
#include "tst_WinSerialWsc32.moc"
