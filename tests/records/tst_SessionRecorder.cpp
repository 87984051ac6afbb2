// Session records on virtual time: the rows and totals of runs that end in every way, the files
// and what reading them back gives.
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <limits>

#include "device/ComPorts.h"
#include "device/Wsc32.h"
#include "programs/ProgramPlayback.h"
#include "records/SessionFiles.h"
#include "records/SessionRecorder.h"
#include "runs/DeviceRun.h"
#include "support/Harness.h"

namespace {

constexpr double None = std::numeric_limits<double>::quiet_NaN();
const QByteArray Header = "Segment,Start Hz,End Hz,Start level,End level,Seconds\r\n";

// A program played on a harness with a recorder on, as a front end plays it.
struct TestRun {
    explicit TestRun(const QByteArray& records) : bytes(Header + records) {
        h.openPortAndClear();
        h.state.ProgramRunning = true;
        start = h.clock.now();
    }

    // Plays the program and returns its record.
    SessionRecord play() {
        SessionRecorder recorder(h.controller->context());
        recorder.begin({QStringLiteral("test"), QStringLiteral("/programs/My session.csv"), bytes});
        const std::optional<ProgramError> failure =
            ProgramPlayback(h.controller->context(), recorder.hooks()).play(bytes);
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

}  // namespace

class TestSessionRecorder : public QObject {
    Q_OBJECT

  private slots:
    void summary_data();
    void summary();
    void files_data();
    void files();
    void observerLeavesWithTheRecorder();
    void pauses_data();
    void pauses();
};

void TestSessionRecorder::summary_data() {
    QTest::addColumn<QByteArray>("records");
    QTest::addColumn<double>("stopAt");     // End Program, seconds from the start
    QTest::addColumn<double>("lostFrom");   // the library fails every write from here ...
    QTest::addColumn<double>("lostUntil");  // ... to here
    QTest::addColumn<double>("stallAt");    // the machine stops for stallFor seconds here
    QTest::addColumn<double>("stallFor");
    QTest::addColumn<QStringList>("types");
    QTest::addColumn<QList<double>>("seconds");  // of each segment row
    QTest::addColumn<QString>("ending");
    QTest::addColumn<int>("endedLine");

    const QStringList one{"segment", "ended"};
    QTest::newRow("constant") << QByteArray("1,10,10,17,16,3\r\n") << None << None << None << None
                              << None << one << QList<double>{3} << "played to the end" << 2;
    QTest::newRow("ramps") << QByteArray("1,10,20,16,17,10\r\n2,7,3,40,20,6\r\n") << None << None
                           << None << None << None << QStringList{"segment", "segment", "ended"}
                           << QList<double>{10, 6} << "played to the end" << 3;
    QTest::newRow("End Program") << QByteArray("1,10,10,16,17,30\r\n") << 1.23 << None << None
                                 << None << None << one << QList<double>{1.23}
                                 << "stopped by End Program" << 2;
    QTest::newRow("a ramp through 0 Hz fails")
        << QByteArray("1,4,4,16,17,1\r\n2,2,-2,255,255,4\r\n") << None << None << None << None
        << None << QStringList{"segment", "segment", "ended"} << QList<double>{1, 2.75}
        << "Line 3: the frequency ramp reaches 0 Hz" << 3;
    QTest::newRow("a start frequency of 0 fails before its segment")
        << QByteArray("1,4,4,16,17,1\r\n2,0,5,1,1,1\r\n") << None << None << None << None << None
        << one << QList<double>{1} << "Line 3: the start frequency is 0" << 3;
    QTest::newRow("device lost and back")
        << QByteArray("1,10,10,16,17,4\r\n") << None << 1.02 << 2.02 << None << None
        << QStringList{"segment", "device_lost", "device_back", "ended"} << QList<double>{4}
        << "played to the end" << 2;
    QTest::newRow("device lost to the end")
        << QByteArray("1,10,10,16,17,4\r\n") << None << 3.02 << None << None << None
        << QStringList{"segment", "device_lost", "ended"} << QList<double>{4} << "played to the end"
        << 2;
}

void TestSessionRecorder::summary() {
    QFETCH(QByteArray, records);
    QFETCH(double, stopAt);
    QFETCH(double, lostFrom);
    QFETCH(double, lostUntil);
    QFETCH(double, stallAt);
    QFETCH(double, stallFor);
    QFETCH(QStringList, types);
    QFETCH(QList<double>, seconds);
    QFETCH(QString, ending);
    QFETCH(int, endedLine);

    TestRun run(records);
    Harness& h = run.h;
    if (!std::isnan(stopAt)) {
        h.clock.at(run.start + stopAt, [&h] { h.state.ProgramRunning = false; });
    }
    if (!std::isnan(lostFrom)) {
        h.clock.at(run.start + lostFrom, [&h] { h.serial.failWith("SioPuts", -103); });
    }
    if (!std::isnan(lostUntil)) {
        h.clock.at(run.start + lostUntil, [&h] { h.serial.clearFailure("SioPuts"); });
    }
    if (!std::isnan(stallAt)) {
        // An event that holds the machine up: time passes while nothing runs.
        h.clock.at(run.start + stallAt, [&h, stallFor] { h.clock.advance(stallFor); });
    }
    const SessionRecord record = run.play();
    const SessionSummary summary = summarizeSession(record);
    QCOMPARE(trialTypes(summary.events), types);
    // The first frame is the origin: on virtual time it goes out as the run starts.
    QCOMPARE(record.origin(), run.start);

    qsizetype segment = 0;
    for (const SessionEvent& event : summary.events) {
        if (event.kind != RecordSchema::EventKind::Segment) {
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
        if (std::isnan(lostFrom) && std::isnan(stallAt)) {
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

    if (!std::isnan(lostFrom)) {
        const SessionEvent& lost = eventOf(summary.events, QStringLiteral("device_lost"));
        // The first write that fails is the first frame due after the device went.
        QVERIFY2(lost.onset >= lostFrom && lost.onset < lostFrom + 0.05,
                 qPrintable(QString::number(lost.onset)));
        const double back = std::isnan(lostUntil) ? summary.totals.seconds : lostUntil;
        QVERIFY2(std::abs(lost.onset + lost.duration - back) < 0.05,
                 qPrintable(QString::number(lost.duration)));
        QCOMPARE(summary.totals.deviceLostAtEnd, std::isnan(lostUntil));
        QCOMPARE(summary.totals.failedWrites, h.serial.writes().size() - h.delivered().size());
    }
    if (!std::isnan(stallAt)) {
        const SessionEvent& stall = eventOf(summary.events, QStringLiteral("stall"));
        const SessionEvent& segment = summary.events.front();
        const double half = 0.5 / segment.record->nStartFrequency;
        // From the first frame whose time passed to the write that ended it.
        QVERIFY2(stall.onset > stallAt && stall.onset <= stallAt + half,
                 qPrintable(QString::number(stall.onset)));
        QVERIFY2(std::abs(stall.onset + stall.duration - (stallAt + stallFor)) < 1e-9,
                 qPrintable(QString::number(stall.duration)));
        QCOMPARE(stall.note.contains(QStringLiteral("restarted")), stallFor > 1.0);
        // The frames sent and those skipped fill the segment's grid, to a frame.
        const double onGrid = segment.duration / half;
        QVERIFY2(
            std::abs(double(summary.totals.pacedFrames + segment.skippedFrames) - onGrid) <= 1.0,
            qPrintable(QStringLiteral("%1 sent, %2 skipped")
                           .arg(summary.totals.pacedFrames)
                           .arg(segment.skippedFrames)));
        QCOMPARE(segment.stalls, 1);
        QCOMPARE(stall.skippedFrames, segment.skippedFrames);
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

    QFile file(paths->json);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject json = QJsonDocument::fromJson(file.readAll()).object();
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
        if (event.kind == RecordSchema::EventKind::Segment) {
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
