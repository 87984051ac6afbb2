// Spin and Reset Colours on virtual time: frames, their waits, the colour stepping and how the
// operations end.
#include <QTest>

#include "light/SegmentColours.h"
#include "support/Harness.h"

namespace {

QList<QByteArray> revolution(const QString& colour, bool white) {
    return {Harness::soh(white ? "84" : "04", "000000"),
            Harness::soh(white ? "81" : "01", colour),
            Harness::soh("01", "000000"),
            Harness::soh("02", colour),
            Harness::soh("02", "000000"),
            Harness::soh("03", colour),
            Harness::soh("03", "000000"),
            Harness::soh("04", colour)};
}

// Starts a spin on a loaded controller, with a Stop Flashing click scheduled at stopAfter
// seconds from the start; returns the start time.
double spinUntilStopped(Harness& h, double stopAfter) {
    const double start = h.clock.now();
    h.clock.at(start + stopAfter, [&h] { h.controller->cmdStop_Click(); });
    h.serial.clearCalls();
    h.controller->cmdSpin_Click();
    return start;
}

// What the four segments show after the frames written up to time t: each frame sets the
// colour of the segment it addresses, or of all four (address 00).
QStringList segmentsAt(const QList<RecordingWsc32::Call>& writes, double t) {
    QStringList shown(4, QStringLiteral("000000"));
    for (const RecordingWsc32::Call& call : writes) {
        if (call.time > t + 1e-12 || call.bytes.size() < 9) {
            continue;
        }
        const int segment = call.bytes.mid(1, 2).toInt(nullptr, 16) & 0x0F;
        const QString colour = QString::fromLatin1(call.bytes.mid(3, 6));
        for (int i = 0; i < 4; ++i) {
            if (segment == 0 || segment == i + 1) {
                shown[i] = colour;
            }
        }
    }
    return shown;
}

}  // namespace

class SegmentColoursTest : public QObject {
    Q_OBJECT

  private slots:
    void threeRevolutions_data();
    void threeRevolutions();
    void colourIndexAdvancesOncePerRevolution_data();
    void colourIndexAdvancesOncePerRevolution();
    void stopDuringSecondFrameFinishesTheRevolution();
    void rateChangeTakesEffectAtTheNextRevolution();
    void rateBelowOneCountsAsOne();
    void closeBetweenTheFramesOfAPair();
    void spinWithPortFailing();
    void stallsKeepThePhase_data();
    void stallsKeepThePhase();
    void resetColoursWithPortOpen();
    void resetColoursWithOpenFailing();
};

void SegmentColoursTest::threeRevolutions_data() {
    QTest::addColumn<bool>("white");
    QTest::newRow("box clear") << false;
    QTest::newRow("box ticked") << true;
}

void SegmentColoursTest::threeRevolutions() {
    QFETCH(bool, white);
    Harness h;
    h.controller->Form_Load();
    h.controller->ComboFlashColour_Click(0);  // Red at 100 %, rate 10
    h.window.whiteBox = white ? 1 : 0;
    // Stop during the last wait of the third revolution (each takes 8 x 12.5 ms).
    const double start = spinUntilStopped(h, 0.295);

    QList<QByteArray> expected{Harness::soh("00", "000000")};  // the port opening
    expected += revolution("FF0000", white);
    expected += revolution("FFFF00", white);
    expected += revolution("00FF00", white);
    expected += Harness::soh("00", "00FF00");  // Stop's steady frame: the colour last shown
    QCOMPARE(h.written(), expected);

    const QList<RecordingWsc32::Call> writes = h.serial.writes();
    for (int frame = 0; frame < 24; ++frame) {
        QCOMPARE(writes[frame + 1].time, start + frame * 0.0125);
    }
    QCOMPARE(h.timer.interval(), 0);
    QVERIFY(!h.state.PortOpen);
    QCOMPARE(h.settings.FlashColourIndex, int16_t(3));
}

void SegmentColoursTest::colourIndexAdvancesOncePerRevolution_data() {
    QTest::addColumn<int>("startIndex");
    QTest::addColumn<QString>("firstColour");
    QTest::addColumn<QString>("secondColour");
    QTest::addColumn<int>("indexAfterThree");
    QTest::newRow("from White") << 4 << "FFFFFF"
                                << "FF0000" << 2;
    QTest::newRow("from Green") << 2 << "00FF00"
                                << "0000FF" << 0;
}

void SegmentColoursTest::colourIndexAdvancesOncePerRevolution() {
    QFETCH(int, startIndex);
    QFETCH(QString, firstColour);
    QFETCH(QString, secondColour);
    QFETCH(int, indexAfterThree);
    Harness h;
    h.controller->Form_Load();
    h.controller->ComboFlashColour_Click(startIndex);
    spinUntilStopped(h, 0.295);
    const QList<QByteArray> frames = h.written();
    QCOMPARE(frames[2], Harness::soh("01", firstColour));
    QCOMPARE(frames[10], Harness::soh("01", secondColour));
    QCOMPARE(h.settings.FlashColourIndex, int16_t(indexAfterThree));
}

void SegmentColoursTest::stopDuringSecondFrameFinishesTheRevolution() {
    Harness h;
    h.controller->Form_Load();
    const double start = spinUntilStopped(h, 0.0125 + 0.005);
    const QList<RecordingWsc32::Call> writes = h.serial.writes();
    // Opening frame, frames 1 and 2, Stop's frame, then frames 3 to 8 into the closed port.
    QCOMPARE(writes.size(), 1 + 2 + 1 + 6);
    for (int frame = 3; frame <= 8; ++frame) {
        const RecordingWsc32::Call& call = writes[frame + 1];
        QVERIFY(call.result < 0);
        QCOMPARE(call.time, start + (frame - 1) * 0.0125);
    }
    QCOMPARE(h.clock.now(), start + 8 * 0.0125);  // the last wait still took place
}

void SegmentColoursTest::rateChangeTakesEffectAtTheNextRevolution() {
    Harness h;
    h.controller->Form_Load();
    const double start = h.clock.now();
    h.clock.at(start + 0.03, [&h] { h.controller->ComboFlashRate_Click(19); });  // rate 20
    spinUntilStopped(h, 0.1 + 8 * 0.00625 - 0.001);
    const QList<RecordingWsc32::Call> writes = h.serial.writes();
    QCOMPARE(writes.size(), 1 + 16 + 1);
    QVERIFY(qAbs(writes[8].time - writes[7].time - 0.0125) < 1e-9);     // first revolution: rate 10
    QVERIFY(qAbs(writes[16].time - writes[15].time - 0.00625) < 1e-9);  // second: rate 20
}

void SegmentColoursTest::rateBelowOneCountsAsOne() {
    QCOMPARE(SegmentColours::stepTime(0), 0.125);
    QCOMPARE(SegmentColours::stepTime(-3), 0.125);
    QCOMPARE(SegmentColours::stepTime(50), 0.0025);
}

void SegmentColoursTest::closeBetweenTheFramesOfAPair() {
    // Rate 1: a step of 0.125 s. A close 0.06 s in lands in the wait after the first (dark)
    // frame; the lit frame of that pair must not follow it.
    Harness h;
    h.controller->Form_Load();
    h.controller->ComboFlashRate_Click(0);
    const double start = h.clock.now();
    int framesAtClose = -1;
    h.clock.at(start + 0.06, [&] {
        QVERIFY(!h.controller->Form_QueryUnload());
        framesAtClose = h.written().size();
    });
    h.serial.clearCalls();
    h.controller->cmdSpin_Click();
    QCOMPARE(framesAtClose, 2);  // the port opening's dark frame and segment 4 dark
    QCOMPARE(h.written().size(), framesAtClose);
    QCOMPARE(h.window.closeRequests, 1);
}

void SegmentColoursTest::stallsKeepThePhase_data() {
    // Rate 10: a step of 12.5 ms. The wait for frame 3 (due at 37.5 ms, segment 2 lit) ends
    // late by the given steps; frames skipped, less a dark frame sent just before a lit one.
    QTest::addColumn<double>("lateSteps");
    QTest::addColumn<qint64>("skipped");
    QTest::newRow("1.5 steps: lands on a dark frame") << 1.5 << qint64(1);
    QTest::newRow("3.2 steps") << 3.2 << qint64(3);
    QTest::newRow("40.4 steps: lands on a lit frame") << 40.4 << qint64(39);
}

void SegmentColoursTest::stallsKeepThePhase() {
    // After a stall the segments show at once what they would have shown without it, and the
    // frames keep to the grid: compared, at every write, against a spin that did not stall.
    QFETCH(double, lateSteps);
    QFETCH(qint64, skipped);
    auto spin = [](double stallSteps) {
        Harness h;
        h.controller->Form_Load();
        const double start = h.clock.now();
        if (stallSteps > 0) {
            h.clock.at(start + 0.033,
                       [&h, stallSteps] { h.clock.advance(0.0045 + stallSteps * 0.0125); });
        }
        spinUntilStopped(h, 0.98);
        QList<RecordingWsc32::Call> writes = h.serial.writes();
        for (RecordingWsc32::Call& call : writes) {
            call.time -= start;
        }
        return std::make_pair(writes, h.controller->context().stalls.skipped);
    };
    const auto [steady, none] = spin(0);
    const auto [stalled, counted] = spin(lateSteps);
    QCOMPARE(none, qint64(0));
    QCOMPARE(counted, skipped);
    const double wake = 0.0375 + lateSteps * 0.0125;
    int after = 0;
    for (const RecordingWsc32::Call& call : stalled) {
        if (call.time < wake - 1e-9 || call.time > 0.95) {
            continue;
        }
        ++after;
        // Looked at a little after the write, clear of the next frame due.
        QCOMPARE(segmentsAt(stalled, call.time + 0.005), segmentsAt(steady, call.time + 0.005));
    }
    QVERIFY(after > 10);
}

void SegmentColoursTest::spinWithPortFailing() {
    Harness h;
    h.controller->Form_Load();
    h.serial.failWith("SioReset", -2);
    h.serial.clearCalls();
    h.controller->cmdSpin_Click();
    QCOMPARE(h.window.messages, QStringList{"COM port already open"});
    QVERIFY(h.written().isEmpty());
    QCOMPARE(h.timer.interval(), 0);
    QVERIFY(h.state.StopFlashing);
}

void SegmentColoursTest::resetColoursWithPortOpen() {
    Harness h;
    h.controller->Form_Load();
    h.openPortAndClear();
    h.state.StopFlashing = true;
    const int pumps = h.clock.pumps();
    h.controller->cmdResetColours_Click();
    QCOMPARE(h.written(),
             (QList<QByteArray>{Harness::stx("01", "FF0000"), Harness::stx("02", "00FF00"),
                                Harness::stx("03", "0000FF"), Harness::stx("04", "FFFF00")}));
    QCOMPARE(h.clock.sleeps(), (QList<int>{10, 10, 10}));
    QCOMPARE(h.clock.pumps(), pumps);
    QVERIFY(h.state.PortOpen);
    QVERIFY(!h.state.StopFlashing);
    QVERIFY(!h.timer.isEnabled());
    QCOMPARE(h.timer.interval(), 50);  // disabled, interval kept
}

void SegmentColoursTest::resetColoursWithOpenFailing() {
    Harness h;
    h.controller->Form_Load();
    h.serial.failWith("SioReset", -3);
    h.state.StopFlashing = true;
    h.serial.clearCalls();
    h.controller->cmdResetColours_Click();
    QVERIFY(h.written().isEmpty());
    QVERIFY(!h.state.StopFlashing);
    QVERIFY(h.timer.isTicking());
    QCOMPARE(h.window.messages.size(), 1);
}

QTEST_GUILESS_MAIN(SegmentColoursTest)
#include "tst_SegmentColours.moc"
