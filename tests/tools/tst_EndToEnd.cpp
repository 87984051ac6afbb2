// The controller on its real backends drives the vantorb-sim program over a pseudo-terminal;
// the frames the simulator decodes and logs must be exactly the frames of each operation.

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <memory>

#include "device/ComPorts.h"
#include "support/E2eRig.h"
#include "support/SimulatorLog.h"

namespace {

constexpr int SimCom = 61;
constexpr int StartTimeoutMs = 10000;
constexpr int LogTimeoutMs = 20000;

const QString Dark = QStringLiteral("SOH 00 000000");
const QString Red = QStringLiteral("FF0000");
const QString Full = QStringLiteral("FFFFFF");

// The standard segment colours, as the simulator logs them.
const QStringList StandardColours{QStringLiteral("STX 01 FF0000"), QStringLiteral("STX 02 00FF00"),
                                  QStringLiteral("STX 03 0000FF"), QStringLiteral("STX 04 FFFF00")};

// The flash colours at full level, in list order (Red, Yellow, Green, Blue, White).
const QStringList FlashColours{QStringLiteral("FF0000"), QStringLiteral("FFFF00"),
                               QStringLiteral("00FF00"), QStringLiteral("0000FF"),
                               QStringLiteral("FFFFFF")};

QString soh(const QString& address, const QString& colour) {
    return QStringLiteral("SOH %1 %2").arg(address, colour);
}

// A frame as the simulator's log writes it: "SOH 80 FF0000".
QString logText(const QByteArray& frame) {
    const QString lead = frame.startsWith('\x01')   ? QStringLiteral("SOH")
                         : frame.startsWith('\x02') ? QStringLiteral("STX")
                                                    : QStringLiteral("???");
    return QStringLiteral("%1 %2 %3")
        .arg(lead, QString::fromLatin1(frame.mid(1, 2)), QString::fromLatin1(frame.mid(3, 6)));
}

QStringList logTexts(const QList<QByteArray>& frames) {
    QStringList texts;
    for (const QByteArray& frame : frames) {
        texts << logText(frame);
    }
    return texts;
}

// The frames of a spin from its first revolution, the first count of them. Each revolution
// darkens the previous segment and lights the next, 1 to 4, in the next flash colour; only the
// two frames of segment 1 carry the white bit when the box is ticked.
QStringList spinFrames(int firstColour, bool white, qsizetype count) {
    QStringList frames;
    for (int revolution = 0; frames.size() < count; ++revolution) {
        const QString colour = FlashColours[(firstColour + revolution) % FlashColours.size()];
        frames << soh(white ? QStringLiteral("84") : QStringLiteral("04"), QStringLiteral("000000"))
               << soh(white ? QStringLiteral("81") : QStringLiteral("01"), colour);
        for (int segment = 2; segment <= 4; ++segment) {
            frames << soh(QStringLiteral("0%1").arg(segment - 1), QStringLiteral("000000"))
                   << soh(QStringLiteral("0%1").arg(segment), colour);
        }
    }
    return frames.mid(0, count);
}

// Flashing as the device sees it: the dark frame of the port opening, then ticks alternating
// lit and dark from the phase after litBefore up to litAfter, then tail. Sets ticks to their
// number.
void checkFlashing(const QStringList& frames, const QString& lit, bool litBefore, bool litAfter,
                   const QStringList& tail, int& ticks) {
    ticks = int(frames.size() - 1 - tail.size());
    QVERIFY2(ticks >= 0, qPrintable(frames.join(QLatin1Char('|'))));
    QStringList expected{Dark};
    bool phase = litBefore;
    for (int i = 0; i < ticks; ++i) {
        phase = !phase;
        expected << (phase ? lit : Dark);
    }
    expected << tail;
    QCOMPARE(frames, expected);
    // The phase the last tick left must be the one the controller reports: this tells a final
    // steady frame from a lit tick.
    QCOMPARE(phase, litAfter);
}

// Splits off a run of frames that alternate lit and dark from the front of frames, starting
// lit, and returns its length.
qsizetype takeAlternating(QStringList& frames, const QString& lit) {
    qsizetype n = 0;
    while (n < frames.size() && frames[n] == (n % 2 == 0 ? lit : Dark)) {
        ++n;
    }
    frames.remove(0, n);
    return n;
}

}  // namespace

class TestEndToEnd : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void init();
    void cleanup();

    void singleOperations_data();
    void singleOperations();
    void flashingThenStop();
    void spinThenStop_data();
    void spinThenStop();
    void exitWhileFlashing();
    void flashingResumesWhenTheSimulatorReturns();
    void lightProgram_data();
    void lightProgram();

  private:
    // Starts the simulator on SimCom, logging to logName in the work folder.
    void startSimulator(const QString& logName);
    // Ends the simulator as a user does, and waits for it.
    void stopSimulator();
    // Waits until the log holds at least count entries (or the time is up) and returns them.
    QStringList waitForLog(qsizetype count) const;
    // Waits until the controller has written count frames that the library took.
    void waitForAccepted(qsizetype count) const;
    // The frames the library accepted as the simulator must have logged them: waits for them
    // and checks that every one arrived unchanged, in order, and nothing else.
    void checkTransport(QStringList& frames) const;

    QString m_program;
    QTemporaryDir m_data;
    std::unique_ptr<QTemporaryDir> m_work;
    QString m_log;
    std::unique_ptr<QProcess> m_sim;
    std::unique_ptr<E2eRig> m_rig;
};

void TestEndToEnd::initTestCase() {
    QVERIFY(m_data.isValid());
    // Before anything reads the per-user data folder: the simulator publishes its COM link
    // there and the controller looks it up there.
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_data.path()));
    const QString bin = qEnvironmentVariable("ORLESSE_TEST_BIN");
    if (bin.isEmpty()) {
        QSKIP("ORLESSE_TEST_BIN is not set");
    }
    m_program = bin + QStringLiteral("/vantorb-sim");
    QVERIFY2(QFileInfo(m_program).isExecutable(), qPrintable(m_program));
}

void TestEndToEnd::init() {
    m_work = std::make_unique<QTemporaryDir>();
    QVERIFY(m_work->isValid());
    startSimulator(QStringLiteral("frames.log"));
    if (QTest::currentTestFailed()) {
        return;
    }
    m_rig = std::make_unique<E2eRig>();
    m_rig->load(SimCom);
}

void TestEndToEnd::startSimulator(const QString& logName) {
    m_log = m_work->filePath(logName);
    m_sim = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), m_data.path());
    m_sim->setProcessEnvironment(env);
    m_sim->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_sim->start(m_program, {QStringLiteral("--headless"), QStringLiteral("--com"),
                             QString::number(SimCom), QStringLiteral("--log"), m_log});
    QVERIFY(m_sim->waitForStarted(StartTimeoutMs));
    const QDeadlineTimer deadline(StartTimeoutMs);
    while (!m_sim->canReadLine() && m_sim->state() == QProcess::Running && !deadline.hasExpired()) {
        m_sim->waitForReadyRead(100);
    }
    const QString banner = QString::fromLocal8Bit(m_sim->readLine()).trimmed();
    QVERIFY2(banner.startsWith(QStringLiteral("vantorb-sim: COM%1 -> ").arg(SimCom)),
             qPrintable(banner));
    QVERIFY(QFileInfo(ComPorts::devicePath(SimCom)).isSymLink());
}

void TestEndToEnd::stopSimulator() {
    const std::unique_ptr<QProcess> sim = std::move(m_sim);
    if (!sim) {
        return;
    }
    if (sim->state() != QProcess::NotRunning) {
        ::kill(static_cast<pid_t>(sim->processId()), SIGTERM);
        if (!sim->waitForFinished(StartTimeoutMs)) {
            sim->kill();
            sim->waitForFinished(StartTimeoutMs);
            QFAIL("the simulator did not end on SIGTERM");
        }
    }
    // Status 0 also means that, in the sanitizer build, it ended with no leak or error found.
    QCOMPARE(sim->exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim->exitCode(), 0);
}

void TestEndToEnd::cleanup() {
    m_rig.reset();
    stopSimulator();
    m_work.reset();
}

QStringList TestEndToEnd::waitForLog(qsizetype count) const {
    QStringList entries;
    // The caller compares what there is.
    (void)QTest::qWaitFor(
        [&] {
            entries = simulatorLogEntries(m_log);
            return entries.size() >= count;
        },
        LogTimeoutMs);
    return entries;
}

void TestEndToEnd::waitForAccepted(qsizetype count) const {
    QTRY_VERIFY_WITH_TIMEOUT(m_rig->serial().accepted().size() >= count, LogTimeoutMs);
}

void TestEndToEnd::checkTransport(QStringList& frames) const {
    const QStringList accepted = logTexts(m_rig->serial().accepted());
    frames = waitForLog(accepted.size());
    QCOMPARE(frames, accepted);
}

void TestEndToEnd::singleOperations_data() {
    QTest::addColumn<QStringList>("operations");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("Switch Off, port closed") << QStringList{"switchOff"} << QStringList{Dark, Dark};
    QTest::newRow("Reset Colours, port closed")
        << QStringList{"reset"} << (QStringList{Dark} + StandardColours);
    QTest::newRow("Reset Colours keeps the port open")
        << QStringList{"reset", "reset"} << (QStringList{Dark} + StandardColours + StandardColours);
    QTest::newRow("Switch Off after Reset Colours")
        << QStringList{"reset", "switchOff"}
        << (QStringList{Dark} + StandardColours + QStringList{Dark});
    QTest::newRow("Stop Flashing with the port closed sends nothing")
        << QStringList{"stop", "switchOff"} << QStringList{Dark, Dark};
    QTest::newRow("Exit with the port closed sends nothing")
        << QStringList{"exit", "switchOff"} << QStringList{Dark, Dark};
}

void TestEndToEnd::singleOperations() {
    QFETCH(QStringList, operations);
    QFETCH(QStringList, expected);

    Controller& c = m_rig->controller();
    for (const QString& operation : operations) {
        if (operation == QLatin1String("switchOff")) {
            c.cmdSwitchOff_Click();
        } else if (operation == QLatin1String("reset")) {
            c.cmdResetColours_Click();
        } else if (operation == QLatin1String("stop")) {
            c.cmdStop_Click();
        } else if (operation == QLatin1String("exit")) {
            c.cmdExit_Click();
        }
    }
    QVERIFY2(m_rig->window().messages.isEmpty(), qPrintable(m_rig->window().messages.join('|')));

    QStringList frames;
    checkTransport(frames);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(frames, expected);
}

void TestEndToEnd::flashingThenStop() {
    Controller& c = m_rig->controller();
    LightState& state = m_rig->state();

    const bool litBefore = state.FlashLit;
    c.cmdFlashOrlesse_Click();
    QVERIFY(m_rig->window().messages.isEmpty());
    QVERIFY(state.PortOpen);
    const int interval = m_rig->timer().interval();
    QVERIFY(interval > 0);
    const double phase = m_rig->timer().phaseStart();
    const double startedAt = steadySeconds();
    // About a second at this rate: the opening's dark frame and 20 ticks.
    waitForAccepted(21);
    if (QTest::currentTestFailed())
        return;
    const bool litAtStop = state.FlashLit;
    const double stoppedAt = steadySeconds();
    c.cmdStop_Click();
    QVERIFY(!state.PortOpen);

    QStringList frames;
    checkTransport(frames);
    if (QTest::currentTestFailed())
        return;
    int ticks = 0;
    checkFlashing(frames, soh("00", Red), litBefore, litAtStop, {soh("00", Red)}, ticks);
    if (QTest::currentTestFailed()) {
        return;
    }
    // Ticks fall due at phase + k * interval (the phase may date from start-up). A tick handled
    // late never moves the later ones, so only a stall longer than an interval on a loaded
    // machine loses one; a timer running slow or fast by a tenth already fails. One tick due
    // just before the start may still be pending when the port opens.
    auto dueBy = [&](double time) { return int((time - phase) * 1000.0 / interval); };
    const int due = dueBy(stoppedAt) - dueBy(startedAt);
    QVERIFY2(ticks >= due - 2 && ticks <= due + 1,
             qPrintable(QStringLiteral("%1 ticks, %2 due").arg(ticks).arg(due)));

    // Stopped: no tick is to come, and nothing more reached the device before a marker sent
    // afterwards.
    QVERIFY(!m_rig->timer().isTicking());
    QCOMPARE(simulatorLogThroughMarker(SimCom, m_log, LogTimeoutMs),
             frames + QStringList{MarkerLogText});
}

void TestEndToEnd::spinThenStop_data() {
    QTest::addColumn<int>("whiteBox");
    QTest::newRow("white box clear") << 0;
    QTest::newRow("white box ticked") << 1;
}

void TestEndToEnd::spinThenStop() {
    QFETCH(int, whiteBox);
    Controller& c = m_rig->controller();
    LightState& state = m_rig->state();
    m_rig->window().whiteBox = whiteBox;

    // Stop Flashing is clicked while the spin pumps events, once it has sent ten frames (it is
    // in its second revolution then); the guard ends a spin that does not stop, so a failure
    // cannot hang the test.
    bool stopped = false;
    bool guardFired = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (!stopped && m_rig->serial().accepted().size() >= 1 + 10) {
            stopped = true;
            c.cmdStop_Click();
        }
    });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
        guardFired = true;
        state.Unloading = true;
    });
    watch.start(5);
    guard.start(LogTimeoutMs);
    c.cmdSpin_Click();
    watch.stop();
    QVERIFY(stopped);
    QVERIFY(!guardFired);
    QVERIFY(!state.PortOpen);
    QVERIFY(m_rig->window().messages.isEmpty());

    QStringList frames;
    checkTransport(frames);
    if (QTest::currentTestFailed())
        return;
    // The opening's dark frame, the spin up to the click, then the steady colour of the
    // revolution that was under way.
    const qsizetype spun = frames.size() - 2;
    QVERIFY2(spun >= 8, qPrintable(frames.join(QLatin1Char('|'))));
    const QString steady = soh("00", FlashColours[((spun - 1) / 8) % FlashColours.size()]);
    QCOMPARE(frames, QStringList{Dark} + spinFrames(0, whiteBox == 1, spun) + QStringList{steady});
}

void TestEndToEnd::exitWhileFlashing() {
    Controller& c = m_rig->controller();
    LightState& state = m_rig->state();

    const bool litBefore = state.FlashLit;
    c.cmdFlashOrlesse_Click();
    QVERIFY(state.PortOpen);
    // The opening's dark frame and a few ticks.
    waitForAccepted(5);
    if (QTest::currentTestFailed())
        return;
    const bool litAtExit = state.FlashLit;
    c.cmdExit_Click();
    QCOMPARE(m_rig->window().closeRequests, 1);
    QVERIFY(!state.PortOpen);
    QVERIFY(m_rig->window().messages.isEmpty());

    QStringList frames;
    checkTransport(frames);
    if (QTest::currentTestFailed())
        return;
    // The steady colour, the port reopened (dark), the four standard colours.
    int ticks = 0;
    checkFlashing(frames, soh("00", Red), litBefore, litAtExit,
                  QStringList{soh("00", Red), Dark} + StandardColours, ticks);
    if (QTest::currentTestFailed()) {
        return;
    }
    QVERIFY(ticks >= 1);

    // No tick follows, the timer being off and the port closed: a marker sent afterwards is the
    // next frame the device sees.
    QVERIFY(!m_rig->timer().isTicking());
    QCOMPARE(simulatorLogThroughMarker(SimCom, m_log, LogTimeoutMs),
             frames + QStringList{MarkerLogText});
}

// The simulator is stopped and started again on the same COM number while flashing: the
// frames go on into the new one with no user action and no message.
void TestEndToEnd::flashingResumesWhenTheSimulatorReturns() {
    Controller& c = m_rig->controller();
    LightState& state = m_rig->state();
    c.cmdFlashOrlesse_Click();
    QVERIFY(state.PortOpen);
    QVERIFY(waitForLog(4).size() >= 4);

    stopSimulator();
    // The controller meets the lost device: a tick's write fails.
    QTRY_VERIFY_WITH_TIMEOUT(m_rig->serial().writes().last().result < 0, LogTimeoutMs);
    startSimulator(QStringLiteral("again.log"));
    if (QTest::currentTestFailed()) {
        return;
    }
    const QStringList resumed = waitForLog(4);
    QVERIFY2(resumed.size() >= 4, qPrintable(resumed.join(QLatin1Char('|'))));
    c.cmdStop_Click();
    QVERIFY(m_rig->window().messages.isEmpty());

    // Frames failed while it was away; every one the library took after that reached the new
    // simulator, in order: ticks alternating lit and dark, then the steady colour.
    const QList<E2eSerialTap::Write>& writes = m_rig->serial().writes();
    qsizetype back = writes.size();
    while (back > 0 && writes[back - 1].result >= 0) {
        --back;
    }
    QVERIFY(back > 0);
    QList<QByteArray> sent;
    for (qsizetype i = back; i < writes.size(); ++i) {
        sent.append(writes[i].bytes);
    }
    const QStringList frames = waitForLog(sent.size());
    QCOMPARE(frames, logTexts(sent));
    const QString lit = soh("00", Red);
    for (qsizetype i = 0; i + 1 < frames.size(); ++i) {
        QVERIFY2((frames[i] == lit || frames[i] == Dark) && (i == 0 || frames[i] != frames[i - 1]),
                 qPrintable(frames.join(QLatin1Char('|'))));
    }
    QCOMPARE(frames.last(), lit);
}

void TestEndToEnd::lightProgram_data() {
    QTest::addColumn<bool>("endEarly");
    QTest::newRow("played to its end") << false;
    QTest::newRow("ended by End Program after a lit frame") << true;
}

void TestEndToEnd::lightProgram() {
    QFETCH(bool, endEarly);
    Controller& c = m_rig->controller();
    LightState& state = m_rig->state();
    FakeWindow& window = m_rig->window();

    // Two one-second records at 4 Hz and full level.
    const QString path =
        m_rig->writeProgram(QStringLiteral("short.csv"),
                            "Segment,Start Hz,End Hz,Start level,End level,Seconds\r\n"
                            "1,4,4,255,255,1\r\n"
                            "2,4,4,255,255,1\r\n");
    QVERIFY(!path.isEmpty());
    window.fileAnswers << path;
    const QString lit80 = soh("80", Full);
    const QString lit00 = soh("00", Full);

    // The box is read at the start of each record: ticked for the first, and cleared once the
    // first record has sent its first lit frame, a second before the second record starts.
    // When ending early, End Program is clicked in the wait that follows the second lit frame,
    // so the run's last frame before its closing frame is lit.
    window.whiteBox = 1;
    bool ended = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const QStringList sent = logTexts(m_rig->serial().accepted());
        if (sent.contains(lit80)) {
            window.whiteBox = 0;
        }
        if (endEarly && !ended && sent.count(lit80) >= 2 && sent.last() == lit80) {
            ended = true;
            c.cndProgramEnd_Click();
        }
    });
    watch.start(5);
    bool guardFired = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
        guardFired = true;
        state.Unloading = true;
    });
    guard.start(12000);

    QElapsedTimer clock;
    clock.start();
    c.cmdProgramStart_Click();
    const qint64 elapsed = clock.elapsed();
    watch.stop();
    QVERIFY(!guardFired);
    QCOMPARE(window.dialogs.size(), 1);
    QVERIFY2(window.messages.isEmpty(), qPrintable(window.messages.join('|')));
    QCOMPARE(ended, endEarly);
    QCOMPARE(int(state.LastResult), 11);
    QVERIFY(state.PortOpen);

    QStringList frames;
    checkTransport(frames);
    if (QTest::currentTestFailed())
        return;
    const QString all = frames.join(QLatin1Char('|'));
    // The port opening's dark frame first, the closing dark frame last.
    QVERIFY2(frames.size() >= 2 && frames.first() == Dark && frames.last() == Dark,
             qPrintable(all));
    QStringList body = frames.mid(1, frames.size() - 2);
    const qsizetype first = takeAlternating(body, lit80);
    if (endEarly) {
        QVERIFY2(first >= 3 && first % 2 == 1 && body.isEmpty(), qPrintable(all));
        return;
    }
    const qsizetype second = takeAlternating(body, lit00);
    QVERIFY2(body.isEmpty(), qPrintable(all));
    // At most 2 x 4 frames in a second, fewer when the machine is slow.
    QVERIFY2(first >= 2 && first <= 9 && second >= 2 && second <= 9, qPrintable(all));
    // Both records played their whole second.
    QVERIFY2(elapsed >= 1900, qPrintable(QString::number(elapsed)));
    QCOMPARE(window.title(), QStringLiteral("segment id #2(4Hz)"));
}

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_EndToEnd.moc"
