// The controller as the window drives it: start-up, the list handlers, Exit, and closing the
// window while an effect runs.
#include <QFile>
#include <QScopeGuard>
#include <QTest>
#include <cmath>

#include "core/QtFlashTimer.h"
#include "settings/ProfileFile.h"
#include "support/Harness.h"
#include "support/TestFiles.h"

namespace {

// The controller with the real flash timer on a clock the test moves (now), COM3 chosen.
struct QtTimerRig {
    explicit QtTimerRig(double start)
        : now(start),
          timer(QtFlashTimer::Strategy::Scheduled, [this] { return now; }),
          controller(serial, timer, clock, window, ports,
                     ProcessINIFile(dir.path(), dir.path() + "/config"), dir.path()) {
        controller.Form_Load();
        controller.settings().ComPortNumber = 3;
    }

    double now;
    QtFlashTimer timer;
    RecordingWsc32 serial;
    VirtualClock clock;
    FakeWindow window;
    FakePortList ports;
    QTemporaryDir dir;
    Controller controller;
};

}  // namespace

class ControllerTest : public QObject {
    Q_OBJECT

  private slots:
    void firstRunStartUp();
    void comListFromThePortBuffer_data();
    void comListFromThePortBuffer();
    void comListRefreshedWhenOpened_data();
    void comListRefreshedWhenOpened();
    void loadedSettingsOutsideTheListsFallBack();
    void storedChoicesAreSelectedThroughTheirHandlers();
    void comPortChoiceSavesAndTouchesNoPort();
    void colourChoiceDoesNotSave();
    void exitWithPortClosedSendsNothing();
    void exitWithPortOpenShutsTheDeviceDownInOrder();
    void exitWhileFlashingSendsTheSteadyColourFirst();
    void leavingDuringAnEffect_data();
    void leavingDuringAnEffect();
    void closingStopsFlashTicksThatAnEffectRearmed();
    void flashTicksAreExactOnlyWhileAPortIsOpen();
    void openingSendsTheDarkFrameFirst_data();
    void openingSendsTheDarkFrameFirst();
    void flashStallsKeepThePhase_data();
    void flashStallsKeepThePhase();
};

void ControllerTest::firstRunStartUp() {
    Harness h;
    h.controller->Form_Load();
    QCOMPARE(h.settings.ComPortNumber, int16_t(0));
    QCOMPARE(h.settings.FlashRate, int16_t(10));
    QCOMPARE(h.window.selected.value(ListId::FlashRate), 9);
    QCOMPARE(h.window.selected.value(ListId::FlashColour), 2);
    QCOMPARE(h.window.selected.value(ListId::Brightness), 3);
    QVERIFY(!h.window.selected.contains(ListId::COMPort));
    QCOMPARE(h.window.items[ListId::FlashRate].size(), 50);
    QCOMPARE(h.window.items[ListId::FlashRate].first(), QString("1"));
    QCOMPARE(h.window.items[ListId::FlashColour],
             (QStringList{"Red", "Yellow", "Green", "Blue", "White"}));
    QCOMPARE(h.window.items[ListId::Brightness], (QStringList{"25%", "50%", "75%", "100%"}));
    QVERIFY(h.window.items[ListId::COMPort].isEmpty());
    QCOMPARE(h.timer.interval(), 50);
    QVERIFY(h.timer.isTicking());
    QCOMPARE(h.state.CurrentColour, QString("00FF00"));
    QCOMPARE(h.state.WhiteCode, QString("00"));
    QVERIFY(!h.state.PortOpen);
    QVERIFY(h.serial.calls().isEmpty());  // no port opened, no frame sent
    QCOMPARE(fileBytes(h.controller->settingsFile().path()),
             QByteArray("[communications]\nVantorbComPort= 0\n[Vantorb]\nFlashRate= 10\n"
                        "FlashColour= 2\nBrightness= 3\n")
                 .replace("\n", ProfileFile::platformLineEnd()));
}

void ControllerTest::comListFromThePortBuffer_data() {
    QTest::addColumn<QList<int>>("entries");
    QTest::addColumn<int>("result");
    QTest::addColumn<QStringList>("items");
    QTest::newRow("3, 0, 5 up to 2") << QList<int>{3, 0, 5} << 2 << QStringList{"Com3", "Com5"};
    QTest::newRow("result stops the scan")
        << QList<int>{3, 4, 5} << 1 << QStringList{"Com3", "Com4"};
    QTest::newRow("negative result") << QList<int>{3} << -1 << QStringList{};
    QTest::newRow("negative entries ignored") << QList<int>{-2, 12} << 1 << QStringList{"Com12"};
    // Any result above 500 examines positions 0 to 500, whatever it would be in 16 bits.
    QList<int> full(501, 0);
    full[0] = 3;
    full[500] = 9;
    for (int result : {501, 32768, 65535, 70000, 98304}) {
        QTest::newRow(qPrintable(QStringLiteral("result %1").arg(result)))
            << full << result << QStringList{"Com3", "Com9"};
    }
    QTest::newRow("result -65536") << full << -65536 << QStringList{};
}

void ControllerTest::comListFromThePortBuffer() {
    QFETCH(QList<int>, entries);
    QFETCH(int, result);
    QFETCH(QStringList, items);
    Harness h;
    h.ports.entries = QList<int32_t>(entries.begin(), entries.end());
    h.ports.result = result;
    h.controller->Form_Load();
    QCOMPARE(h.window.items[ListId::COMPort], items);
    if (!items.isEmpty()) {
        QCOMPARE(h.window.toolTips[ListId::COMPort].first(), "/dev/fake" + items.first().mid(3));
    }
}

void ControllerTest::comListRefreshedWhenOpened_data() {
    QTest::addColumn<QList<int>>("atStart");
    // The ports present at each opening of the list: "n", or "n:what describe() says".
    QTest::addColumn<QList<QStringList>>("openings");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<QStringList>("toolTips");
    QTest::newRow("new ports in number order")
        << QList<int>{3, 5} << QList<QStringList>{{"7", "1", "3", "4", "5"}}
        << QStringList{"Com1", "Com3", "Com4", "Com5", "Com7"}
        << QStringList{"/dev/fake1", "/dev/fake3", "/dev/fake4", "/dev/fake5", "/dev/fake7"};
    QTest::newRow("gone ports stay listed")
        << QList<int>{3, 5, 9} << QList<QStringList>{{"5"}} << QStringList{"Com3", "Com5", "Com9"}
        << QStringList{"(not present) /dev/fake3", "/dev/fake5", "(not present) /dev/fake9"};
    QTest::newRow("a port back again")
        << QList<int>{3, 5} << QList<QStringList>{{"5"}, {"3", "5"}} << QStringList{"Com3", "Com5"}
        << QStringList{"/dev/fake3", "/dev/fake5"};
    QTest::newRow("a gone port keeps what it was")
        << QList<int>{3} << QList<QStringList>{{"3:Adapter (Maker) - /dev/ttyUSB0"}, {}}
        << QStringList{"Com3"} << QStringList{"(not present) Adapter (Maker) - /dev/ttyUSB0"};
    QTest::newRow("empty at start-up") << QList<int>{} << QList<QStringList>{{"2"}}
                                       << QStringList{"Com2"} << QStringList{"/dev/fake2"};
    QTest::newRow("added once, however often opened")
        << QList<int>{3} << QList<QStringList>{{"4"}, {"4"}, {"3", "4"}}
        << QStringList{"Com3", "Com4"} << QStringList{"/dev/fake3", "/dev/fake4"};
}

void ControllerTest::comListRefreshedWhenOpened() {
    QFETCH(QList<int>, atStart);
    QFETCH(QList<QStringList>, openings);
    QFETCH(QStringList, items);
    QFETCH(QStringList, toolTips);
    Harness h;
    h.ports.entries = QList<int32_t>(atStart.begin(), atStart.end());
    h.ports.result = int32_t(atStart.size()) - 1;
    h.controller->Form_Load();
    for (const QStringList& present : openings) {
        h.ports.entries.clear();
        h.ports.descriptions.clear();
        for (const QString& port : present) {
            const int number = port.section(':', 0, 0).toInt();
            h.ports.entries.append(number);
            if (port.contains(':')) {
                h.ports.descriptions[number] = port.section(':', 1);
            }
        }
        h.ports.result = int32_t(present.size()) - 1;
        h.controller->ComboCOMPort_DropDown();
    }
    QCOMPARE(h.window.items[ListId::COMPort], items);
    QCOMPARE(h.window.toolTips[ListId::COMPort], toolTips);
    QVERIFY(!h.window.selected.contains(ListId::COMPort));
    QVERIFY(h.serial.calls().isEmpty());
}

void ControllerTest::loadedSettingsOutsideTheListsFallBack() {
    Harness h;
    putFile(h.controller->settingsFile().path(),
            "[communications]\nVantorbComPort=4\n[Vantorb]\nFlashRate=99\nFlashColour=7\n"
            "Brightness=-1\n");
    h.controller->Form_Load();
    QCOMPARE(h.settings.ComPortNumber, int16_t(4));
    QCOMPARE(h.settings.FlashRate, int16_t(10));
    QCOMPARE(h.settings.FlashColourIndex, int16_t(2));
    QCOMPARE(h.settings.BrightnessIndex, int16_t(3));
    QCOMPARE(h.window.selected.value(ListId::FlashRate), 9);
    QVERIFY(fileBytes(h.controller->settingsFile().path()).contains("FlashRate= 10"));
}

void ControllerTest::storedChoicesAreSelectedThroughTheirHandlers() {
    Harness h;
    putFile(h.controller->settingsFile().path(),
            "[Vantorb]\nFlashRate=40\nFlashColour=1\nBrightness=0\n");
    h.controller->Form_Load();
    QCOMPARE(h.timer.interval(), 12);
    QCOMPARE(h.state.LevelHex, QString("22"));
    QCOMPARE(h.state.CurrentColour, QString("222200"));
    QCOMPARE(h.window.selected.value(ListId::FlashColour), 1);
    QCOMPARE(h.window.selected.value(ListId::Brightness), 0);
}

void ControllerTest::comPortChoiceSavesAndTouchesNoPort() {
    Harness h;
    h.controller->Form_Load();
    h.serial.clearCalls();
    h.controller->ComboCOMPort_Click("Com12");
    QCOMPARE(h.settings.ComPortNumber, int16_t(12));
    QVERIFY(fileBytes(h.controller->settingsFile().path()).contains("VantorbComPort= 12"));
    QVERIFY(h.serial.calls().isEmpty());
}

void ControllerTest::colourChoiceDoesNotSave() {
    Harness h;
    h.controller->Form_Load();
    h.controller->ComboFlashColour_Click(4);
    QCOMPARE(h.state.CurrentColour, QString("FFFFFF"));
    QVERIFY(fileBytes(h.controller->settingsFile().path()).contains("FlashColour= 2"));
    h.controller->Form_Unload();
    QVERIFY(fileBytes(h.controller->settingsFile().path()).contains("FlashColour= 4"));
}

void ControllerTest::exitWithPortClosedSendsNothing() {
    Harness h;
    h.controller->Form_Load();
    h.serial.clearCalls();
    h.controller->cmdExit_Click();
    QVERIFY(h.serial.calls().isEmpty());
    QCOMPARE(h.window.closeRequests, 1);
}

void ControllerTest::exitWithPortOpenShutsTheDeviceDownInOrder() {
    Harness h;
    h.controller->Form_Load();
    h.controller->ComboFlashColour_Click(0);
    h.openPortAndClear();
    h.controller->cmdExit_Click();
    QCOMPARE(
        h.serial.callNames(),
        (QStringList{"SioPuts", "SioDone", "SioDone", "SioReset", "SioBaud", "SioParms", "SioDTR",
                     "SioRTS", "SioPuts", "SioPuts", "SioPuts", "SioPuts", "SioPuts", "SioDone"}));
    QCOMPARE(h.delivered(),
             (QList<QByteArray>{Harness::soh("00", "FF0000"), Harness::soh("00", "000000"),
                                Harness::stx("01", "FF0000"), Harness::stx("02", "00FF00"),
                                Harness::stx("03", "0000FF"), Harness::stx("04", "FFFF00")}));
    QVERIFY(!h.serial.isOpen(h.state.PortIndex));
    QCOMPARE(h.window.closeRequests, 1);
}

void ControllerTest::exitWhileFlashingSendsTheSteadyColourFirst() {
    Harness h;
    h.controller->Form_Load();
    h.controller->cmdFlashOrlesse_Click();
    h.clock.runFor(0.12);
    h.serial.clearCalls();
    h.controller->cmdExit_Click();
    h.clock.runFor(1.0);
    QCOMPARE(h.written().first(), Harness::soh("00", "00FF00"));
    QCOMPARE(h.written().size(), 6);  // no tick after Exit
}

void ControllerTest::leavingDuringAnEffect_data() {
    QTest::addColumn<QString>("effect");
    QTest::addColumn<bool>("byExit");
    for (const char* effect : {"spin", "gradient"}) {
        QTest::newRow(QByteArray(effect).append(", Exit").constData()) << effect << true;
        QTest::newRow(QByteArray(effect).append(", window closed").constData()) << effect << false;
    }
}

void ControllerTest::leavingDuringAnEffect() {
    QFETCH(QString, effect);
    QFETCH(bool, byExit);
    Harness h;
    h.controller->Form_Load();
    h.openPortAndClear();
    // A choice the file does not hold yet: only the unload's save can write it.
    h.controller->settings().FlashRate = 37;
    int writesAtLeave = -1;
    bool mayGoAtOnce = true;
    h.clock.at(h.clock.now() + 0.5, [&] {
        if (byExit) {
            h.controller->cmdExit_Click();
            // Exit's own request reaches the window, which asks whether it may go.
            mayGoAtOnce = h.controller->Form_QueryUnload();
        } else {
            mayGoAtOnce = h.controller->Form_QueryUnload();
        }
        writesAtLeave = static_cast<int>(h.serial.writes().size());
        QCOMPARE(h.window.closeRequests, byExit ? 1 : 0);
    });
    if (effect == "spin") {
        h.controller->cmdSpin_Click();
    } else {
        h.controller->cmdGradient_Click();
    }
    QVERIFY(!mayGoAtOnce);
    QCOMPARE(h.controller->effectsRunning(), 0);
    // The effect ended at once and sent nothing more; then the window was closed for good.
    QCOMPARE(h.serial.writes().size(), writesAtLeave);
    QCOMPARE(h.window.closeRequests, byExit ? 2 : 1);
    QVERIFY(h.controller->Form_QueryUnload());
    QVERIFY(h.clock.now() < 1.0 + 1000.0);
    // The window's final close unloads, which saves the settings as they are now.
    h.controller->Form_Unload();
    QVERIFY(QString::fromLatin1(fileBytes(h.controller->settingsFile().path()))
                .contains(QStringLiteral("FlashRate= 37")));
}

void ControllerTest::closingStopsFlashTicksThatAnEffectRearmed() {
    Harness h;
    h.controller->Form_Load();
    const double start = h.clock.now();
    qsizetype writesAtClose = -1;
    // Flashing started from inside the spin's wait arms the timer again.
    h.clock.at(start + 0.3, [&h] { h.controller->cmdFlashOrlesse_Click(); });
    h.clock.at(start + 0.5, [&] {
        QVERIFY(!h.controller->Form_QueryUnload());
        writesAtClose = h.serial.writes().size();
    });
    h.controller->cmdSpin_Click();
    h.clock.runFor(1.0);
    QCOMPARE(h.serial.writes().size(), writesAtClose);
    QCOMPARE(h.window.closeRequests, 1);
}

void ControllerTest::flashTicksAreExactOnlyWhileAPortIsOpen() {
    // The timer is asked to make its ticks exact exactly while a port is open or opening, and
    // is told before a port opens; a failed opening leaves no port open.
    Harness h;
    h.controller->Form_Load();
    QVERIFY(!h.timer.precisionWanted());
    int callsBeforeOpening = -1;
    h.serial.clearCalls();
    h.controller->port().setLinkChangeHandler([&] {
        if (callsBeforeOpening < 0) {
            callsBeforeOpening = static_cast<int>(h.serial.calls().size());
        }
    });
    h.controller->cmdFlashOrlesse_Click();
    QCOMPARE(h.serial.callNames().mid(0, callsBeforeOpening + 1),
             (QStringList{"SioDone", "SioReset"}));
    QVERIFY(h.timer.precisionWanted());
    h.controller->cmdStop_Click();
    QVERIFY(!h.timer.precisionWanted());
    h.serial.failWith("SioRTS", -3);
    h.controller->cmdFlashOrlesse_Click();
    QVERIFY(!h.state.PortOpen);
    QCOMPARE(h.state.LastResult, -3);
    QVERIFY(!h.serial.isOpen(h.state.PortIndex));
    QVERIFY(!h.timer.precisionWanted());
}

void ControllerTest::openingSendsTheDarkFrameFirst_data() {
    QTest::addColumn<double>("openingTakes");  // seconds SioReset takes
    QTest::newRow("opening at once") << 0.0;
    QTest::newRow("opening while four ticks fall due") << 0.2;
    QTest::newRow("opening for two seconds") << 2.0;
}

void ControllerTest::openingSendsTheDarkFrameFirst() {
    // The real flash timer on a clock the test moves. Flashing goes on after a failed opening,
    // its ticks held back while no port is open; when Flash opens the port again, however
    // long the opening takes, the dark frame is the first and only frame written to the new
    // port before control returns to the event loop.
    QFETCH(double, openingTakes);
    QtTimerRig rig(5000);
    double& now = rig.now;
    QtFlashTimer& timer = rig.timer;
    RecordingWsc32& serial = rig.serial;
    Controller& controller = rig.controller;
    serial.failWith("SioReset", SioCode::CannotOpen);
    controller.cmdFlashOrlesse_Click();
    QCOMPARE(rig.window.messages.size(), 1);
    QVERIFY(timer.isTicking());
    now += 0.5;

    serial.clearFailure("SioReset");
    serial.setReturnHook([&](const QString& function) {
        if (function == QLatin1String("SioReset")) {
            now += openingTakes;
        }
    });
    serial.clearCalls();
    controller.cmdFlashOrlesse_Click();
    QVERIFY(controller.state().PortOpen);
    QCOMPARE(serial.sentFrames(), QList<QByteArray>{Harness::soh("00", "000000")});
    QVERIFY(timer.nextTickPrecise());
}

void ControllerTest::flashStallsKeepThePhase_data() {
    QTest::addColumn<double>("lateTicks");  // how late tick 9 is delivered, in 10 ms ticks
    QTest::newRow("1.5 ticks") << 1.5;
    QTest::newRow("3.2 ticks") << 3.2;
    QTest::newRow("40.4 ticks") << 40.4;
    QTest::newRow("120.3 ticks, past the bound") << 120.3;
}

void ControllerTest::flashStallsKeepThePhase() {
    // Flashing at 50 Hz with the real flash timer on a clock the test moves (the alarms, armed
    // for times long past on the real clock, go off at the first pass of the event loop). A
    // late wake sends only the latest tick due, in the phase of the schedule, and the ticks
    // after it keep to the schedule; past the bound the schedule counts from the wake.
    QFETCH(double, lateTicks);
    QtTimerRig rig(10);
    double& now = rig.now;
    QtFlashTimer& timer = rig.timer;
    RecordingWsc32& serial = rig.serial;
    Controller& controller = rig.controller;
    controller.ComboFlashRate_Click(49);
    controller.cmdFlashOrlesse_Click();
    // An alarm left armed would poll a clock that no longer moves.
    const auto stop = qScopeGuard([&timer] { timer.setInterval(0); });
    QCOMPARE(timer.interval(), 10);
    const double phase = timer.phaseStart();
    const QByteArray dark = Harness::soh("00", "000000");
    // Moves the clock to when and handles events until a frame is written: 1 for a lit one,
    // 0 for a dark one, -1 when there was none or more than one.
    auto deliverAt = [&](double when) {
        now = when;
        const qsizetype before = serial.sentFrames().size();
        for (int pass = 0; pass < 100000 && serial.sentFrames().size() == before; ++pass) {
            QCoreApplication::processEvents();
        }
        if (serial.sentFrames().size() != before + 1) {
            return -1;
        }
        return serial.sentFrames().last() != dark ? 1 : 0;
    };
    // Whether tick k lights the device: every other tick, the first one as it came.
    const int first = deliverAt(phase + 0.01);
    QVERIFY(first >= 0);
    auto lit = [first](qint64 tick) { return tick % 2 == 1 ? first : 1 - first; };
    for (int tick = 2; tick <= 8; ++tick) {
        QCOMPARE(deliverAt(phase + tick * 0.01), lit(tick));
    }
    const double wake = phase + (9 + lateTicks) * 0.01;
    const auto skipped = static_cast<qint64>(std::floor(lateTicks));
    const qint64 latest = 9 + skipped;
    QCOMPARE(deliverAt(wake), lit(latest));
    QCOMPARE(timer.stalls().skipped, skipped);
    const bool restarted = lateTicks * 0.01 > Pacing::RestartAfter;
    QCOMPARE(timer.stalls().restarts, qint64(restarted ? 1 : 0));
    const double grid = restarted ? wake - latest * 0.01 : phase;
    QCOMPARE(timer.phaseStart(), restarted ? wake : phase);
    for (qint64 tick = latest + 1; tick <= latest + 4; ++tick) {
        QCOMPARE(deliverAt(grid + static_cast<double>(tick) * 0.01), lit(tick));
        QVERIFY(qAbs(timer.nextWake() + timer.wakeMargin() - (grid + (tick + 1) * 0.01)) < 1e-9);
    }
}

QTEST_GUILESS_MAIN(ControllerTest)
#include "tst_Controller.moc"
