// Runs the real vantorb-sim program headless, writes into the terminal it publishes and reads
// back its frame log.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>
#include <QPointer>
#include <algorithm>
#include <csignal>
#include <memory>
#include <vector>

#include "device/ComPorts.h"
#include "serial/QtSerialWsc32.h"
#include "support/Pty.h"

namespace {

constexpr int startTimeoutMs = 10000;
constexpr int logTimeoutMs = 10000;

// One running simulator.
struct Sim {
    std::unique_ptr<QProcess> process;
    int com = 0;
    QString terminal;
};

// Writes bytes into the device behind path, opening and closing it like a serial port.
bool writeDevice(const QString& path, const QByteArray& bytes) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NOCTTY);
    if (fd < 0) {
        return false;
    }
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n <= 0) {
            break;
        }
        done += n;
    }
    ::close(fd);
    return done == bytes.size();
}

// The log lines without their time stamps; fails the test on a malformed or decreasing stamp.
QStringList logEntries(const QString& path, bool* stampsOk) {
    QFile file(path);
    QStringList entries;
    *stampsOk = true;
    if (!file.open(QIODevice::ReadOnly)) {
        return entries;
    }
    static const QRegularExpression line(QStringLiteral("^(\\d+\\.\\d{6}) (.*)$"));
    double previous = 0;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        if (raw.isEmpty()) {
            continue;
        }
        const QRegularExpressionMatch m = line.match(QString::fromUtf8(raw));
        if (!m.hasMatch() || m.captured(1).toDouble() < previous) {
            *stampsOk = false;
            continue;
        }
        previous = m.captured(1).toDouble();
        entries << m.captured(2);
    }
    return entries;
}

}  // namespace

class TestSimulator : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void init();
    void cleanup();
    void logsFrames_data();
    void logsFrames();
    void removesLinkOnSignal_data();
    void removesLinkOnSignal();
    void choosesComNumber_data();
    void choosesComNumber();
    void refusesNumberInUse();
    void killedSimulatorLeavesNoPort();

  private:
    QString portsFolder() const {
        return m_home->path() + QStringLiteral("/Corvexa/Orlesse/ports");
    }
    QString linkPath(int com) const { return portsFolder() + QStringLiteral("/com%1").arg(com); }
    Sim start(const QStringList& arguments);
    void stop(Sim& sim, int signalNumber);

    QString m_program;
    std::unique_ptr<QTemporaryDir> m_home;
    QList<QPointer<QProcess>> m_running;  // null once the test's own Sim has gone
};

void TestSimulator::initTestCase() {
    const QString bin = qEnvironmentVariable("ORLESSE_TEST_BIN");
    if (bin.isEmpty()) {
        QSKIP("ORLESSE_TEST_BIN is not set");
    }
    m_program = bin + QStringLiteral("/vantorb-sim");
    QVERIFY2(QFileInfo(m_program).isExecutable(), qPrintable(m_program));
}

void TestSimulator::init() {
    m_home = std::make_unique<QTemporaryDir>();
    QVERIFY(m_home->isValid());
    // ComPorts in this process looks in the same ports folder as the simulator.
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_home->path()));
}

void TestSimulator::cleanup() {
    // A failed test may leave a simulator running; never let it outlive the test.
    for (const QPointer<QProcess>& p : std::as_const(m_running)) {
        if (p && p->state() != QProcess::NotRunning) {
            p->kill();
            p->waitForFinished(startTimeoutMs);
        }
    }
    m_running.clear();
}

Sim TestSimulator::start(const QStringList& arguments) {
    Sim sim;
    sim.process = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), m_home->path());
    sim.process->setProcessEnvironment(env);
    sim.process->setProgram(m_program);
    sim.process->setArguments(QStringList{QStringLiteral("--headless")} + arguments);
    sim.process->start();
    m_running << sim.process.get();
    if (!sim.process->waitForStarted(startTimeoutMs)) {
        return sim;
    }
    while (!sim.process->canReadLine() && sim.process->state() == QProcess::Running) {
        sim.process->waitForReadyRead(startTimeoutMs);
    }
    static const QRegularExpression banner(QStringLiteral("^vantorb-sim: COM(\\d+) -> (\\S+)$"));
    const QRegularExpressionMatch m =
        banner.match(QString::fromLocal8Bit(sim.process->readLine()).trimmed());
    if (m.hasMatch()) {
        sim.com = m.captured(1).toInt();
        sim.terminal = m.captured(2);
    }
    return sim;
}

void TestSimulator::stop(Sim& sim, int signalNumber) {
    ::kill(static_cast<pid_t>(sim.process->processId()), signalNumber);
    QVERIFY(sim.process->waitForFinished(startTimeoutMs));
    QCOMPARE(sim.process->exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.process->exitCode(), 0);
}

void TestSimulator::logsFrames_data() {
    QTest::addColumn<QList<QByteArray>>("writes");
    QTest::addColumn<QStringList>("expected");

    const QByteArray red(
        "\x01"
        "00FF0000\r\n");
    const QByteArray white(
        "\x01"
        "80FFFFFF\r\n");
    const QByteArray reset3(
        "\x02"
        "030000FF\r\n");

    QTest::newRow("frames") << QList<QByteArray>{red + white + reset3}
                            << QStringList{"SOH 00 FF0000", "SOH 80 FFFFFF", "STX 03 0000FF"};
    QTest::newRow("port reopened, frame split across writes")
        << QList<QByteArray>{red, white.left(4), white.mid(4), reset3}
        << QStringList{"SOH 00 FF0000", "SOH 80 FFFFFF", "STX 03 0000FF"};
    QTest::newRow("malformed between frames")
        << QList<QByteArray>{red +
                             QByteArray("\x01"
                                        "0Z") +
                             white}
        << QStringList{"SOH 00 FF0000", "BAD 3 bytes: 01 30 5A", "SOH 80 FFFFFF"};
    QTest::newRow("short frame then good one")
        << QList<QByteArray>{QByteArray("\x01"
                                        "00FF") +
                             reset3}
        << QStringList{"BAD 5 bytes: 01 30 30 46 46", "STX 03 0000FF"};
    QTest::newRow("trailing junk reported when idle")
        << QList<QByteArray>{red + "xyz"} << QStringList{"SOH 00 FF0000", "BAD 3 bytes: 78 79 7A"};
}

void TestSimulator::logsFrames() {
    QFETCH(QList<QByteArray>, writes);
    QFETCH(QStringList, expected);

    const QString log = m_home->filePath(QStringLiteral("frames.log"));
    Sim sim = start({QStringLiteral("--com"), QStringLiteral("42"), QStringLiteral("--log"), log});
    QCOMPARE(sim.com, 42);
    QCOMPARE(QFileInfo(linkPath(42)).canonicalFilePath(), sim.terminal);

    for (const QByteArray& bytes : writes) {
        QVERIFY(writeDevice(linkPath(42), bytes));
    }
    bool stampsOk = false;
    QTRY_VERIFY_WITH_TIMEOUT(logEntries(log, &stampsOk).size() >= expected.size(), logTimeoutMs);
    QCOMPARE(logEntries(log, &stampsOk), expected);
    QVERIFY(stampsOk);

    stop(sim, SIGTERM);
    QVERIFY(!QFileInfo::exists(linkPath(42)) && !QFileInfo(linkPath(42)).isSymLink());
}

void TestSimulator::removesLinkOnSignal_data() {
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

void TestSimulator::removesLinkOnSignal() {
    QFETCH(int, signalNumber);
    Sim sim = start({QStringLiteral("--com"), QStringLiteral("7")});
    QCOMPARE(sim.com, 7);
    QVERIFY(QFileInfo(linkPath(7)).isSymLink());
    stop(sim, signalNumber);
    QVERIFY(!QFileInfo(linkPath(7)).isSymLink());
}

void TestSimulator::choosesComNumber_data() {
    // Links present before the start, as "com<n>=live" (pointing to an existing device),
    // "com<n>=dangling" or "com<n>=stale" (a simulator's kind of link whose pid now belongs to
    // a process that is no simulator); the extra arguments; the COM number the simulator must
    // take.
    QTest::addColumn<QStringList>("links");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("com");

    QTest::newRow("empty folder") << QStringList{} << QStringList{} << 99;
    QTest::newRow("dangling 99 replaced") << QStringList{"com99=dangling"} << QStringList{} << 99;
    QTest::newRow("live 99 skipped") << QStringList{"com99=live"} << QStringList{} << 98;
    QTest::newRow("stale 99 replaced") << QStringList{"com99=stale"} << QStringList{} << 99;
    QTest::newRow("live 99, dangling 98")
        << QStringList{"com99=live", "com98=dangling"} << QStringList{} << 98;
    QTest::newRow("live 99 and 98")
        << QStringList{"com99=live", "com98=live"} << QStringList{} << 97;
    QTest::newRow("explicit number over dangling link")
        << QStringList{"com12=dangling"} << QStringList{"--com", "12"} << 12;
}

void TestSimulator::choosesComNumber() {
    QFETCH(QStringList, links);
    QFETCH(QStringList, arguments);
    QFETCH(int, com);

    QVERIFY(QDir().mkpath(portsFolder()));
    Pty held;
    QStringList live;
    for (const QString& entry : links) {
        const QString name = entry.section(QLatin1Char('='), 0, 0);
        const bool isLive = entry.endsWith(QStringLiteral("=live"));
        QString target = isLive ? QStringLiteral("/dev/null") : m_home->filePath("gone/pts");
        if (entry.endsWith(QStringLiteral("=stale"))) {
            target = held.holdSlave();
        }
        QVERIFY(QFile::link(target, portsFolder() + QLatin1Char('/') + name));
        if (isLive) {
            live << name;
        }
    }

    Sim sim = start(arguments);
    QCOMPARE(sim.com, com);
    QCOMPARE(QFileInfo(linkPath(com)).canonicalFilePath(), sim.terminal);
    stop(sim, SIGTERM);
    QVERIFY(!QFileInfo(linkPath(com)).isSymLink());
    for (const QString& name : live) {
        QCOMPARE(QFileInfo(portsFolder() + QLatin1Char('/') + name).symLinkTarget(),
                 QStringLiteral("/dev/null"));
    }
}

void TestSimulator::refusesNumberInUse() {
    QVERIFY(QDir().mkpath(portsFolder()));
    QVERIFY(QFile::link(QStringLiteral("/dev/null"), linkPath(42)));
    Sim sim = start({QStringLiteral("--com"), QStringLiteral("42")});
    QCOMPARE(sim.com, 0);
    QVERIFY(sim.process->state() == QProcess::NotRunning ||
            sim.process->waitForFinished(startTimeoutMs));
    QCOMPARE(sim.process->exitStatus(), QProcess::NormalExit);
    QVERIFY(sim.process->exitCode() != 0);
    QVERIFY(sim.process->readAllStandardError().contains("COM42 is already in use"));
    QCOMPARE(QFileInfo(linkPath(42)).symLinkTarget(), QStringLiteral("/dev/null"));
}

// A simulator killed outright cannot remove its link. The link must still lead nowhere once
// another terminal has the killed one's number, and a new simulator must take the number over.
void TestSimulator::killedSimulatorLeavesNoPort() {
    Sim sim = start({QStringLiteral("--com"), QStringLiteral("42")});
    QCOMPARE(sim.com, 42);
    const QList<ComPorts::Info> before = ComPorts::present();
    const auto listed = [](const QList<ComPorts::Info>& ports) {
        return std::find_if(ports.begin(), ports.end(),
                            [](const ComPorts::Info& port) { return port.number == 42; });
    };
    QVERIFY(listed(before) != before.end());
    QVERIFY2(listed(before)->description.contains(sim.terminal),
             qPrintable(listed(before)->description));

    ::kill(static_cast<pid_t>(sim.process->processId()), SIGKILL);
    QVERIFY(sim.process->waitForFinished(startTimeoutMs));
    QVERIFY(QFileInfo(linkPath(42)).isSymLink());
    // New terminals take the lowest free numbers; make them until the killed one's is taken.
    std::vector<std::unique_ptr<Pty>> terminals;
    while (!QFileInfo::exists(sim.terminal) && terminals.size() < 256) {
        terminals.push_back(std::make_unique<Pty>());
        QVERIFY2(terminals.back()->isOpen(), qPrintable(terminals.back()->errorText()));
    }
    QVERIFY(QFileInfo::exists(sim.terminal));

    QCOMPARE(ComPorts::resolve(ComPorts::devicePath(42)), QString());
    const QList<ComPorts::Info> after = ComPorts::present();
    QVERIFY(listed(after) == after.end());
    QtSerialWsc32 wsc;
    QCOMPARE(wsc.SioReset(41, SioArg::RxQueue, SioArg::TxQueue), SioCode::SystemError);

    Sim fresh = start({QStringLiteral("--com"), QStringLiteral("42")});
    QCOMPARE(fresh.com, 42);
    QCOMPARE(ComPorts::resolve(ComPorts::devicePath(42)), fresh.terminal);
    stop(fresh, SIGTERM);
}

QTEST_MAIN(TestSimulator)
#include "tst_Simulator.moc"
