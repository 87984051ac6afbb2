#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "device/ComPorts.h"
#include "serial/QtSerialWsc32.h"
#include "support/Marker.h"
#include "support/ProcessConditions.h"
#include "support/Pty.h"

namespace {

constexpr int Port = 199;  // COM200: beyond the fixed rule, so only a link can map it
constexpr int MarkerCom = 201;
constexpr int WaitMs = 20000;  // bytes written are there at once; generous for loaded machines
constexpr int Ticks = 20;
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

}  // namespace

class TestQtSerialWsc32 : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir m_data;

    // Opens a pseudo-terminal published as COM(port + 1).
    void openPty(Pty& pty, int port = Port) {
        QVERIFY2(pty.isOpen(), qPrintable(pty.errorText()));
        QVERIFY(!pty.publish(ComPorts::portsFolder(), port + 1).isEmpty());
    }

  private slots:
    void initTestCase() {
        QVERIFY(m_data.isValid());
        // Readable by "nobody" too, for the cases that give up root rights.
        QVERIFY(QFile::setPermissions(m_data.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                         QFile::ExeOwner | QFile::ReadGroup |
                                                         QFile::ExeGroup | QFile::ReadOther |
                                                         QFile::ExeOther));
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_data.path()));
    }

    void framesArriveUnchangedAtOnce_data() {
        QTest::addColumn<QList<QByteArray>>("frames");
        QTest::newRow("one frame") << QList<QByteArray>{Frame};
        QTest::newRow("several frames in order") << QList<QByteArray>{
            Frame, '\x02' + QByteArray("80FF8800\r\n"), '\x01' + QByteArray("00000000\r\n")};
        // No translation of line ends, no flow-control characters swallowed, all 8 bits.
        QTest::newRow("control and high bytes")
            << QList<QByteArray>{QByteArray("\x00\x11\x13\x7f\xff\r\n\n\r\x03\x04", 11)};
    }

    // Each frame is on the wire when SioPuts returns: the master is read without the event
    // loop running in between.
    void framesArriveUnchangedAtOnce() {
        QFETCH(QList<QByteArray>, frames);
        Pty pty;
        openPty(pty);
        QtSerialWsc32 wsc;
        QCOMPARE(wsc.SioReset(Port, SioArg::RxQueue, SioArg::TxQueue), 0);
        for (const QByteArray& frame : frames) {
            QCOMPARE(wsc.SioPuts(Port, frame.constData(), int(frame.size())), int(frame.size()));
            QCOMPARE(pty.read(frame.size(), WaitMs), frame);
        }
        // Nothing else went out: a marker sent now is the next thing to arrive.
        QCOMPARE(wsc.SioPuts(Port, MarkerFrame.constData(), int(MarkerFrame.size())),
                 int(MarkerFrame.size()));
        QCOMPARE(pty.read(MarkerFrame.size(), WaitMs), MarkerFrame);
        QCOMPARE(wsc.SioDone(Port), 0);
    }

    void settings_data() {
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("parity");
        QTest::addColumn<int>("stopBits");
        QTest::addColumn<int>("dataBits");
        QTest::addColumn<char>("line");
        QTest::addColumn<int>("expBaud");
        QTest::addColumn<int>("expParms");
        QTest::addColumn<int>("expLines");
        QTest::addColumn<int>("speed");  // expected termios speed, when the calls succeed
        // Expected stop-bit and parity-kind bits of c_cflag; a pseudo-terminal keeps these but
        // always reports eight data bits and no parity enable.
        QTest::addColumn<int>("cflag");

        QTest::newRow("115200 8N1, lines raised")
            << 9 << 0 << 0 << 3 << 'S' << 0 << 0 << 0 << int(B115200) << 0;
        QTest::newRow("data-bits code 0, lines dropped")
            << 9 << 0 << 0 << 0 << 'C' << 0 << 0 << 0 << int(B115200) << 0;
        QTest::newRow("110 odd, two stop bits")
            << 0 << 1 << 2 << 3 << 'S' << 0 << 0 << 0 << int(B110) << int(PARODD | CSTOPB);
        QTest::newRow("57600 mark")
            << 8 << 3 << 0 << 3 << 'S' << 0 << 0 << 0 << int(B57600) << int(PARODD | CMSPAR);
        QTest::newRow("38400 space")
            << 7 << 4 << 0 << 0 << 'S' << 0 << 0 << 0 << int(B38400) << int(CMSPAR);
        QTest::newRow("baud code 10") << 10 << 0 << 0 << 3 << 'S' << -12 << 0 << 0 << -1 << -1;
        QTest::newRow("baud code -1") << -1 << 0 << 0 << 3 << 'S' << -12 << 0 << 0 << -1 << -1;
        QTest::newRow("data-bits code 4") << 9 << 0 << 0 << 4 << 'S' << 0 << -11 << 0 << -1 << -1;
        QTest::newRow("parity code 5") << 9 << 5 << 0 << 3 << 'S' << 0 << -101 << 0 << -1 << -1;
        QTest::newRow("stop-bits code 3") << 9 << 0 << 3 << 3 << 'S' << 0 << -101 << 0 << -1 << -1;
        QTest::newRow("line command X") << 9 << 0 << 0 << 3 << 'X' << 0 << 0 << -101 << -1 << -1;
    }

    // Settings reach the terminal; refused ones leave the port usable.
    void settings() {
        QFETCH(int, baud);
        QFETCH(int, parity);
        QFETCH(int, stopBits);
        QFETCH(int, dataBits);
        QFETCH(char, line);
        QFETCH(int, expBaud);
        QFETCH(int, expParms);
        QFETCH(int, expLines);
        QFETCH(int, speed);
        QFETCH(int, cflag);
        Pty pty;
        openPty(pty);
        QtSerialWsc32 wsc;
        QCOMPARE(wsc.SioReset(Port, SioArg::RxQueue, SioArg::TxQueue), 0);
        QCOMPARE(wsc.SioBaud(Port, baud), expBaud);
        QCOMPARE(wsc.SioParms(Port, parity, stopBits, dataBits), expParms);
        QCOMPARE(wsc.SioDTR(Port, line), expLines);
        QCOMPARE(wsc.SioRTS(Port, line), expLines);
        if (speed >= 0) {
            const std::optional<termios> now = pty.lineSettings();
            QVERIFY(now.has_value());
            QCOMPARE(int(cfgetospeed(&*now)), speed);
            QCOMPARE(int(now->c_cflag & (PARODD | CMSPAR | CSTOPB)), cflag);
        }
        QCOMPARE(wsc.SioPuts(Port, Frame.constData(), int(Frame.size())), int(Frame.size()));
        QCOMPARE(pty.read(Frame.size(), WaitMs), Frame);
    }

    void portMustBeValidAndOpen_data() {
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("which");
        QTest::addColumn<int>("expected");
        const QList<std::pair<const char*, Call>> calls{
            {"reset", Reset}, {"baud", Baud}, {"parms", Parms}, {"dtr", Dtr},
            {"rts", Rts},     {"puts", Puts}, {"done", Done}};
        for (const auto& [name, which] : calls) {
            for (int port : {-1, 256, 100000})
                QTest::addRow("%s on index %d", name, port) << port << int(which) << -1;
            if (which != Reset)
                QTest::addRow("%s on a closed port", name)
                    << 0 << int(which) << (which == Done ? 0 : -3);
        }
    }

    void portMustBeValidAndOpen() {
        QFETCH(int, port);
        QFETCH(int, which);
        QFETCH(int, expected);
        QtSerialWsc32 wsc;
        QCOMPARE(call(wsc, Call(which), port), expected);
    }

    void openFailures_data() {
        QTest::addColumn<QString>("target");  // where com200 leads; empty: no link at all
        QTest::addColumn<QString>("inText");  // must appear in SioWinError's text
        const QString missing = m_data.filePath(QStringLiteral("unplugged"));
        const QString plain = m_data.filePath(QStringLiteral("plain-file"));
        QFile file(plain);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QTest::newRow("no device assigned") << QString() << QStringLiteral("COM200");
        QTest::newRow("link to a missing device") << missing << missing;
        QTest::newRow("link to a file that is no terminal") << plain << plain;
    }

    void openFailures() {
        QFETCH(QString, target);
        QFETCH(QString, inText);
        const QString link = ComPorts::portsFolder() + QStringLiteral("/com200");
        QFile::remove(link);
        if (!target.isEmpty()) {
            QVERIFY(QDir().mkpath(ComPorts::portsFolder()));
            QVERIFY(QFile::link(target, link));
        }
        QtSerialWsc32 wsc;
        QCOMPARE(wsc.SioReset(Port, SioArg::RxQueue, SioArg::TxQueue), SioCode::SystemError);
        const QString text = wsc.SioWinError(1000);
        QVERIFY2(text.contains(inText), qPrintable(text));
        QCOMPARE(wsc.SioWinError(SioArg::WinErrorSize), text.left(SioArg::WinErrorSize));
        QCOMPARE(wsc.SioWinError(7), text.left(7));
        QCOMPARE(call(wsc, Puts, Port), SioCode::CannotOpen);
        QFile::remove(link);
    }

    void permissionRefused() {
        Pty pty;
        openPty(pty);
        const QByteArray slave = QFile::encodeName(pty.slavePath());
        QCOMPARE(::chmod(slave.constData(), ::geteuid() == 0 ? 0600 : 0), 0);
        QtSerialWsc32 wsc;
        Unprivileged nobody;
        if (!nobody.effective())
            QSKIP("cannot drop root rights here");
        QCOMPARE(call(wsc, Reset, Port), SioCode::SystemError);
        const QString text = wsc.SioWinError(1000);
        QVERIFY2(text.contains(pty.slavePath()) && text.contains(QLatin1String("group")),
                 qPrintable(text));
    }

    void portHeldElsewhere_data() {
        QTest::addColumn<QString>("holder");
        QTest::newRow("another instance") << QStringLiteral("instance");
        QTest::newRow("the same instance") << QStringLiteral("self");
        QTest::newRow("an exclusive descriptor") << QStringLiteral("exclusive");
    }

    // A held port gives "already open"; once released it opens.
    void portHeldElsewhere() {
        QFETCH(QString, holder);
        Pty pty;
        openPty(pty);
        QtSerialWsc32 other;
        QtSerialWsc32 wsc;
        int fd = -1;
        if (holder == QLatin1String("instance")) {
            QCOMPARE(call(other, Reset, Port), 0);
        } else if (holder == QLatin1String("self")) {
            QCOMPARE(call(wsc, Reset, Port), 0);
        } else {
            const QByteArray slave = QFile::encodeName(pty.slavePath());
            QCOMPARE(::chmod(slave.constData(), 0666), 0);
            fd = ::open(slave.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
            QVERIFY(fd >= 0);
            QCOMPARE(::ioctl(fd, TIOCEXCL), 0);
        }
        {
            // Root ignores exclusive opens.
            std::optional<Unprivileged> nobody;
            if (fd >= 0)
                nobody.emplace();
            if (nobody && !nobody->effective()) {
                ::close(fd);
                QSKIP("cannot drop root rights here");
            }
            QCOMPARE(call(wsc, Reset, Port), SioCode::AlreadyOpen);
        }
        QCOMPARE(call(other, Done, Port), 0);
        QCOMPARE(call(wsc, Done, Port), 0);
        if (fd >= 0) {
            // The exclusive mark stays on the terminal while the master is open, until cleared.
            ::ioctl(fd, TIOCNXCL);
            ::close(fd);
        }
        QCOMPARE(call(wsc, Reset, Port), 0);
        QCOMPARE(call(wsc, Puts, Port), int(Frame.size()));
        QCOMPARE(pty.read(Frame.size(), WaitMs), Frame);
    }

    void lostDeviceDoesNotSpin_data() {
        QTest::addColumn<bool>("backlog");
        QTest::newRow("nothing waiting to be sent") << false;
        QTest::newRow("frames waiting to be sent") << true;
    }

    // Once the device is gone the port stops working without keeping the processor busy, and
    // works again when it is opened on a device that is there.
    void lostDeviceDoesNotSpin() {
        QFETCH(bool, backlog);
        QtSerialWsc32 wsc;
        Pty pty;
        openPty(pty);
        // Held, so no other terminal takes its number while the library looks for it.
        QVERIFY(!pty.holdSlave().isEmpty());
        QCOMPARE(call(wsc, Reset, Port), 0);
        QCOMPARE(call(wsc, Puts, Port), int(Frame.size()));
        QCOMPARE(pty.read(Frame.size(), WaitMs), Frame);
        if (backlog) {
            // Nobody reads the master: the terminal's buffer fills, then the transmit queue,
            // and then frames are refused, each whole, as failures.
            int result = int(Frame.size());
            int accepted = 0;
            for (int i = 0; i < 100000 && result > 0; ++i) {
                result = call(wsc, Puts, Port);
                accepted += result > 0 ? 1 : 0;
            }
            QCOMPARE(result, SioCode::SystemError);
            QVERIFY2(wsc.SioWinError(SioArg::WinErrorSize).contains(pty.slavePath()),
                     qPrintable(wsc.SioWinError(SioArg::WinErrorSize)));
            // Reading again, the device gets every accepted frame whole and nothing else,
            // then takes new frames.
            const QByteArray expected = Frame.repeated(accepted);
            QByteArray arrived;
            QTRY_VERIFY_WITH_TIMEOUT(
                (arrived += pty.read(expected.size() - arrived.size(), 0)).size() >=
                    expected.size(),
                20000);
            QCOMPARE(arrived, expected);
            QTRY_COMPARE_WITH_TIMEOUT(call(wsc, Puts, Port), int(Frame.size()), 20000);
            QCOMPARE(pty.read(Frame.size(), 20000), Frame);
        }
        pty.closeMaster();

        // About one pass per tick of the counting timer when nothing else fires.
        const int whileGone = eventLoopPassesOverTicks(Ticks);
        QVERIFY2(whileGone < 3 * Ticks, qPrintable(QString::number(whileGone)));
        QVERIFY(call(wsc, Puts, Port) < 0);
        const int afterWrite = eventLoopPassesOverTicks(Ticks);
        QVERIFY2(afterWrite < 3 * Ticks, qPrintable(QString::number(afterWrite)));
        QVERIFY(call(wsc, Puts, Port) < 0);

        Pty again;
        openPty(again);
        QCOMPARE(call(wsc, Done, Port), 0);
        QCOMPARE(call(wsc, Reset, Port), 0);
        QCOMPARE(call(wsc, Puts, Port), int(Frame.size()));
        QCOMPARE(again.read(Frame.size(), WaitMs), Frame);
    }

    void returnedDeviceReopened_data() {
        QTest::addColumn<QString>("comeback");
        QTest::newRow("new terminal under the same link") << QStringLiteral("link");
        QTest::newRow("adapter back under another node") << QStringLiteral("stable");
        QTest::newRow("another device at the adapter's link") << QStringLiteral("other");
    }

    // A lost device is looked for once an interval has passed since the last look, on virtual
    // time, and reopened with its settings; an adapter with a stable name is followed by it.
    void returnedDeviceReopened() {
        QFETCH(QString, comeback);
        QTemporaryDir stableNames;
        const QString stable = stableNames.filePath(QStringLiteral("usb-Maker_Adapter_S1-if00"));
        double now = 1000;
        QtSerialWsc32 wsc([&now] { return now; }, stableNames.path());
        Pty first;
        openPty(first);
        // Held, so no other terminal takes its number while it is gone.
        QVERIFY(!first.holdSlave().isEmpty());
        if (comeback != QLatin1String("link"))
            QVERIFY(QFile::link(first.slavePath(), stable));
        QCOMPARE(call(wsc, Reset, Port), 0);
        QCOMPARE(wsc.SioBaud(Port, 0), 0);         // 110 baud
        QCOMPARE(wsc.SioParms(Port, 1, 2, 3), 0);  // odd parity, two stop bits
        QCOMPARE(call(wsc, Puts, Port), int(Frame.size()));
        QCOMPARE(first.read(Frame.size(), WaitMs), Frame);

        first.closeMaster();
        QVERIFY(call(wsc, Puts, Port) < 0);
        const double lostAt = now;
        Pty back;
        Pty other;
        QVERIFY(back.isOpen() && other.isOpen());
        if (comeback == QLatin1String("link")) {
            QVERIFY(!back.publish(ComPorts::portsFolder(), Port + 1).isEmpty());
        } else {
            QVERIFY(QFile::remove(stable));
            if (comeback == QLatin1String("stable"))
                QVERIFY(QFile::link(back.slavePath(), stable));
            else
                QVERIFY(!other.publish(ComPorts::portsFolder(), Port + 1).isEmpty());
        }
        now = lostAt + QtSerialWsc32::ReturnCheckInterval - 0.001;
        QVERIFY(call(wsc, Puts, Port) < 0);
        now = lostAt + QtSerialWsc32::ReturnCheckInterval;
        if (comeback == QLatin1String("other")) {
            QVERIFY(call(wsc, Puts, Port) < 0);
            QVERIFY(QFile::link(back.slavePath(), stable));
            now += QtSerialWsc32::ReturnCheckInterval;
        }
        QCOMPARE(call(wsc, Puts, Port), int(Frame.size()));
        QCOMPARE(back.read(Frame.size(), WaitMs), Frame);
        // Nothing reached the other terminal: a marker sent to it now arrives first.
        QVERIFY(!other.publish(ComPorts::portsFolder(), MarkerCom).isEmpty());
        QVERIFY(sendMarker(MarkerCom));
        QCOMPARE(other.read(MarkerFrame.size(), WaitMs), MarkerFrame);
        const std::optional<termios> settings = back.lineSettings();
        QVERIFY(settings.has_value());
        QCOMPARE(int(cfgetospeed(&*settings)), int(B110));
        QCOMPARE(int(settings->c_cflag & (PARODD | CSTOPB)), int(PARODD | CSTOPB));
        QCOMPARE(call(wsc, Puts, Port), int(Frame.size()));
        QCOMPARE(back.read(Frame.size(), WaitMs), Frame);
    }
};

QTEST_GUILESS_MAIN(TestQtSerialWsc32)
#include "tst_QtSerialWsc32.moc"
