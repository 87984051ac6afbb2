// Session records on virtual time: the rows and totals of runs that end in every way, the
// cycles delivered over those asked, the files and what reading them back gives.
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <limits>

#include "device/ComPorts.h"
#include "device/Wsc32.h"
#include "programs/ProgramPlayback.h"
#include "records/RecordReport.h"
#include "records/RecordSchema.h"
#include "records/SessionFiles.h"
#include "records/SessionRecorder.h"
#include "runs/DeviceRun.h"
#include "support/Harness.h"

using RecordSchema::EventKind;

namespace {

constexpr double None = std::numeric_limits<double>::quiet_NaN();
const QByteArray Header = "Segment,Start Hz,End Hz,Start level,End level,Seconds\r\n";

// Something that happens to a run, at seconds from its start.
struct Disturbance {
    enum Kind {
        Stop,   // End Program
        Pause,  // the front end holds the run for length seconds
        Stall,  // the machine stops for length seconds: time passes while nothing runs
        Fail,   // the library refuses every write for length seconds (NaN: to the end)
        Late,   // every paced frame k is called (k % 3) x length / 2 seconds late
    };
    Kind kind = Stop;
    double at = 0;
    double length = 0;
};

Disturbance stopAt(double at) {
    return {Disturbance::Stop, at, 0};
}
Disturbance pause(double at, double length) {
    return {Disturbance::Pause, at, length};
}
Disturbance stall(double at, double length) {
    return {Disturbance::Stall, at, length};
}
Disturbance fail(double at, double length) {
    return {Disturbance::Fail, at, length};
}
Disturbance late(double most) {
    return {Disturbance::Late, 0, most};
}

}  // namespace

Q_DECLARE_METATYPE(Disturbance)

namespace {

// A program played on a harness with a recorder on, as a front end plays it.
struct TestRun {
    explicit TestRun(const QByteArray& records, const QList<Disturbance>& disturbances = {})
        : bytes(Header + records) {
        h.openPortAndClear();
        h.state.ProgramRunning = true;
        start = h.clock.now();
        for (const Disturbance& d : disturbances) {
            const double at = start + d.at;
            switch (d.kind) {
                case Disturbance::Stop:
                    h.clock.at(at, [this] { h.state.ProgramRunning = false; });
                    break;
                case Disturbance::Pause:
                    h.clock.at(at, [this] { holding = true; });
                    h.clock.at(at + d.length, [this] { holding = false; });
                    break;
                case Disturbance::Stall:
                    h.clock.at(at, [this, d] { h.clock.advance(d.length); });
                    break;
                case Disturbance::Fail:
                    h.clock.at(at, [this] { h.serial.failWith("SioPuts", -103); });
                    if (!std::isnan(d.length)) {
                        h.clock.at(at + d.length, [this] { h.serial.clearFailure("SioPuts"); });
                    }
                    break;
                case Disturbance::Late:
                    lateness = d.length;
                    break;
            }
        }
    }

    // Plays the program as a front end does, keeping its record and its markers, and returns
    // the record.
    SessionRecord play() {
        DeviceRun::Request request;
        request.bytes = bytes;
        request.programPath = QStringLiteral("/programs/My session.csv");
        request.software = QStringLiteral("test");
        request.keepRecord = true;
        request.hooks.holding = [this] { return holding; };
        request.hooks.frameWritten = [this](const SegmentPlayer::Frame& frame) {
            delayNext(frame);
        };
        request.markers = [this](const QString& text, double time) {
            markers.append({text, time});
        };
        DeviceRun::Outcome outcome = DeviceRun::playOn(h.controller->context(), request);
        return std::move(outcome.record->record);
    }

    // With lateness, holds the machine up just before the next frame is due, so that its write
    // is called late by its share.
    void delayNext(const SegmentPlayer::Frame& frame) {
        const double by = static_cast<double>(++paced % 3) * lateness / 2;
        if (by > 0) {
            const double due = frame.due + SegmentPlayer::halfPeriod(frame.frequency);
            h.clock.at(due - 1e-4, [this, by] { h.clock.advance(1e-4 + by); });
        }
    }

    // Lit frames the library took between two times from the start: every frame that is not
    // the dark one (the tests' lit levels are above 0).
    int64_t litDelivered(double from, double to) const {
        const QByteArray dark = Harness::soh("00", "000000");
        int64_t lit = 0;
        for (const RecordingWsc32::Call& call : h.serial.writes()) {
            const double t = call.time - start;
            lit += call.result > 0 && call.bytes != dark && t >= from - 1e-9 && t < to - 1e-9;
        }
        return lit;
    }

    Harness h;
    QByteArray bytes;
    QList<std::pair<QString, double>> markers;  // the run's markers and their clock times
    double start = 0;
    bool holding = false;
    double lateness = 0;
    int64_t paced = 0;
};

QStringList trialTypes(const std::vector<SessionEvent>& events) {
    QStringList types;
    for (const SessionEvent& event : events) {
        types << RecordSchema::eventKindName(event.kind);
    }
    return types;
}

const SessionEvent& eventOf(const std::vector<SessionEvent>& events, const QString& type) {
    static const SessionEvent none;
    for (const SessionEvent& event : events) {
        if (RecordSchema::eventKindName(event.kind) == type) {
            return event;
        }
    }
    return none;
}

QByteArray bytesOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QJsonObject jsonOf(const QString& path) {
    return QJsonDocument::fromJson(bytesOf(path)).object();
}

}  // namespace

class TestSessionRecorder : public QObject {
    Q_OBJECT

  private slots:
    void summary_data();
    void summary();
    void stallRows_data();
    void stallRows();
    void cycles_data();
    void cycles();
    void files_data();
    void files();
    void readsRecordsWithoutJitter();
    void observerLeavesWithTheRecorder();
    void pauses_data();
    void pauses();
    void markersFollowTheRecord_data();
    void markersFollowTheRecord();
};

void TestSessionRecorder::summary_data() {
    QTest::addColumn<QByteArray>("records");
    QTest::addColumn<QList<Disturbance>>("disturbances");
    QTest::addColumn<QStringList>("types");
    QTest::addColumn<QList<double>>("seconds");  // of each segment row
    QTest::addColumn<QString>("ending");
    QTest::addColumn<int>("endedLine");

    const QStringList one{"segment", "ended"};
    QTest::newRow("constant") << QByteArray("1,10,10,17,16,3\r\n") << QList<Disturbance>{} << one
                              << QList<double>{3} << "played to the end" << 2;
    QTest::newRow("ramps") << QByteArray("1,10,20,16,17,10\r\n2,7,3,40,20,6\r\n")
                           << QList<Disturbance>{} << QStringList{"segment", "segment", "ended"}
                           << QList<double>{10, 6} << "played to the end" << 3;
    QTest::newRow("End Program") << QByteArray("1,10,10,16,17,30\r\n")
                                 << QList<Disturbance>{stopAt(1.23)} << one << QList<double>{1.23}
                                 << "stopped by End Program" << 2;
    QTest::newRow("a ramp through 0 Hz fails")
        << QByteArray("1,4,4,16,17,1\r\n2,2,-2,255,255,4\r\n") << QList<Disturbance>{}
        << QStringList{"segment", "segment", "ended"} << QList<double>{1, 2.75}
        << "Line 3: the frequency ramp reaches 0 Hz" << 3;
    QTest::newRow("a start frequency of 0 fails before its segment")
        << QByteArray("1,4,4,16,17,1\r\n2,0,5,1,1,1\r\n") << QList<Disturbance>{} << one
        << QList<double>{1} << "Line 3: the start frequency is 0" << 3;
    QTest::newRow("device lost and back")
        << QByteArray("1,10,10,16,17,4\r\n") << QList<Disturbance>{fail(1.02, 1.0)}
        << QStringList{"segment", "device_lost", "device_back", "ended"} << QList<double>{4}
        << "played to the end" << 2;
    QTest::newRow("device lost to the end")
        << QByteArray("1,10,10,16,17,4\r\n") << QList<Disturbance>{fail(3.02, None)}
        << QStringList{"segment", "device_lost", "ended"} << QList<double>{4} << "played to the end"
        << 2;
}

void TestSessionRecorder::summary() {
    QFETCH(QByteArray, records);
    QFETCH(QList<Disturbance>, disturbances);
    QFETCH(QStringList, types);
    QFETCH(QList<double>, seconds);
    QFETCH(QString, ending);
    QFETCH(int, endedLine);

    TestRun run(records, disturbances);
    Harness& h = run.h;
    const SessionRecord record = run.play();
    const SessionSummary summary = summarizeSession(record);
    QCOMPARE(trialTypes(summary.events), types);
    // The first frame is the origin: on virtual time it goes out as the run starts.
    QCOMPARE(record.origin(), run.start);

    qsizetype segment = 0;
    for (const SessionEvent& event : summary.events) {
        if (event.kind != EventKind::Segment) {
            continue;
        }
        // Within a flash period of the time asked, or of End Program.
        QVERIFY2(std::abs(event.duration - seconds[segment]) < 0.26,
                 qPrintable(QString::number(event.duration)));
        QCOMPARE(event.litFrames, run.litDelivered(event.onset, event.onset + event.duration));
        // On virtual time every write is called when it is due.
        QCOMPARE(event.lateMaxMs, 0.0);
        QVERIFY(
            event.askedHz >= std::min(event.record->nStartFrequency, event.record->nEndFrequency) &&
            event.askedHz <= std::max(event.record->nStartFrequency, event.record->nEndFrequency));
        ++segment;
    }
    QCOMPARE(segment, seconds.size());

    const SessionEvent& ended = summary.events.back();
    QCOMPARE(ended.note, ending);
    QCOMPARE(ended.line, endedLine);
    QCOMPARE(ended.onset, summary.totals.seconds);
    // Every write is a frame of the record, the closing frame last.
    QCOMPARE(summary.totals.frames, h.serial.writes().size());
    QCOMPARE(record.frames[record.frames.size() - 1].paced(), false);

    if (!disturbances.isEmpty() && disturbances.front().kind == Disturbance::Fail) {
        const double lostFrom = disturbances.front().at;
        const double lostFor = disturbances.front().length;
        const SessionEvent& lost = eventOf(summary.events, QStringLiteral("device_lost"));
        // The first write that fails is the first frame due after the device went.
        QVERIFY2(lost.onset >= lostFrom && lost.onset < lostFrom + 0.05,
                 qPrintable(QString::number(lost.onset)));
        const double back = std::isnan(lostFor) ? summary.totals.seconds : lostFrom + lostFor;
        QVERIFY2(std::abs(lost.onset + lost.duration - back) < 0.05,
                 qPrintable(QString::number(lost.duration)));
        QCOMPARE(summary.totals.deviceLostAtEnd, std::isnan(lostFor));
        QCOMPARE(summary.totals.failedWrites, h.serial.writes().size() - h.delivered().size());
    }
}

void TestSessionRecorder::stallRows_data() {
    QTest::addColumn<QByteArray>("records");
    QTest::addColumn<Disturbance>("stall");
    QTest::addColumn<double>("onset");  // the due time of the first frame not sent
    QTest::addColumn<double>("duration");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("note");
    QTest::addColumn<int>("skipped");

    // 8 and 4 Hz: their half periods are exact binary fractions, so the grid stays exact.
    const QByteArray twoSegments = "1,8,8,16,17,3\r\n2,4,4,16,17,10\r\n";
    // The dark frame due at 1.0625 s and the lit one at 1.125 s pass; the dark one due at
    // 1.1875 s goes out as the player runs again at 1.2 s.
    QTest::newRow("two frames") << twoSegments << stall(1.01, 0.19) << 1.0625 << 0.1375 << 2
                                << "2 frame(s) not sent" << 2;
    // 4 Hz from 3 s on: the frame due at 4.125 s waits until 5.5625 s, past the bound of a
    // second.
    QTest::newRow("past the bound, in the second segment")
        << twoSegments << stall(4.0625, 1.5) << 4.125 << 1.4375 << 3
        << "11 frame(s) not sent; the frame grid restarted from the clock" << 11;
    // From 2.53125 s to 3.125 s: the frames due from 2.5625 s to the segment's end at 3 s
    // pass, and no frame of the segment comes after them.
    QTest::newRow("to the segment's end")
        << twoSegments << stall(2.53125, 0.59375) << 2.5625 << 0.5625 << 2
        << "7 frame(s) not sent; the segment ended during the stall" << 7;
}

void TestSessionRecorder::stallRows() {
    QFETCH(QByteArray, records);
    QFETCH(Disturbance, stall);
    QFETCH(double, onset);
    QFETCH(double, duration);
    QFETCH(int, line);
    QFETCH(QString, note);
    QFETCH(int, skipped);

    TestRun run(records, {stall});
    const SessionRecord record = run.play();
    QTemporaryDir dir;
    QString error;
    QVERIFY2(SessionFiles::write(record, summarizeSession(record), dir.path(), &error),
             qPrintable(error));
    const std::optional<SessionFiles::Loaded> loaded = SessionFiles::read(dir.path(), &error);
    QVERIFY2(loaded, qPrintable(error));

    // The events table: one stall row, inside its segment's.
    std::vector<SessionEvent> stalls;
    std::optional<SessionEvent> segment;
    for (const SessionEvent& event : loaded->events) {
        if (event.kind == EventKind::Stall) {
            stalls.push_back(event);
        } else if (event.kind == EventKind::Segment && event.line == line) {
            segment = event;
        }
    }
    QCOMPARE(stalls.size(), size_t(1));
    const SessionEvent& row = stalls.front();
    QVERIFY2(std::abs(row.onset - onset) < 1e-6, qPrintable(QString::number(row.onset, 'f', 6)));
    QVERIFY2(std::abs(row.duration - duration) < 1e-6,
             qPrintable(QString::number(row.duration, 'f', 6)));
    QCOMPARE(row.line, line);
    QCOMPARE(row.note, note);
    QCOMPARE(row.skippedFrames, skipped);
    QVERIFY(segment);
    QCOMPARE(segment->stalls, 1);
    QCOMPARE(segment->skippedFrames, skipped);
    QCOMPARE(loaded->totals.stalls, 1);
    QCOMPARE(loaded->totals.skippedFrames, skipped);
}

void TestSessionRecorder::cycles_data() {
    QTest::addColumn<QByteArray>("records");
    QTest::addColumn<QList<Disturbance>>("disturbances");
    QTest::addColumn<QList<double>>("ratios");  // of each segment
    QTest::addColumn<double>("total");
    QTest::addColumn<double>("jitterMs");  // of the first segment

    // 8 Hz: its half period is an exact binary fraction, so the grid stays exact. Its lit
    // frames are due at 0, 0.125 ... 2.875 s: 23 cycles from the first to the last.
    const QByteArray eightHz = "1,8,8,255,255,3\r\n";
    const QList<Disturbance> none;
    QTest::newRow("stopped mid-cycle")
        << QByteArray("1,10,10,255,255,30\r\n") << QList<Disturbance>{stopAt(1.23)}
        << QList<double>{1} << 1.0 << 0.0;
    QTest::newRow("paused") << QByteArray("1,10,10,17,16,6\r\n2,20,20,17,16,2\r\n")
                            << QList<Disturbance>{pause(2.02, 3)} << QList<double>{1, 1} << 1.0
                            << 0.0;
    QTest::newRow("10 Hz, paused 2.2 s, stopped after 17 s")
        << QByteArray("1,10,10,17,16,30\r\n") << QList<Disturbance>{pause(5.02, 2.2), stopAt(17)}
        << QList<double>{1} << 1.0 << 0.0;
    QTest::newRow("ramps up and down") << QByteArray("1,10,20,16,17,10\r\n2,7,3,40,20,6\r\n")
                                       << none << QList<double>{1, 1} << 1.0 << 0.0;
    QTest::newRow("a two-second ramp, paused and stopped")
        << QByteArray("1,10,20,255,255,2\r\n") << QList<Disturbance>{pause(0.73, 1), stopAt(2.61)}
        << QList<double>{1} << 1.0 << 0.0;
    QTest::newRow("exactly two cycles")
        << QByteArray("1,2,2,255,255,1\r\n") << none << QList<double>{1} << 1.0 << None;
    QTest::newRow("a stall skips a lit frame") << eightHz << QList<Disturbance>{stall(1.01, 0.19)}
                                               << QList<double>{22.0 / 23} << 22.0 / 23 << None;
    // Lit frames up to 2.5 s are written; those due at 2.625, 2.75 and 2.875 s pass.
    QTest::newRow("a stall swallows three lit frames at the segment's end")
        << eightHz + "2,8,8,255,255,1\r\n"
        << QList<Disturbance>{stall(2.53125, 0.59375)} << QList<double>{20.0 / 23, 1} << 27.0 / 30
        << None;
    QTest::newRow("the library refuses a lit frame")
        << eightHz << QList<Disturbance>{fail(1.1, 0.05)} << QList<double>{22.0 / 23} << 22.0 / 23
        << None;
    // The lit frames are called 0, 0.8, 0.4, 0 ... ms late: their periods are off by 0.8,
    // -0.4, -0.4, 0.8 ... ms, 23 of them.
    std::vector<double> offs;
    for (int k = 1; k < 24; ++k) {
        offs.push_back(0.4 * ((2 * k) % 3) - 0.4 * ((2 * k - 2) % 3));
    }
    double mean = 0;
    for (const double off : offs) {
        mean += off / double(offs.size());
    }
    double squares = 0;
    for (const double off : offs) {
        squares += (off - mean) * (off - mean);
    }
    QTest::newRow("writes up to 0.8 ms late")
        << eightHz << QList<Disturbance>{late(0.0008)} << QList<double>{1} << 1.0
        << std::sqrt(squares / double(offs.size() - 1));
}

void TestSessionRecorder::cycles() {
    QFETCH(QByteArray, records);
    QFETCH(QList<Disturbance>, disturbances);
    QFETCH(QList<double>, ratios);
    QFETCH(double, total);
    QFETCH(double, jitterMs);

    TestRun run(records, disturbances);
    const SessionSummary summary = summarizeSession(run.play());
    QList<const SessionEvent*> segments;
    for (const SessionEvent& event : summary.events) {
        if (event.kind == EventKind::Segment) {
            segments << &event;
        }
    }
    QCOMPARE(segments.size(), ratios.size());
    for (qsizetype i = 0; i < segments.size(); ++i) {
        const SessionEvent& row = *segments[i];
        QVERIFY2(
            std::abs(row.ratio - ratios[i]) < 1e-9,
            qPrintable(QStringLiteral("segment %1: ratio %2").arg(i).arg(row.ratio, 0, 'f', 9)));
        QVERIFY(std::abs(row.deliveredHz - row.ratio * row.askedHz) < 1e-9);
    }
    QVERIFY2(std::abs(summary.totals.ratio - total) < 1e-9,
             qPrintable(QString::number(summary.totals.ratio, 'f', 9)));
    QVERIFY(std::abs(summary.totals.deliveredHz - total * summary.totals.askedHz) < 1e-9);
    if (std::isnan(jitterMs)) {
        return;
    }
    QVERIFY2(std::abs(segments.front()->jitterMs - jitterMs) < 1e-5,
             qPrintable(QString::number(segments.front()->jitterMs, 'f', 6)));
    if (segments.size() == 1) {
        QVERIFY(std::abs(summary.totals.jitterMs - jitterMs) < 1e-5);
    }
}

void TestSessionRecorder::files_data() {
    QTest::addColumn<QByteArray>("records");
    QTest::addColumn<QString>("framesSuffix");
    QTest::newRow("short: plain table") << QByteArray("1,40,40,255,255,2\r\n") << "_frames.tsv";
    // 96,000 frames: past the size at which the frames table is gzipped.
    QTest::newRow("20 minutes at 40 Hz: gzipped")
        << QByteArray("1,40,40,255,255,1200\r\n") << "_frames.tsv.gz";
}

void TestSessionRecorder::files() {
    QFETCH(QByteArray, records);
    QFETCH(QString, framesSuffix);
    TestRun run(records);
    run.h.window.whiteBox = 1;
    run.h.settings.ComPortNumber = 3;
    const SessionRecord record = run.play();
    const SessionSummary summary = summarizeSession(record);

    QTemporaryDir dir;
    QString error;
    const std::optional<SessionFiles::Paths> paths =
        SessionFiles::write(record, summary, dir.filePath(QStringLiteral("records")), &error);
    QVERIFY2(paths, qPrintable(error));
    const QString stem = QFileInfo(paths->json).fileName().chopped(int(strlen("_record.json")));
    QVERIFY2(
        QRegularExpression(QStringLiteral("^My-session_\\d{8}T\\d{6}Z$")).match(stem).hasMatch(),
        qPrintable(stem));
    QCOMPARE(QFileInfo(paths->events).fileName(), stem + QStringLiteral("_events.tsv"));
    QCOMPARE(QFileInfo(paths->frames).fileName(), stem + framesSuffix);
    QCOMPARE(QFileInfo(paths->eventsSidecar).fileName(), stem + QStringLiteral("_events.json"));

    // The data dictionary describes every column of the events table, and only those.
    const QJsonObject sidecar = jsonOf(paths->eventsSidecar);
    const QStringList header =
        QString::fromUtf8(bytesOf(paths->events).split('\n').first()).split(QLatin1Char('\t'));
    QStringList described = sidecar.keys();
    QStringList columns = header;
    described.sort();
    columns.sort();
    QCOMPARE(described, columns);
    for (const QString& column : header) {
        const QJsonObject entry = sidecar.value(column).toObject();
        QVERIFY2(!entry.value("LongName").toString().isEmpty() &&
                     !entry.value("Description").toString().isEmpty(),
                 qPrintable(column));
    }
    QCOMPARE(sidecar.value("onset").toObject().value("Units").toString(), QStringLiteral("s"));
    QCOMPARE(sidecar.value("asked_hz").toObject().value("Units").toString(), QStringLiteral("Hz"));
    QCOMPARE(sidecar.value("jitter_ms").toObject().value("Units").toString(), QStringLiteral("ms"));
    QVERIFY(!sidecar.value("ratio").toObject().contains("Units"));
    const QStringList levels =
        sidecar.value("trial_type").toObject().value("Levels").toObject().keys();
    QCOMPARE(levels.size(), qsizetype(RecordSchema::AllEventKinds.size()));
    for (const QString& level : levels) {
        QVERIFY2(RecordSchema::eventKindNamed(level), qPrintable(level));
    }

    const QJsonObject json = jsonOf(paths->json);
    QCOMPARE(json.value("Files").toObject().value("EventsSidecar").toString(),
             QFileInfo(paths->eventsSidecar).fileName());
    const QJsonObject program = json.value("Program").toObject();
    QCOMPARE(program.value("FileName").toString(), QStringLiteral("My session.csv"));
    QCOMPARE(program.value("Size").toInteger(), run.bytes.size());
    QCOMPARE(program.value("Text").toString().toLatin1(), run.bytes);
    QCOMPARE(program.value("SHA256").toString().toLatin1(),
             QCryptographicHash::hash(run.bytes, QCryptographicHash::Sha256).toHex());
    QCOMPARE(json.value("ComPort").toObject().value("Number").toInt(),
             int(run.h.settings.ComPortNumber));
    QCOMPARE(json.value("ComPort").toObject().value("DevicePath").toString(),
             ComPorts::devicePath(3));
    QCOMPARE(json.value("WhiteLEDs").toBool(), true);
    QCOMPARE(json.value("QtVersion").toString(), QString::fromLatin1(qVersion()));
    QVERIFY(!json.value("OperatingSystem").toString().isEmpty());
    QVERIFY(!json.value("SoftwareVersion").toString().isEmpty());
    QCOMPARE(json.value("StartMonotonic").toDouble(), run.start);
    const QDateTime started =
        QDateTime::fromString(json.value("StartTime").toString(), Qt::ISODateWithMs);
    QCOMPARE(started.timeSpec(), Qt::UTC);
    QVERIFY(std::abs(started.secsTo(QDateTime::currentDateTimeUtc())) < 600);
    QCOMPARE(json.value("Ended").toObject().value("How").toString(), QStringLiteral("finished"));
    QVERIFY(json.value("TimestampMeaning").toString().contains("not moments of light"));

    // What report reads back is what was written.
    const std::optional<SessionFiles::Loaded> loaded =
        SessionFiles::read(dir.filePath("records"), &error);
    QVERIFY2(loaded, qPrintable(error));
    QCOMPARE(trialTypes(loaded->events), trialTypes(summary.events));
    const SessionEvent& written = summary.events.front();
    const SessionEvent& read = loaded->events.front();
    QCOMPARE(read.litFrames, written.litFrames);
    QCOMPARE(read.ratio, std::round(written.ratio * 1e6) / 1e6);
    QCOMPARE(loaded->totals.litFrames, summary.totals.litFrames);
    QCOMPARE(loaded->totals.ratio, summary.totals.ratio);

    const auto frames = SessionFiles::readFrames(*loaded, &error);
    QVERIFY2(frames, qPrintable(error));
    QCOMPARE(frames->size(), record.frames.size());
    const QList<RecordingWsc32::Call> writes = run.h.serial.writes();
    for (size_t i : {size_t(0), size_t(1), frames->size() - 2, frames->size() - 1}) {
        const SessionFiles::FrameRow& row = (*frames)[i];
        const QByteArray bytes = writes[qsizetype(i)].bytes;
        QCOMPARE(row.colour.toLatin1(), bytes.mid(3, 6));
        QCOMPARE(row.address, bytes.mid(1, 2).toInt(nullptr, 16));
        QCOMPARE(row.lead, QStringLiteral("SOH"));
        QCOMPARE(row.result, writes[qsizetype(i)].result);
        QVERIFY(std::abs(row.called - (writes[qsizetype(i)].time - run.start)) < 1e-6);
    }
    QCOMPARE(frames->back().lit, -1);  // the closing frame is not the player's
    QCOMPARE(frames->front().hz, 40);
}

void TestSessionRecorder::readsRecordsWithoutJitter() {
    TestRun run("1,10,10,255,255,3\r\n");
    const SessionRecord record = run.play();
    const SessionSummary summary = summarizeSession(record);
    QTemporaryDir dir;
    QString error;
    const std::optional<SessionFiles::Paths> paths =
        SessionFiles::write(record, summary, dir.path(), &error);
    QVERIFY2(paths, qPrintable(error));

    // A record as written before the jitter was kept: no jitter_ms column, no JitterMs total,
    // no data dictionary.
    QList<QByteArray> lines = bytesOf(paths->events).split('\n');
    const qsizetype column = lines.first().split('\t').indexOf("jitter_ms");
    QVERIFY(column >= 0);
    for (QByteArray& line : lines) {
        if (!line.isEmpty()) {
            QList<QByteArray> fields = line.split('\t');
            fields.removeAt(column);
            line = fields.join('\t');
        }
    }
    QJsonObject json = jsonOf(paths->json);
    QJsonObject totals = json.value("Summary").toObject();
    totals.remove("JitterMs");
    json.insert("Summary", totals);
    QJsonObject files = json.value("Files").toObject();
    files.remove("EventsSidecar");
    json.insert("Files", files);
    QFile::remove(paths->eventsSidecar);
    QFile events(paths->events);
    QFile description(paths->json);
    QVERIFY(events.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
            events.write(lines.join('\n')) > 0);
    QVERIFY(description.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
            description.write(QJsonDocument(json).toJson()) > 0);
    events.close();
    description.close();

    const std::optional<SessionFiles::Loaded> loaded = SessionFiles::read(dir.path(), &error);
    QVERIFY2(loaded, qPrintable(error));
    QCOMPARE(trialTypes(loaded->events), trialTypes(summary.events));
    QVERIFY(std::isnan(loaded->events.front().jitterMs));
    QCOMPARE(loaded->events.front().ratio, 1.0);
    QCOMPARE(loaded->events.front().askedHz, 10.0);
    QVERIFY(std::isnan(loaded->totals.jitterMs));
    QCOMPARE(loaded->totals.ratio, 1.0);
    // The report shows what is there and n/a for the jitter.
    const QStringList report = reportLines(*loaded);
    QVERIFY2(report.filter(QRegularExpression("^   2        1 .* 1\\.000000 .* n/a ")).size() == 1,
             qPrintable(report.join('\n')));
    QVERIFY(
        report.join('\n').contains("ratio 1.000000; late p99 0.000 ms, max 0.000 ms; "
                                   "jitter n/a ms"));
    QVERIFY(reportJson(*loaded).value("Totals").toObject().value("JitterMs").isNull());
}

void TestSessionRecorder::observerLeavesWithTheRecorder() {
    TestRun run("1,10,10,255,255,1\r\n");
    {
        SessionRecorder recorder(run.h.controller->context());
        recorder.begin({QStringLiteral("test"), QStringLiteral("p.csv"), run.bytes});
    }
    // A recorder gone mid-run leaves no observer behind to call into it.
    run.h.controller->port().SendToVantorb(QStringLiteral("000000"));
    QCOMPARE(run.h.serial.writes().size(), 1);
}

void TestSessionRecorder::pauses_data() {
    QTest::addColumn<QByteArray>("records");
    QTest::addColumn<double>("stopAt");  // End Program while held, or None
    QTest::addColumn<QStringList>("types");
    QTest::addColumn<double>("held");  // seconds the record says the run was held
    QTest::addColumn<QString>("ending");
    QTest::newRow("paused mid-segment")
        << QByteArray("1,10,10,17,16,6\r\n2,20,20,17,16,2\r\n") << None
        << QStringList{"segment", "paused", "segment", "ended"} << 3.0 << "played to the end";
    QTest::newRow("stopped while paused")
        << QByteArray("1,10,10,17,16,30\r\n") << 4.0 << QStringList{"segment", "paused", "ended"}
        << 1.98 << "stopped by End Program";
}

void TestSessionRecorder::pauses() {
    QFETCH(QByteArray, records);
    QFETCH(double, stopAt);
    QFETCH(QStringList, types);
    QFETCH(double, held);
    QFETCH(QString, ending);
    constexpr double PauseAt = 2.02;  // between two frames, as a click comes
    TestRun run(records);
    Harness& h = run.h;
    bool holding = false;
    h.clock.at(run.start + PauseAt, [&holding] { holding = true; });
    h.clock.at(run.start + PauseAt + 3.0, [&holding] { holding = false; });
    if (!std::isnan(stopAt)) {
        h.clock.at(run.start + stopAt, [&h] { h.state.ProgramRunning = false; });
    }
    DeviceRun::Request request;
    request.bytes = run.bytes;
    request.programPath = QStringLiteral("p.csv");
    request.software = QStringLiteral("test");
    request.keepRecord = true;
    request.hooks.holding = [&holding] { return holding; };
    QTemporaryDir dir;
    const DeviceRun::Outcome outcome = DeviceRun::playOn(h.controller->context(), request);
    QVERIFY(outcome.record);
    QString error;
    QVERIFY2(outcome.record->write(dir.path(), &error), qPrintable(error));

    const std::optional<SessionFiles::Loaded> loaded = SessionFiles::read(dir.path(), &error);
    QVERIFY2(loaded, qPrintable(error));
    QCOMPARE(trialTypes(loaded->events), types);
    const SessionEvent& paused = eventOf(loaded->events, QStringLiteral("paused"));
    QCOMPARE(paused.onset, PauseAt);
    QCOMPARE(paused.duration, held);
    QCOMPARE(paused.line, 2);
    QCOMPARE(loaded->totals.heldSeconds, held);
    QCOMPARE(loaded->events.back().note, ending);
    // The time held is no frame missed: every segment delivered what it was asked.
    for (const SessionEvent& event : loaded->events) {
        if (event.kind == EventKind::Segment) {
            QCOMPARE(event.ratio, 1.0);
        }
    }
    // The hold's dark frame went out as the pause came, off the player's grid.
    const auto frames = SessionFiles::readFrames(*loaded, &error);
    QVERIFY2(frames, qPrintable(error));
    const auto dark = std::find_if(frames->begin(), frames->end(),
                                   [&](const auto& f) { return f.called >= PauseAt - 1e-9; });
    QVERIFY(dark != frames->end());
    QCOMPARE(dark->called, PauseAt);
    QCOMPARE(dark->colour, QStringLiteral("000000"));
    QCOMPARE(dark->lit, -1);
}

void TestSessionRecorder::markersFollowTheRecord_data() {
    QTest::addColumn<QList<Disturbance>>("disturbances");
    QTest::addColumn<QStringList>("words");  // the markers' first words, in order
    const QStringList twoSegments{"segment", "segment", "ended"};
    QTest::newRow("played through") << QList<Disturbance>{} << twoSegments;
    QTest::newRow("paused") << QList<Disturbance>{pause(1.1, 0.7)}
                            << QStringList{"segment", "paused", "resumed", "segment", "ended"};
    QTest::newRow("device lost and back")
        << QList<Disturbance>{fail(0.6, 0.5)}
        << QStringList{"segment", "device_lost", "device_back", "segment", "ended"};
    QTest::newRow("stall") << QList<Disturbance>{stall(2.53125, 0.3)}
                           << QStringList{"segment", "segment", "stall", "ended"};
    QTest::newRow("stopped") << QList<Disturbance>{stopAt(1.5)} << QStringList{"segment", "ended"};
}

// The markers say what the record says, at the times it says it: a segment's at its first
// frame's write, a pause's as it began, the end's after the closing frame.
void TestSessionRecorder::markersFollowTheRecord() {
    QFETCH(QList<Disturbance>, disturbances);
    QFETCH(QStringList, words);
    TestRun run("1,8,8,255,255,2\r\n2,4,4,255,255,2\r\n", disturbances);
    const SessionRecord record = run.play();
    QStringList seen;
    for (const auto& [text, time] : run.markers) {
        seen << text.section(QLatin1Char(' '), 0, 0);
    }
    QCOMPARE(seen, words);
    const SessionSummary summary = summarizeSession(record);
    for (const SessionEvent& event : summary.events) {
        const QString word = RecordSchema::eventKindName(event.kind);
        const auto marker = std::find_if(run.markers.begin(), run.markers.end(), [&](auto& m) {
            return m.first.startsWith(word) &&
                   (event.kind == EventKind::Ended || event.line == 0 ||
                    m.first.contains(QStringLiteral("line=%1").arg(event.line)));
        });
        QVERIFY2(marker != run.markers.end(), qPrintable(word));
        if (event.kind != EventKind::Stall) {
            // The stall's row starts where the frames stopped; its marker comes with the frame
            // that ended it.
            QCOMPARE(marker->second - record.origin(), event.onset);
        }
    }
    QCOMPARE(run.markers.last().first, QStringLiteral("ended how=%1").arg(record.ending.name()));
}

QTEST_GUILESS_MAIN(TestSessionRecorder)
#include "tst_SessionRecorder.moc"
