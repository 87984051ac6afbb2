// Device faults over a real pseudo-terminal published as a COM port: the device goes away in
// the middle of each kind of operation, comes back, or is held by another program. The
// controller runs on its real backends throughout.

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

#include <memory>
#include <optional>

#include "device/ComPorts.h"
#include "support/E2eRig.h"
#include "support/ProcessConditions.h"
#include "support/Pty.h"

namespace {

constexpr int Com = 150;  // beyond the fixed ttyS/ttyUSB/ttyACM rule: only the link maps it
// Generous: frames and failing writes come within milliseconds, but CI machines are loaded.
constexpr int WaitMs = 20000;
constexpr int IdleTicks = 20;
constexpr qsizetype Everything = 1 << 20;
const QByteArray DarkFrame = '\x01' + QByteArray("00000000\r\n");
const QByteArray RedFrame = '\x01' + QByteArray("00FF0000\r\n");

// Keeps the terminal side of a lost device open, so its number is not handed to another
// terminal (of this machine's other programs) while the test expects it to be gone.
class TerminalHold {
  public:
    explicit TerminalHold(const QString& path)
        : m_fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {}
    ~TerminalHold() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    TerminalHold(const TerminalHold&) = delete;
    TerminalHold& operator=(const TerminalHold&) = delete;

  private:
    int m_fd;
};

}  // namespace

class TestDeviceFaults : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void deviceLostWhileFlashing();
    void deviceLostDuringEffect_data();
    void deviceLostDuringEffect();
    void portHeldElsewhere_data();
    void portHeldElsewhere();

  private:
    // Publishes a fresh terminal as the device.
    void plugIn(std::unique_ptr<Pty>& device);
    // The writes since the loss all failed, and there were some.
    void checkWritesFailedSince(E2eRig& rig, qsizetype firstAfterLoss);
    // The idle controller leaves the event loop alone: it passes about once per tick of the
    // counting timer, and of the flash timer when that runs.
    void checkIdle();
    // The next opening reports the missing device by name; once a device is there again the
    // opening after that works and frames arrive.
    void checkReportedThenRecovers(E2eRig& rig, const QString& lostPath);

    QTemporaryDir m_data;
};

void TestDeviceFaults::initTestCase() {
    QVERIFY(m_data.isValid());
    // Reachable by "nobody" too, for the case that gives up root rights.
    QVERIFY(QFile::setPermissions(
        m_data.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                           QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther));
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_data.path()));
}

void TestDeviceFaults::plugIn(std::unique_ptr<Pty>& device) {
    device = std::make_unique<Pty>();
    QVERIFY2(device->isOpen(), qPrintable(device->errorText()));
    QVERIFY(!device->publish(ComPorts::portsFolder(), Com).isEmpty());
}

void TestDeviceFaults::checkWritesFailedSince(E2eRig& rig, qsizetype firstAfterLoss) {
    const QList<E2eSerialTap::Write> after = rig.serial().writes().mid(firstAfterLoss);
    QVERIFY2(after.size() >= 2, qPrintable(QString::number(after.size())));
    for (const E2eSerialTap::Write& write : after) {
        QVERIFY2(write.result < 0, qPrintable(QString::number(write.result)));
    }
}

void TestDeviceFaults::checkIdle() {
    const int passes = eventLoopPassesOverTicks(IdleTicks);
    QVERIFY2(passes < 3 * IdleTicks, qPrintable(QString::number(passes)));
}

void TestDeviceFaults::checkReportedThenRecovers(E2eRig& rig, const QString& lostPath) {
    Controller& c = rig.controller();
    FakeWindow& window = rig.window();
    QVERIFY2(window.messages.isEmpty(), qPrintable(window.messages.join('|')));

    c.cmdFlashOrlesse_Click();
    QCOMPARE(window.messages.size(), 1);
    QVERIFY2(window.messages[0].contains(lostPath), qPrintable(window.messages[0]));
    QVERIFY(!rig.state().PortOpen);

    std::unique_ptr<Pty> back;
    plugIn(back);
    if (QTest::currentTestFailed())
        return;
    c.cmdFlashOrlesse_Click();
    QCOMPARE(window.messages.size(), 1);
    QVERIFY(rig.state().PortOpen);
    QCOMPARE(back->read(DarkFrame.size(), WaitMs), DarkFrame);
    // Flashing reaches the device again (a spin leaves another colour chosen).
    const QByteArray lit = '\x01' + ("00" + rig.state().CurrentColour + "\r\n").toLatin1();
    QVERIFY(back->readThrough(lit, WaitMs).endsWith(lit));
    c.cmdSwitchOff_Click();
    QVERIFY(!rig.state().PortOpen);
}

// The device goes while the flash timer writes to it: the ticks go on, their writes fail, and
// the dead port does not keep the processor busy.
void TestDeviceFaults::deviceLostWhileFlashing() {
    std::unique_ptr<Pty> device;
    plugIn(device);
    if (QTest::currentTestFailed())
        return;
    E2eRig rig;
    rig.load(Com);
    Controller& c = rig.controller();

    c.cmdFlashOrlesse_Click();
    QVERIFY(rig.window().messages.isEmpty());
    QVERIFY(rig.state().PortOpen);
    QCOMPARE(device->read(DarkFrame.size(), WaitMs), DarkFrame);
    QVERIFY(device->readThrough(RedFrame, WaitMs).endsWith(RedFrame));

    const QString lostPath = device->slavePath();
    const TerminalHold hold(lostPath);
    const qsizetype firstAfterLoss = rig.serial().writes().size();
    device->closeMaster();

    QTRY_VERIFY_WITH_TIMEOUT(rig.serial().writes().size() >= firstAfterLoss + 2, WaitMs);
    checkWritesFailedSince(rig, firstAfterLoss);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(rig.state().LastResult < 0);
    // Still flashing, into the lost device, without spinning.
    const qsizetype writesBefore = rig.serial().writes().size();
    checkIdle();
    if (QTest::currentTestFailed())
        return;
    QTRY_VERIFY_WITH_TIMEOUT(rig.serial().writes().size() > writesBefore, WaitMs);
    checkWritesFailedSince(rig, firstAfterLoss);
    if (QTest::currentTestFailed())
        return;

    c.cmdStop_Click();
    QVERIFY(!rig.state().PortOpen);
    checkReportedThenRecovers(rig, lostPath);
}

void TestDeviceFaults::deviceLostDuringEffect_data() {
    QTest::addColumn<QString>("effect");
    QTest::newRow("spin") << QStringLiteral("spin");
    QTest::newRow("gradient pass") << QStringLiteral("gradient");
    QTest::newRow("light program") << QStringLiteral("program");
}

// The device goes while an effect runs: the effect goes on sending into failing writes, ends
// when it is stopped, and the controller stays usable.
void TestDeviceFaults::deviceLostDuringEffect() {
    QFETCH(QString, effect);
    std::unique_ptr<Pty> device;
    plugIn(device);
    if (QTest::currentTestFailed())
        return;
    E2eRig rig;
    rig.load(Com);
    Controller& c = rig.controller();
    LightState& state = rig.state();

    // Records longer than the guard's time, so only End Program ends the run in time.
    if (effect == QLatin1String("program")) {
        const QString path =
            rig.writeProgram(QStringLiteral("two.csv"),
                             "Segment,Start Hz,End Hz,Start level,End level,Seconds\r\n"
                             "1,4,4,255,255,30\r\n"
                             "2,4,4,255,255,30\r\n");
        QVERIFY(!path.isEmpty());
        rig.window().fileAnswers << path;
    }

    // While the effect pumps events, the device goes once two frames have reached it, and the
    // effect is stopped once two writes have gone into the lost device. The guard ends an
    // effect that does not stop, so a failure cannot hang the test.
    const QString lostPath = device->slavePath();
    std::optional<TerminalHold> hold;
    QByteArray arrived;
    qsizetype firstAfterLoss = -1;
    bool stopped = false;
    int resultAtStop = 0;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (firstAfterLoss < 0) {
            arrived += device->read(Everything, 0);
            if (arrived.size() < 2 * DarkFrame.size())
                return;
            hold.emplace(lostPath);
            firstAfterLoss = rig.serial().writes().size();
            device->closeMaster();
        } else if (!stopped && rig.serial().writes().size() >= firstAfterLoss + 2) {
            stopped = true;
            resultAtStop = state.LastResult;
            if (effect == QLatin1String("program"))
                c.cndProgramEnd_Click();
            else
                c.cmdStop_Click();
        }
    });
    bool guardFired = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
        guardFired = true;
        state.ProgramRunning = false;
        state.Unloading = true;
    });
    watch.start(5);
    guard.start(WaitMs);

    if (effect == QLatin1String("spin"))
        c.cmdSpin_Click();
    else if (effect == QLatin1String("gradient"))
        c.cmdGradient_Click();
    else
        c.cmdProgramStart_Click();
    watch.stop();

    QVERIFY(!guardFired);
    QVERIFY(stopped);
    QCOMPARE(c.effectsRunning(), 0);
    // The effect was talking to the device before it went, after the opening's dark frame.
    QVERIFY2(arrived.startsWith(DarkFrame), arrived.toHex(' ').constData());
    QVERIFY2(resultAtStop < 0, qPrintable(QString::number(resultAtStop)));
    checkWritesFailedSince(rig, firstAfterLoss);
    if (QTest::currentTestFailed())
        return;
    if (effect == QLatin1String("program")) {
        // The closing dark frame went into the lost device too.
        QCOMPARE(rig.serial().writes().last().bytes, DarkFrame);
        QVERIFY(state.LastResult < 0);
    }
    QVERIFY(rig.window().messages.isEmpty());

    checkIdle();
    if (QTest::currentTestFailed())
        return;
    checkReportedThenRecovers(rig, lostPath);
}

void TestDeviceFaults::portHeldElsewhere_data() {
    QTest::addColumn<bool>("exclusive");
    QTest::newRow("another serial library instance") << false;
    QTest::newRow("an exclusive descriptor") << true;
}

// A port another program holds is reported as already open; once it lets go, the next opening
// works.
void TestDeviceFaults::portHeldElsewhere() {
    QFETCH(bool, exclusive);
    std::unique_ptr<Pty> device;
    plugIn(device);
    if (QTest::currentTestFailed())
        return;
    E2eRig rig;
    rig.load(Com);
    Controller& c = rig.controller();

    QtSerialWsc32 other;
    int fd = -1;
    if (exclusive) {
        const QByteArray slave = QFile::encodeName(device->slavePath());
        QCOMPARE(::chmod(slave.constData(), 0666), 0);
        fd = ::open(slave.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        QVERIFY(fd >= 0);
        QCOMPARE(::ioctl(fd, TIOCEXCL), 0);
    } else {
        QCOMPARE(other.SioReset(Com - 1, SioArg::RxQueue, SioArg::TxQueue), 0);
    }
    {
        // Root ignores exclusive opens.
        std::optional<Unprivileged> nobody;
        if (exclusive)
            nobody.emplace();
        if (nobody && !nobody->effective()) {
            ::close(fd);
            QSKIP("cannot drop root rights here");
        }
        c.cmdFlashOrlesse_Click();
    }
    QCOMPARE(rig.window().messages, QStringList{QStringLiteral("COM port already open")});
    QVERIFY(!rig.state().PortOpen);

    if (exclusive) {
        // The mark stays on the terminal until cleared.
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
    } else {
        QCOMPARE(other.SioDone(Com - 1), 0);
    }
    c.cmdFlashOrlesse_Click();
    QCOMPARE(rig.window().messages.size(), 1);
    QVERIFY(rig.state().PortOpen);
    // The refused opening sent nothing: this opening's dark frame is the first to arrive.
    QCOMPARE(device->read(DarkFrame.size(), WaitMs), DarkFrame);
    // No event ran in between, so no tick: the steady colour follows at once.
    c.cmdStop_Click();
    QCOMPARE(device->read(RedFrame.size(), WaitMs), RedFrame);
}

QTEST_GUILESS_MAIN(TestDeviceFaults)
#include "tst_DeviceFaults.moc"
