// Flashing: the timer's interval rule, the tick phases, Stop Flashing and Switch Off.
#include <QTest>

#include "light/Flashing.h"
#include "support/Harness.h"

namespace {

const QByteArray Dark(
    "\x01"
    "00000000\r\n",
    11);

}  // namespace

class FlashingTest : public QObject {
    Q_OBJECT

  private slots:
    void intervalRule_data();
    void intervalRule();
    void startFlashesAtTheChosenRate();
    void ticksAlternateAndKeepThePhaseAcrossStarts();
    void tickedBoxLightsWhiteWithTheColour();
    void stopFlashingFlagStopsTheTimerAtTheNextTick();
    void stopWithPortClosedDoesNothing();
    void stopLeavesTheColourOnAndCloses();
    void switchOffWithPortClosedOpensSendsBlackAndCloses();
    void switchOffGivesUpWhenThePortWillNotOpen();
    void ticksFromStartUpWriteToTheClosedPort();
};

void FlashingTest::intervalRule_data() {
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("interval");
    QTest::newRow("1") << 1 << 500;
    QTest::newRow("2") << 2 << 250;
    QTest::newRow("3") << 3 << 167;
    QTest::newRow("8, half to even") << 8 << 62;
    QTest::newRow("10") << 10 << 50;
    QTest::newRow("40, half to even") << 40 << 12;
    QTest::newRow("50") << 50 << 10;
    QTest::newRow("0 counts as 1") << 0 << 500;
}

void FlashingTest::intervalRule() {
    QFETCH(int, rate);
    QFETCH(int, interval);
    QCOMPARE(Flashing::intervalForRate(rate), interval);
    if (rate >= 1) {
        Harness h;
        h.timer.setEnabled(false);  // the rate list sets the period only: it starts no timer
        h.controller->ComboFlashRate_Click(rate - 1);
        QCOMPARE(h.timer.interval(), interval);
        QVERIFY(!h.timer.isEnabled());
        QCOMPARE(h.settings.FlashRate, int16_t(rate));
    }
}

void FlashingTest::startFlashesAtTheChosenRate() {
    Harness h;
    h.controller->Form_Load();
    h.settings.FlashRate = 10;
    h.timer.setEnabled(false);
    h.controller->cmdFlashOrlesse_Click();
    QCOMPARE(h.timer.interval(), 50);  // 10 Hz, not the 9.5 Hz of a (rate - 0.5) interval
    QVERIFY(h.timer.isEnabled());
    QVERIFY(h.state.PortOpen);

    // One second of flashing on virtual time: 20 ticks, 10 lit frames.
    h.serial.clearCalls();
    h.clock.runFor(1.0 + 1e-9);
    const QList<QByteArray> frames = h.delivered();
    QCOMPARE(frames.size(), 20);
    QCOMPARE(frames.count(Dark), 10);
}

void FlashingTest::ticksAlternateAndKeepThePhaseAcrossStarts() {
    Harness h;
    h.controller->Form_Load();
    h.controller->ComboFlashColour_Click(0);
    h.controller->cmdFlashOrlesse_Click();
    h.serial.clearCalls();
    const QByteArray red(
        "\x01"
        "00FF0000\r\n",
        11);
    QVERIFY(h.timer.fire());
    QVERIFY(h.timer.fire());
    QVERIFY(h.timer.fire());
    QCOMPARE(h.written(), (QList<QByteArray>{red, Dark, red}));
    QVERIFY(h.state.FlashLit);

    // A new start does not reset the phase: the next tick is the dark one.
    h.controller->cmdFlashOrlesse_Click();
    h.serial.clearCalls();
    QVERIFY(h.timer.fire());
    QCOMPARE(h.written(), QList<QByteArray>{Dark});
}

void FlashingTest::tickedBoxLightsWhiteWithTheColour() {
    Harness h;
    h.controller->Form_Load();
    h.controller->cmdFlashOrlesse_Click();
    h.controller->CheckWhite_Click(1);
    h.serial.clearCalls();
    h.timer.fire();
    h.timer.fire();
    QCOMPARE(h.written(), (QList<QByteArray>{Harness::soh("80", "00FF00"), Dark}));
    QCOMPARE(h.serial.calls().size(), 2);  // ticking the box itself sends nothing
}

void FlashingTest::stopFlashingFlagStopsTheTimerAtTheNextTick() {
    Harness h;
    h.controller->Form_Load();
    h.controller->cmdFlashOrlesse_Click();
    h.serial.clearCalls();
    h.state.StopFlashing = true;
    QVERIFY(h.timer.fire());
    QCOMPARE(h.timer.interval(), 0);
    QVERIFY(h.written().isEmpty());
}

void FlashingTest::stopWithPortClosedDoesNothing() {
    Harness h;
    h.controller->Form_Load();
    h.serial.clearCalls();
    const int interval = h.timer.interval();
    h.controller->cmdStop_Click();
    QVERIFY(h.serial.calls().isEmpty());
    QCOMPARE(h.timer.interval(), interval);
}

void FlashingTest::stopLeavesTheColourOnAndCloses() {
    Harness h;
    h.controller->Form_Load();
    h.controller->ComboBrightness_Click(0);
    h.controller->ComboFlashColour_Click(1);
    h.controller->cmdFlashOrlesse_Click();
    h.controller->CheckWhite_Click(1);
    h.state.StopFlashing = true;
    h.serial.clearCalls();
    h.controller->cmdStop_Click();
    QCOMPARE(h.timer.interval(), 0);
    // The steady frame always addresses the whole device without the white LEDs.
    QCOMPARE(h.written(), QList<QByteArray>{Harness::soh("00", "222200")});
    QCOMPARE(h.serial.callNames(), (QStringList{"SioPuts", "SioDone"}));
    QVERIFY(!h.state.PortOpen);
    QVERIFY(!h.state.StopFlashing);
}

void FlashingTest::switchOffWithPortClosedOpensSendsBlackAndCloses() {
    Harness h;
    h.controller->Form_Load();
    h.state.StopFlashing = true;
    h.serial.clearCalls();
    h.controller->cmdSwitchOff_Click();
    QCOMPARE(h.delivered(), (QList<QByteArray>{Dark, Dark}));
    QCOMPARE(h.serial.callNames().last(), QString("SioDone"));
    QVERIFY(!h.state.PortOpen);
    QVERIFY(h.state.StopFlashing);  // left as it was
    QCOMPARE(h.timer.interval(), 0);
}

void FlashingTest::switchOffGivesUpWhenThePortWillNotOpen() {
    Harness h;
    h.controller->Form_Load();
    h.serial.failWith("SioReset", -3);
    h.serial.clearCalls();
    h.controller->cmdSwitchOff_Click();
    QCOMPARE(h.window.messages, QStringList{"Cannot open COM port"});
    QVERIFY(h.written().isEmpty());
    QCOMPARE(h.timer.interval(), 50);
}

void FlashingTest::ticksFromStartUpWriteToTheClosedPort() {
    Harness h;
    h.controller->Form_Load();
    h.clock.runFor(0.2 + 1e-9);
    const QList<RecordingWsc32::Call> writes = h.serial.writes();
    QCOMPARE(writes.size(), 4);
    for (const RecordingWsc32::Call& call : writes) {
        QVERIFY(call.result < 0);
    }
    QVERIFY(h.state.LastResult < 0);
}

QTEST_GUILESS_MAIN(FlashingTest)
#include "tst_Flashing.moc"
