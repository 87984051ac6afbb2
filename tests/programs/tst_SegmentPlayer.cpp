// The segment player on virtual time: frame order and pacing, the two ramps, the white address,
// how a segment ends, and its failures.
#include <QTest>
#include <algorithm>
#include <cmath>

#include "programs/ProgramError.h"
#include "programs/SegmentPlayer.h"
#include "support/Harness.h"

namespace {

// A player on a harness with the port open and a program running.
struct Rig {
    Rig() {
        h.openPortAndClear();
        h.state.ProgramRunning = true;
        start = h.clock.now();
    }

    // Plays a segment and returns the frequency variable afterwards.
    int16_t play(int16_t id, int16_t f1, int16_t f2, int16_t b1, int16_t b2, int16_t seconds) {
        player.PlaySegment(id, f1, f2, b1, b2, seconds);
        return f1;
    }

    // The frames written, less one that decimal half periods, summed in binary, may put a hair's
    // breadth before the end time.
    QList<RecordingWsc32::Call> writes(double endTime) const {
        QList<RecordingWsc32::Call> calls = h.serial.writes();
        if (!calls.isEmpty() && calls.last().time > endTime - 1e-9) {
            calls.removeLast();
        }
        return calls;
    }

    // The colours of the lit frames, a colour listed again only when it changes.
    QStringList litColourChanges() const {
        QStringList colours;
        const QList<QByteArray> frames = h.written();
        for (int i = 0; i < frames.size(); i += 2) {
            const QString colour = QString::fromLatin1(frames[i].mid(3, 6));
            if (colours.isEmpty() || colours.last() != colour) {
                colours.append(colour);
            }
        }
        return colours;
    }

    Harness h;
    SegmentPlayer player{h.controller->context()};
    double start = 0;
};

// The lit colour of a level from 0 to 255: its two hexadecimal digits three times over.
QString grey(int level) {
    return QString::asprintf("%02X%02X%02X", level, level, level);
}

QString title(int segment, int frequency) {
    return QStringLiteral("segment id #%1(%2Hz)").arg(segment).arg(frequency);
}

QStringList levelTexts(int from, int to) {
    QStringList colours;
    const int step = from <= to ? 1 : -1;
    for (int level = from;; level += step) {
        colours.append(grey(level));
        if (level == to) {
            return colours;
        }
    }
}

}  // namespace

class SegmentPlayerTest : public QObject {
    Q_OBJECT

  private slots:
    void steadySegment_data();
    void steadySegment();
    void nothingToPlay_data();
    void nothingToPlay();
    void levelRamp_data();
    void levelRamp();
    void levelStepsAreLateNeverEarly();
    void frequencyRamp_data();
    void frequencyRamp();
    void oneStepPerPassWhenRampsOutrunFrames();
    void framesKeepTheirPace();
    void stallsKeepTheGrid_data();
    void stallsKeepTheGrid();
    void whiteBoxIsReadOncePerSegment();
    void endProgramEndsTheCurrentWait();
    void holdStandsTheSegmentStill_data();
    void holdStandsTheSegmentStill();
    void failures_data();
    void failures();
    void rampThroughZeroFailsAtTheStep();
};

void SegmentPlayerTest::steadySegment_data() {
    QTest::addColumn<int>("frequency");
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("whiteBox");
    QTest::addColumn<QString>("address");
    QTest::newRow("10 Hz, levels 100 and 100") << 10 << 100 << 0 << "00";
    QTest::newRow("8 Hz, levels 0 and 0, box ticked") << 8 << 0 << 1 << "80";
    QTest::newRow("4 Hz, box value 2 is not ticked") << 4 << 255 << 2 << "00";
}

void SegmentPlayerTest::steadySegment() {
    QFETCH(int, frequency);
    QFETCH(int, level);
    QFETCH(int, whiteBox);
    QFETCH(QString, address);
    Rig r;
    r.h.window.whiteBox = whiteBox;
    const int16_t after = r.play(7, frequency, frequency, level, level, 2);

    const double half = 0.5 / frequency;
    const QList<RecordingWsc32::Call> writes = r.writes(r.start + 2);
    QCOMPARE(writes.size(), 4 * frequency);
    for (int i = 0; i < writes.size(); ++i) {
        QCOMPARE(writes[i].bytes,
                 i % 2 == 0 ? Harness::soh(address, "FFFFFF") : Harness::soh("00", "000000"));
        QCOMPARE(writes[i].time, r.start + i * half);
    }
    const QString title = QStringLiteral("segment id #7(%1Hz)").arg(frequency);
    QCOMPARE(r.h.window.titles, QStringList(r.h.serial.writes().size(), title));
    QCOMPARE(int(after), frequency);
    QVERIFY(r.h.clock.now() > r.start + 2 - 1e-9 && r.h.clock.now() < r.start + 2 + half + 1e-9);
}

void SegmentPlayerTest::nothingToPlay_data() {
    QTest::addColumn<int>("seconds");
    QTest::newRow("0 seconds") << 0;
    QTest::newRow("negative seconds") << -3;
}

void SegmentPlayerTest::nothingToPlay() {
    QFETCH(int, seconds);
    Rig r;
    r.h.window.titles = {QStringLiteral("before")};
    QCOMPARE(r.play(1, 10, 20, 0, 255, seconds), int16_t(10));
    QVERIFY(r.h.written().isEmpty());
    QCOMPARE(r.h.window.titles, QStringList{"before"});
    QCOMPARE(r.h.clock.now(), r.start);
}

void SegmentPlayerTest::levelRamp_data() {
    // 8 Hz keeps every time exact. A step falls due one level interval after set-up or after the
    // previous step, and is taken at the first pass strictly later, so the last level is never
    // reached within the segment.
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<int>("seconds");
    QTest::addColumn<QStringList>("litColours");
    QTest::newRow("5 down to 0") << 5 << 0 << 10 << levelTexts(5, 1);
    QTest::newRow("late steps are not caught up") << 0 << 20 << 20 << levelTexts(0, 18);
    QTest::newRow("250 up to 300 stays at full level") << 250 << 300 << 50 << levelTexts(250, 255);
    QTest::newRow("300 starts at full level") << 300 << 299 << 5 << QStringList{"FFFFFF"};
    QTest::newRow("300 down to 0 goes on from 255") << 300 << 0 << 300 << levelTexts(255, 0);
    QTest::newRow("-2 up starts dark") << -2 << 3 << 5 << levelTexts(0, 2);
}

void SegmentPlayerTest::levelRamp() {
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(int, seconds);
    QFETCH(QStringList, litColours);
    Rig r;
    r.play(1, 8, 8, from, to, seconds);
    QCOMPARE(r.litColourChanges(), litColours);
}

void SegmentPlayerTest::levelStepsAreLateNeverEarly() {
    // 0 to 255 over 255 s at 10 Hz: one level a second, one at a time. Level k shows no earlier
    // than k seconds in, and each step is late by at most about one frame.
    Rig r;
    r.play(1, 10, 10, 0, 255, 255);
    const QList<RecordingWsc32::Call> writes = r.writes(r.start + 255);
    QCOMPARE(writes.size(), 2 * 10 * 255);
    int level = 0;
    for (int i = 0; i < writes.size(); i += 2) {
        const double elapsed = writes[i].time - r.start;
        const int shown = writes[i].bytes.mid(3, 2).toInt(nullptr, 16);
        QCOMPARE(writes[i].bytes, Harness::soh("00", grey(shown)));
        QVERIFY(shown == level || shown == level + 1);
        QVERIFY(shown < elapsed || shown == 0);
        QVERIFY(shown >= int((elapsed - 0.1) / 1.05));
        level = shown;
    }
    QCOMPARE(writes[2].bytes, Harness::soh("00", "000000"));
    QVERIFY(level > 200 && level < 255);
}

void SegmentPlayerTest::frequencyRamp_data() {
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<int>("seconds");
    QTest::addColumn<int>("last");
    QTest::newRow("10 up to 20 over 10 s") << 10 << 20 << 10 << 19;
    QTest::newRow("20 down to 10 over 10 s") << 20 << 10 << 10 << 11;
    QTest::newRow("4 up to 6 over 2 s") << 4 << 6 << 2 << 5;
    QTest::newRow("late steps are not caught up") << 1 << 6 << 5 << 4;
}

void SegmentPlayerTest::frequencyRamp() {
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(int, seconds);
    QFETCH(int, last);
    Rig r;
    const int16_t after = r.play(3, from, to, 9, 9, seconds);

    // The title counts one hertz at a time, and each frame waits the half period of the
    // frequency in its title.
    const QStringList& titles = r.h.window.titles;
    const QList<RecordingWsc32::Call> writes = r.h.serial.writes();
    QCOMPARE(titles.size(), writes.size());
    // The k-th step comes strictly later than k intervals after the start.
    const double interval = double(seconds) / qAbs(to - from);
    int expected = from;
    for (int i = 0; i < titles.size(); ++i) {
        if (titles[i] != title(3, expected)) {
            expected += from < to ? 1 : -1;
            QVERIFY(writes[i].time > r.start + qAbs(expected - from) * interval);
        }
        QCOMPARE(titles[i], title(3, expected));
        const double next = i + 1 < writes.size() ? writes[i + 1].time : r.h.clock.now();
        QVERIFY(qAbs(next - writes[i].time - 0.5 / expected) < 1e-9 || i + 1 == writes.size());
    }
    QCOMPARE(expected, last);
    QCOMPARE(int(after), last);
    QVERIFY(r.h.clock.now() >= r.start + seconds);
}

void SegmentPlayerTest::oneStepPerPassWhenRampsOutrunFrames() {
    // Intervals of 1/199 s against frames of 0.5 s and shorter: each pass takes exactly one
    // step of each ramp, however far behind they are.
    Rig r;
    r.play(2, 1, 200, 0, 199, 1);
    const QStringList& titles = r.h.window.titles;
    const QList<QByteArray> frames = r.h.written();
    QVERIFY(titles.size() > 3);
    for (int pass = 0; pass < titles.size(); ++pass) {
        QCOMPARE(titles[pass], title(2, 1 + pass));
        if (pass % 2 == 0) {
            QCOMPARE(frames[pass], Harness::soh("00", grey(pass)));
        }
    }
}

void SegmentPlayerTest::framesKeepTheirPace() {
    // 10 Hz for 2 s: time spent between two waits (setting the title) must not stretch the
    // half period.
    Rig r;
    r.h.window.onTitle = [&r] { r.h.clock.advance(0.001); };
    r.play(1, 10, 10, 255, 255, 2);
    const QList<RecordingWsc32::Call> writes = r.writes(r.start + 2);
    QCOMPARE(writes.size(), 40);
    for (int i = 0; i < writes.size(); ++i) {
        QVERIFY(qAbs(writes[i].time - (r.start + 0.05 * i + 0.001)) < 1e-9);
    }
}

void SegmentPlayerTest::stallsKeepTheGrid_data() {
    // 40 Hz (frames every 12.5 ms) for 2 s; the wait for frame 8 (due at 0.1 s) ends late by
    // the given number of steps.
    QTest::addColumn<double>("lateSteps");
    QTest::addColumn<bool>("restarts");
    QTest::newRow("1.5 steps") << 1.5 << false;
    QTest::newRow("3.2 steps") << 3.2 << false;
    QTest::newRow("40.4 steps") << 40.4 << false;
    QTest::newRow("100.3 steps, past the bound") << 100.3 << true;
}

void SegmentPlayerTest::stallsKeepTheGrid() {
    QFETCH(double, lateSteps);
    QFETCH(bool, restarts);
    const double step = 0.0125;
    Rig r;
    QList<SegmentPlayer::Frame> frames;
    r.player.setFrameObserver([&frames](const SegmentPlayer::Frame& f) { frames.append(f); });
    r.h.clock.at(r.start + 0.095,
                 [&r, lateSteps, step] { r.h.clock.advance(0.005 + lateSteps * step); });
    r.play(1, 40, 40, 255, 255, 2);

    const auto skipped = static_cast<qint64>(std::floor(lateSteps));
    const double wokeAt = r.start + 0.1 + lateSteps * step;
    const double origin = restarts ? wokeAt : r.start;
    const QList<RecordingWsc32::Call> writes = r.h.serial.writes();
    QCOMPARE(writes.size(), frames.size());
    for (int i = 0; i < frames.size(); ++i) {
        const SegmentPlayer::Frame& f = frames[i];
        const bool beforeStall = i < 8;
        // Every frame is on its grid, goes out within its own step, and shows its phase.
        const double from = beforeStall ? r.start : origin;
        const double k = std::round((f.due - from) / step);
        QVERIFY(qAbs(f.due - (from + k * step)) < 1e-9);
        QVERIFY(writes[i].time >= f.due - 1e-9 && writes[i].time < f.due + step);
        const qint64 turns = static_cast<qint64>(k) + (restarts && !beforeStall ? 8 + skipped : 0);
        QCOMPARE(f.lit, turns % 2 == 0);
        QCOMPARE(f.skipped, i == 8 ? skipped : 0);
        QCOMPARE(f.restarted, i == 8 && restarts);
    }
    QCOMPARE(r.h.controller->context().stalls.skipped, skipped);
    QCOMPARE(r.h.controller->context().stalls.restarts, qint64(restarts ? 1 : 0));
    if (!restarts) {
        QCOMPARE(frames.size() + skipped, 160);
    }
}

void SegmentPlayerTest::whiteBoxIsReadOncePerSegment() {
    Rig r;
    r.h.clock.at(r.start + 0.3, [&r] { r.h.window.whiteBox = 1; });
    r.play(1, 5, 5, 0, 0, 1);
    r.play(2, 5, 5, 0, 0, 1);
    const QList<QByteArray> lit = {Harness::soh("00", "FFFFFF"), Harness::soh("80", "FFFFFF")};
    const QList<QByteArray> frames = r.h.written();
    QCOMPARE(frames.size(), 20);
    for (int i = 0; i < frames.size(); ++i) {
        QCOMPARE(frames[i], i % 2 == 0 ? lit[i / 10] : Harness::soh("00", "000000"));
    }
}

void SegmentPlayerTest::endProgramEndsTheCurrentWait() {
    Rig r;
    r.h.clock.at(r.start + 0.27, [&r] { r.h.controller->cndProgramEnd_Click(); });
    r.play(1, 10, 10, 0, 0, 60);
    QCOMPARE(r.h.written().size(), 6);
    QCOMPARE(r.h.clock.now(), r.start + 0.27);
}

void SegmentPlayerTest::holdStandsTheSegmentStill_data() {
    QTest::addColumn<int>("f1");
    QTest::addColumn<int>("f2");
    QTest::addColumn<int>("b1");
    QTest::addColumn<int>("b2");
    QTest::addColumn<double>("holdAt");  // seconds into the segment
    QTest::newRow("frequency ramp") << 10 << 20 << 255 << 255 << 4.2;
    QTest::newRow("level ramp") << 10 << 10 << 0 << 40 << 6.01;
    QTest::newRow("both, early") << 12 << 4 << 200 << 100 << 0.5;
}

void SegmentPlayerTest::holdStandsTheSegmentStill() {
    QFETCH(int, f1);
    QFETCH(int, f2);
    QFETCH(int, b1);
    QFETCH(int, b2);
    QFETCH(double, holdAt);
    constexpr int Seconds = 10;
    constexpr double Held = 3.5;

    // The last lit frame of a run's frames.
    const auto lastLit = [](const QList<SegmentPlayer::Frame>& frames) {
        return *std::find_if(frames.rbegin(), frames.rend(), [](const auto& f) { return f.lit; });
    };

    // The same segment without a hold, for what it reaches.
    Rig plain;
    QList<SegmentPlayer::Frame> plainFrames;
    plain.player.setFrameObserver(
        [&plainFrames](const SegmentPlayer::Frame& f) { plainFrames.append(f); });
    const int plainLast = plain.play(1, f1, f2, b1, b2, Seconds);

    Rig rig;
    bool holding = false;
    rig.player.setHold([&holding] { return holding; });
    QList<SegmentPlayer::Frame> frames;
    rig.player.setFrameObserver([&frames](const SegmentPlayer::Frame& f) { frames.append(f); });
    rig.h.clock.at(rig.start + holdAt, [&holding] { holding = true; });
    rig.h.clock.at(rig.start + holdAt + Held, [&holding] { holding = false; });
    const int last = rig.play(1, f1, f2, b1, b2, Seconds);

    // Dark at once when the hold came, nothing while it lasted, lit on release.
    const QList<RecordingWsc32::Call> calls = rig.h.serial.writes();
    qsizetype held = 0;
    while (calls[held].time < rig.start + holdAt) {
        ++held;
    }
    QCOMPARE(calls[held].time, rig.start + holdAt);
    QCOMPARE(calls[held].bytes, Harness::soh("00", "000000"));
    QCOMPARE(calls[held + 1].time, rig.start + holdAt + Held);
    // The frame after the release goes on at the frequency and level the segment had.
    const auto resumed = std::find_if(frames.begin(), frames.end(), [&](const auto& f) {
        return f.due >= rig.start + holdAt + Held;
    });
    QVERIFY(resumed != frames.end() && resumed != frames.begin());
    const SegmentPlayer::Frame& before = *std::prev(resumed);
    QVERIFY(resumed->lit);
    QCOMPARE(resumed->frequency, before.frequency);
    QCOMPARE(resumed->level, before.level);
    // The seconds left are played in full: the ramps get as far as without the hold, and the
    // segment ends the time held later.
    QCOMPARE(last, plainLast);
    QCOMPARE(lastLit(frames).level, lastLit(plainFrames).level);
    QVERIFY(rig.h.clock.now() >= rig.start + Seconds + Held - 1e-9);
    QVERIFY(rig.h.clock.now() < rig.start + Seconds + Held + SegmentPlayer::halfPeriod(last));
}

void SegmentPlayerTest::failures_data() {
    QTest::addColumn<QList<int>>("args");
    QTest::addColumn<QString>("reason");
    QTest::newRow("start frequency 0")
        << QList<int>{1, 0, 10, 0, 0, 5} << "the start frequency is 0";
    QTest::newRow("start frequency 0, no time")
        << QList<int>{1, 0, 0, 0, 0, 0} << "the start frequency is 0";
    QTest::newRow("levels too far apart")
        << QList<int>{1, 5, 5, -32768, 1, 5} << "the difference of the levels overflows 16 bits";
    QTest::newRow("levels -32768 and 0")
        << QList<int>{1, 5, 5, -32768, 0, 5} << "the difference of the levels overflows 16 bits";
    QTest::newRow("frequencies too far apart")
        << QList<int>{1, 32767, -2, 0, 0, 5}
        << "the difference of the frequencies overflows 16 bits";
}

void SegmentPlayerTest::failures() {
    QFETCH(QList<int>, args);
    QFETCH(QString, reason);
    Rig r;
    try {
        r.play(args[0], args[1], args[2], args[3], args[4], args[5]);
        QFAIL("no failure");
    } catch (const ProgramError& error) {
        QCOMPARE(error.reason(), reason);
        QCOMPARE(error.line(), 0);
    }
    QVERIFY(r.h.written().isEmpty());
    QVERIFY(r.h.window.titles.isEmpty());
}

void SegmentPlayerTest::rampThroughZeroFailsAtTheStep() {
    // 5 Hz to -5 Hz over 10 s: a step a second, the fifth onto 0 Hz, no earlier than 5 s in.
    Rig r;
    int16_t frequency = 5;
    QVERIFY_THROWS_EXCEPTION(ProgramError, r.player.PlaySegment(1, frequency, -5, 0, 0, 10));
    QCOMPARE(frequency, int16_t(0));
    QCOMPARE(r.h.window.title(), QStringLiteral("segment id #1(1Hz)"));
    QVERIFY(r.h.clock.now() > r.start + 5);
    QCOMPARE(r.h.serial.writes().last().time, r.h.clock.now() - 0.5);
}

QTEST_GUILESS_MAIN(SegmentPlayerTest)
#include "tst_SegmentPlayer.moc"
