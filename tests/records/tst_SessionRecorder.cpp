// Session records on virtual time: the rows and totals of runs that end in every way, the
// stalls, the files and what reading them back gives.
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
    };
    Kind kind = Stop;
    double at = 0;
    double length = 0;
};

Disturbance stopAt(double at) {
    return {Disturbance::Stop, at, 0};
}
Disturbance stall(double at, double length) {
    return {Disturbance::Stall, at, length};
}
Disturbance fail(double at, double length) {
    return {Disturbance::Fail, at, length};
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
            }
        }
    }

    // Plays the program and returns its record.
    SessionRecord play() {
        SessionRecorder recorder(h.controller->context());
        recorder.begin({QStringLiteral("test"), QStringLiteral("/programs/My session.csv"), bytes});
        ProgramPlayback::Hooks inner;
        inner.holding = [this] { return holding; };
        const std::optional<ProgramError> failure =
            ProgramPlayback(h.controller->context(), recorder.hooks(std::move(inner))).play(bytes);
        SessionEnding ending;
        if (failure) {
            ending.how = SessionEnding::How::Failed;
            ending.failure = failure;
        } else if (!h.state.ProgramRunning) {
            ending.how = SessionEnding::How::Stopped;
        }
        return recorder.finish(ending);
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
    double start = 0;
    bool holding = false;
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
    void files_data();
    void files();
    void observerLeavesWithTheRecorder();
    void pauses_data();
    void pauses();
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
        if (disturbances.isEmpty() || disturbances.front().kind != Disturbance::Fail) {
            // An ideal clock delivers what is asked, to a lit frame.
            QVERIFY2(std::abs(event.ratio - 1.0) <= 1.0 / event.litFrames,
                     qPrintable(QString::number(event.ratio, 'f', 6)));
        }
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

    const QJsonObject json = jsonOf(paths->json);
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
    // The time held is no frame missed: every segment delivered what it was asked, to a frame.
    for (const SessionEvent& event : loaded->events) {
        if (event.kind == EventKind::Segment) {
            QVERIFY2(std::abs(event.ratio - 1.0) <= 1.0 / event.litFrames,
                     qPrintable(QString::number(event.ratio, 'f', 6)));
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

QTEST_GUILESS_MAIN(TestSessionRecorder)
#include "tst_SessionRecorder.moc"
