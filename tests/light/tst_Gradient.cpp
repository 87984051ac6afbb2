// The gradient class and the Gradient run.
#include <QTest>

#include "light/GradientFade.h"
#include "light/clsDrawGradient.h"
#include "support/Harness.h"

class GradientTest : public QObject {
    Q_OBJECT

  private slots:
    void drawGradient_data();
    void drawGradient();
    void laterCallsKeepTheFirstCallsFade();
    void convertRGBToHex_data();
    void convertRGBToHex();
    void passInBlueAtQuarterBrightness();
    void stopDuringStepTenFinishesThePass();
    void closedPortThatWillNotOpenSendsNothing();
    void flashTicksInterleaveWithTheFade();
};

void GradientTest::drawGradient_data() {
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<int>("steps");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("result");
    QTest::newRow("red step 1") << 255 << 0 << 255 << 1 << 254;
    QTest::newRow("white halfway") << 16777215 << 0 << 255 << 128 << 8355711;
    QTest::newRow("0.5 rounds to even 0") << 1 << 0 << 2 << 1 << 0;
    QTest::newRow("1.5 rounds to even 2") << 3 << 0 << 2 << 1 << 2;
    QTest::newRow("fading upwards") << 0 << 255 << 255 << 1 << 1;
    QTest::newRow("step 0 is the start") << 65280 << 0 << 255 << 0 << 65280;
    QTest::newRow("past the end clamps at 0") << 255 << 0 << 255 << 300 << 0;
    QTest::newRow("past the end clamps at 255") << 0 << 255 << 255 << 300 << 255;
    QTest::newRow("last step is black") << 16711680 << 0 << 255 << 255 << 0;
    QTest::newRow("no steps stays on start") << 255 << 0 << 0 << 5 << 255;
    QTest::newRow("negative steps stay on start") << 65535 << 0 << -4 << 2 << 65535;
    QTest::newRow("mixed channels")
        << 0x00FF80 << 0x8000FF << 2 << 1 << 0x4080C0;  // 191.5 -> 192, 127.5 -> 128, 64
}

void GradientTest::drawGradient() {
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(int, steps);
    QFETCH(int, step);
    QFETCH(int, result);
    clsDrawGradient gradient;
    const int16_t n = static_cast<int16_t>(steps);
    const int16_t k = static_cast<int16_t>(step);
    QCOMPARE(gradient.DrawGradient(from, to, n, k), result);
}

void GradientTest::laterCallsKeepTheFirstCallsFade() {
    clsDrawGradient gradient;
    const int16_t steps = 255;
    const int16_t one = 1;
    QCOMPARE(gradient.DrawGradient(255, 0, steps, one), 254);
    QCOMPARE(gradient.DrawGradient(65280, 0, steps, one), 254);
    const int16_t ten = 10;
    QCOMPARE(gradient.DrawGradient(0, 0, one, ten), 245);
}

void GradientTest::convertRGBToHex_data() {
    QTest::addColumn<int>("colour");
    QTest::addColumn<QString>("text");
    QTest::newRow("red") << 255 << "FF0000";
    QTest::newRow("green") << 65280 << "00FF00";
    QTest::newRow("blue") << 16711680 << "0000FF";
    QTest::newRow("black") << 0 << "000000";
    QTest::newRow("1, 2, 3") << 197121 << "010203";
    QTest::newRow("negative keeps the low byte") << -1 << "FF0000";
}

void GradientTest::convertRGBToHex() {
    QFETCH(int, colour);
    QFETCH(QString, text);
    QCOMPARE(clsDrawGradient::ConvertRGBToHex(colour), text);
}

void GradientTest::passInBlueAtQuarterBrightness() {
    Harness h;
    h.controller->Form_Load();
    h.timer.setEnabled(false);
    h.controller->ComboFlashColour_Click(3);
    h.controller->ComboBrightness_Click(0);
    h.openPortAndClear();
    // Close the port during the first step of the second pass.
    const double start = h.clock.now();
    h.clock.at(start + 256 * 0.020 - 0.001, [&h] { h.controller->cmdSwitchOff_Click(); });
    const int pumpsBefore = h.clock.pumps();
    h.controller->cmdGradient_Click();

    const QList<QByteArray> frames = h.written();
    QCOMPARE(frames.size(), 255 + 1 + 1 + 254);  // pass, first step again, Switch Off, rest
    QCOMPARE(frames[0], Harness::stx("00", "0000FE"));
    QCOMPARE(frames[127], Harness::stx("00", "00007F"));
    QCOMPARE(frames[254], Harness::stx("00", "000000"));
    QCOMPARE(frames[255], Harness::stx("00", "0000FE"));
    QCOMPARE(frames[256], Harness::soh("00", "000000"));
    QCOMPARE(h.clock.sleeps().size(), 510);
    QVERIFY(h.clock.sleeps().count(20) == 510);
    QCOMPARE(h.clock.pumps() - pumpsBefore, 510);  // one pump after each step
}

void GradientTest::stopDuringStepTenFinishesThePass() {
    Harness h;
    h.controller->Form_Load();
    h.timer.setEnabled(false);
    h.controller->ComboFlashColour_Click(0);
    h.openPortAndClear();
    h.clock.at(h.clock.now() + 10 * 0.020 - 0.001, [&h] { h.controller->cmdStop_Click(); });
    h.controller->cmdGradient_Click();
    const QList<RecordingWsc32::Call> writes = h.serial.writes();
    QCOMPARE(writes.size(), 255 + 1);
    QCOMPARE(writes[10].bytes, Harness::soh("00", "FF0000"));  // Stop's steady frame
    for (int i = 11; i < writes.size(); ++i) {
        QVERIFY(writes[i].result < 0);
    }
    QCOMPARE(writes.last().bytes, Harness::stx("00", "000000"));
    QVERIFY(!h.state.PortOpen);
}

void GradientTest::closedPortThatWillNotOpenSendsNothing() {
    Harness h;
    h.controller->Form_Load();
    h.serial.failWith("SioReset", -3);
    h.serial.clearCalls();
    h.controller->cmdGradient_Click();
    QVERIFY(h.written().isEmpty());
    QVERIFY(h.clock.sleeps().isEmpty());
    QCOMPARE(h.window.messages.size(), 1);
}

void GradientTest::flashTicksInterleaveWithTheFade() {
    // Steps every 20 ms with a pump after each; ticks every 50 ms, handled in those pumps.
    // Stop at 1.01 s is handled in the pump after step 51.
    Harness h;
    h.controller->Form_Load();
    h.controller->cmdFlashOrlesse_Click();  // 50 ms ticks, not stopped by the fade
    h.serial.clearCalls();
    h.clock.at(h.clock.now() + 1.01, [&h] { h.controller->cmdStop_Click(); });
    h.controller->cmdGradient_Click();

    QList<QByteArray> fade;
    QList<QByteArray> ticks;
    const QList<QByteArray> delivered = h.delivered();
    for (const QByteArray& frame : delivered) {
        (frame.startsWith('\x01') ? ticks : fade).append(frame);
    }
    QCOMPARE(fade.size(), 51);
    for (int step = 1; step <= fade.size(); ++step) {
        QCOMPARE(fade[step - 1], Harness::stx("00", QString::asprintf("00%02X00", 255 - step)));
    }
    // Twenty ticks from lit, then Stop's steady frame.
    QCOMPARE(ticks.size(), 21);
    for (int i = 0; i < 20; ++i) {
        QCOMPARE(ticks[i], Harness::soh("00", i % 2 == 0 ? "00FF00" : "000000"));
    }
    QCOMPARE(delivered.last(), Harness::soh("00", "00FF00"));
    // The first tick (50 ms) is handled in the pump after step 3 (60 ms).
    QCOMPARE(delivered.indexOf(ticks.first()), 3);
}

QTEST_GUILESS_MAIN(GradientTest)
#include "tst_Gradient.moc"
