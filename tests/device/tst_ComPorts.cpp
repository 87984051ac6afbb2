#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>

#include "device/ComPorts.h"
#include "serial/QtSerialWsc32.h"
#include "support/Marker.h"
#include "support/Pty.h"

namespace {

QList<int> numbersOf(const QList<ComPorts::Info>& ports) {
    QList<int> numbers;
    for (const ComPorts::Info& port : ports)
        numbers.append(port.number);
    return numbers;
}

const ComPorts::Info* find(const QList<ComPorts::Info>& ports, int number) {
    for (const ComPorts::Info& port : ports) {
        if (port.number == number)
            return &port;
    }
    return nullptr;
}

bool writeFile(const QString& path, const QByteArray& content = {}) {
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) &&
           file.write(content) == content.size();
}

}  // namespace

class TestComPorts : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir m_data;

    QString linkPath(int number) const {
        return ComPorts::portsFolder() + QStringLiteral("/com") + QString::number(number);
    }

  private slots:
    void initTestCase() {
        QVERIFY(m_data.isValid());
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_data.path()));
        QCOMPARE(ComPorts::portsFolder(), m_data.path() + QStringLiteral("/Corvexa/Orlesse/ports"));
    }

    void init() { QVERIFY(QDir(ComPorts::portsFolder()).removeRecursively()); }

    void fixedRule_data() {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("device");
        QTest::newRow("COM1") << 1 << QStringLiteral("/dev/ttyS0");
        QTest::newRow("COM32") << 32 << QStringLiteral("/dev/ttyS31");
        QTest::newRow("COM33") << 33 << QStringLiteral("/dev/ttyUSB0");
        QTest::newRow("COM64") << 64 << QStringLiteral("/dev/ttyUSB31");
        QTest::newRow("COM65") << 65 << QStringLiteral("/dev/ttyACM0");
        QTest::newRow("COM96") << 96 << QStringLiteral("/dev/ttyACM31");
        QTest::newRow("COM97") << 97 << QString();
        QTest::newRow("COM0") << 0 << QString();
        QTest::newRow("COM-1") << -1 << QString();
    }

    void fixedRule() {
        QFETCH(int, number);
        QFETCH(QString, device);
        QCOMPARE(ComPorts::devicePath(number), device);
    }

    void links_data() {
        QTest::addColumn<QStringList>("live");      // link names whose target exists
        QTest::addColumn<QStringList>("dangling");  // link names whose target is missing
        QTest::addColumn<int>("probe");
        QTest::addColumn<QString>("probeDevice");  // "link" stands for the probe's link
        QTest::addColumn<QList<int>>("linked");    // present through their links
        QTest::addColumn<QList<int>>("absent");    // not present at all

        QTest::newRow("link beyond the fixed rule") << QStringList{"com150"} << QStringList{} << 150
                                                    << "link" << QList<int>{150} << QList<int>{};
        QTest::newRow("link wins over the fixed rule")
            << QStringList{"com1", "com40"} << QStringList{} << 1 << "link" << QList<int>{1, 40}
            << QList<int>{};
        QTest::newRow("dangling link is mapped but not present")
            << QStringList{"com9"} << QStringList{"com7", "com2"} << 7 << "link" << QList<int>{9}
            << QList<int>{7, 2};
        QTest::newRow("only lower-case com<n> names count")
            << QStringList{"COM5", "com05", "com", "com257", "com5x", "com6"} << QStringList{} << 5
            << "/dev/ttyS4" << QList<int>{6} << QList<int>{257};
    }

    void links() {
        QFETCH(QStringList, live);
        QFETCH(QStringList, dangling);
        QFETCH(int, probe);
        QFETCH(QString, probeDevice);
        QFETCH(QList<int>, linked);
        QFETCH(QList<int>, absent);
        const QString folder = ComPorts::portsFolder();
        const QString target = m_data.filePath(QStringLiteral("device"));
        QVERIFY(writeFile(target));
        QVERIFY(QDir().mkpath(folder));
        for (const QString& name : live)
            QVERIFY(QFile::link(target, folder + QLatin1Char('/') + name));
        for (const QString& name : dangling)
            QVERIFY(QFile::link(m_data.filePath(QStringLiteral("gone")), folder + "/" + name));

        QCOMPARE(ComPorts::devicePath(probe),
                 probeDevice == QLatin1String("link") ? linkPath(probe) : probeDevice);
        const QList<ComPorts::Info> ports = ComPorts::present();
        const QList<int> numbers = numbersOf(ports);
        QVERIFY(std::is_sorted(numbers.begin(), numbers.end()));
        QCOMPARE(QSet<int>(numbers.begin(), numbers.end()).size(), numbers.size());
        for (int number : linked) {
            const ComPorts::Info* port = find(ports, number);
            QVERIFY2(port, qPrintable(QStringLiteral("COM%1 missing").arg(number)));
            QCOMPARE(port->devicePath, linkPath(number));
            QVERIFY2(port->description.contains(target), qPrintable(port->description));
        }
        for (int number : absent)
            QVERIFY2(!find(ports, number), qPrintable(QStringLiteral("COM%1 listed").arg(number)));
    }

    void linksToTerminals_data() {
        QTest::addColumn<bool>("throughHandle");  // link to this process's handle on the slave
        QTest::addColumn<bool>("leads");          // present, resolved and opened
        QTest::newRow("user's own terminal") << false << true;
        // What a killed simulator's link meets once another process has taken its pid.
        QTest::newRow("handle of a process that is no simulator") << true << false;
    }

    void linksToTerminals() {
        QFETCH(bool, throughHandle);
        QFETCH(bool, leads);
        constexpr int Com = 120;
        const QByteArray frame = '\x01' + QByteArray("00FF0000\r\n");
        Pty pty;
        QVERIFY2(pty.isOpen(), qPrintable(pty.errorText()));
        const QString handle = pty.holdSlave();
        QVERIFY(!handle.isEmpty());
        QVERIFY(QDir().mkpath(ComPorts::portsFolder()));
        QVERIFY(QFile::link(throughHandle ? handle : pty.slavePath(), linkPath(Com)));

        QCOMPARE(ComPorts::resolve(linkPath(Com)), leads ? pty.slavePath() : QString());
        const QList<ComPorts::Info> ports = ComPorts::present();
        const ComPorts::Info* port = find(ports, Com);
        QCOMPARE(port != nullptr, leads);
        if (port) {
            QCOMPARE(
                port->description,
                QStringLiteral("%1 -> %2\npseudo-terminal %2").arg(linkPath(Com), pty.slavePath()));
        }
        QtSerialWsc32 wsc;
        QCOMPARE(wsc.SioReset(Com - 1, SioArg::RxQueue, SioArg::TxQueue) == 0, leads);
        wsc.SioPuts(Com - 1, frame.constData(), int(frame.size()));
        wsc.SioDone(Com - 1);
        // Then nothing else: a marker sent through a plain link to the terminal comes next.
        QVERIFY(!pty.publish(ComPorts::portsFolder(), Com + 1).isEmpty());
        QVERIFY(sendMarker(Com + 1));
        const QByteArray expected = (leads ? frame : QByteArray()) + MarkerFrame;
        QCOMPARE(pty.read(expected.size(), 20000), expected);
    }

    void kernelDevices_data() {
        QTest::addColumn<bool>("kernelListsTtys");
        QTest::addColumn<QList<int>>("numbers");
        QTest::addColumn<QStringList>("descriptions");
        // ttyS1 is a line without a UART (type 0); ttyS2 has a node but no device behind it.
        // COM150 links to the adapter's node, as a link to its stable name leads there.
        QTest::newRow("kernel lists ttys")
            << true << QList<int>{1, 34, 68, 150}
            << QStringList{
                   "Serial port (serial8250) - @/ttyS0",
                   "FT232R USB UART (FTDI, serial A1234567) - @/ttyUSB1", "Serial port - @/ttyACM3",
                   "#150 -> @/ttyUSB1\nFT232R USB UART (FTDI, serial A1234567) - @/ttyUSB1"};
        QTest::newRow("no tty list: device nodes decide")
            << false << QList<int>{1, 2, 3, 34, 68, 150}
            << QStringList{"Serial port - @/ttyS0",   "Serial port - @/ttyS1",
                           "Serial port - @/ttyS2",   "Serial port - @/ttyUSB1",
                           "Serial port - @/ttyACM3", "#150 -> @/ttyUSB1\n@/ttyUSB1"};
    }

    void kernelDevices() {
        QFETCH(bool, kernelListsTtys);
        QFETCH(QList<int>, numbers);
        QFETCH(QStringList, descriptions);
        QTemporaryDir tree;
        const QString dev = tree.filePath(QStringLiteral("dev"));
        const QString tty = tree.filePath(QStringLiteral("class-tty"));
        for (const char* node : {"ttyS0", "ttyS1", "ttyS2", "ttyUSB1", "ttyACM3"})
            QVERIFY(writeFile(dev + QLatin1Char('/') + QLatin1String(node)));
        if (kernelListsTtys) {
            const QString devices = tree.filePath(QStringLiteral("devices"));
            QVERIFY(writeFile(devices + "/platform/serial8250/type-marker"));
            QVERIFY(QDir().mkpath(devices + "/platform/port0"));
            QVERIFY(
                QFile::link(devices + "/platform/serial8250", devices + "/platform/port0/driver"));
            QVERIFY(QDir().mkpath(tty + "/ttyS0"));
            QVERIFY(QFile::link(devices + "/platform/port0", tty + "/ttyS0/device"));
            QVERIFY(writeFile(tty + "/ttyS0/type", "4\n"));
            QVERIFY(QDir().mkpath(tty + "/ttyS1"));
            QVERIFY(QFile::link(devices + "/platform/port0", tty + "/ttyS1/device"));
            QVERIFY(writeFile(tty + "/ttyS1/type", "0\n"));
            const QString usb = devices + "/usb1/1-1";
            QVERIFY(writeFile(usb + "/product", "FT232R USB UART\n"));
            QVERIFY(writeFile(usb + "/manufacturer", "FTDI\n"));
            QVERIFY(writeFile(usb + "/serial", "A1234567\n"));
            QVERIFY(QDir().mkpath(usb + "/1-1:1.0/ttyUSB1"));
            QVERIFY(QDir().mkpath(tty + "/ttyUSB1"));
            QVERIFY(QFile::link(usb + "/1-1:1.0/ttyUSB1", tty + "/ttyUSB1/device"));
            QVERIFY(QDir().mkpath(tty + "/ttyACM3/device"));
        }

        QVERIFY(QDir().mkpath(ComPorts::portsFolder()));
        QVERIFY(QFile::link(dev + QStringLiteral("/ttyUSB1"), linkPath(150)));

        // "@" stands for the device folder, "#150" for the link.
        const QString canonicalDev = QFileInfo(dev).canonicalFilePath();
        const QList<ComPorts::Info> ports = ComPorts::presentIn(dev, tty);
        QCOMPARE(numbersOf(ports), numbers);
        for (qsizetype i = 0; i < ports.size(); ++i) {
            QString expected = descriptions[i];
            expected.replace(QLatin1String("#150"), linkPath(150));
            expected.replace(QLatin1String("-> @"), QStringLiteral("-> ") + dev);
            expected.replace(QLatin1String("@"), ports[i].number == 150 ? canonicalDev : dev);
            QCOMPARE(ports[i].description, expected);
        }
    }
};

QTEST_GUILESS_MAIN(TestComPorts)
#include "tst_ComPorts.moc"
