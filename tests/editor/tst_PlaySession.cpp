// The editor's Play without a window: the gates before a run (the safety notice, the check,
// the warnings asked once, the COM port, the records' folder, a marker stream no recorder is
// connected to), what the user is told of the run's end, the run's markers, and pause on a
// recorded run, on a recording serial library and virtual time.
#include <QTemporaryDir>
#include <QTest>

#include "EditorPlayer.h"
#include "PlaySession.h"
#include "records/RecordReport.h"
#include "records/SessionFiles.h"
#include "support/Harness.h"
#include "support/RecordingWsc32.h"
#include "support/TestFiles.h"
#include "support/VirtualClock.h"

namespace {

const QByteArray Header = "Segment,Start Hz,End Hz,Start level,End level,Seconds\r\n";
const QByteArray Clean = Header + "1,10,10,255,255,6\r\n";
// The level falls faster than the frames go out: it plays, but not as written.
const QByteArray Warned = Header + "1,5,5,255,0,2\r\n";
const QByteArray WithError = Header + "1,10,10,255,255,30\r\n2,0,10,255,255,30\r\n";

// The user, as the play session meets them.
class FakeDialogs final : public PlayDialogs {
  public:
    bool acknowledgeSafetyNotice() override { return acknowledged; }
    bool askToPlayWithWarnings(const QString& warnings) override {
        questions << warnings;
        return playWithWarnings;
    }
    bool askToPlayWithoutRecorder(const QString& stream) override {
        questions << stream;
        return playWithoutRecorder;
    }
    void showMessage(const QString& text) override { messages << text; }
    void showStatus(const QString& text) override { statuses << text; }
    void offerReport(const QString& jsonPath) override { reports << jsonPath; }

    bool acknowledged = true;
    bool playWithWarnings = true;
    bool playWithoutRecorder = true;
    QStringList questions;
    QStringList messages;
    QStringList statuses;
    QStringList reports;
};

// A marker stream that keeps the markers it is sent, with their clock times.
class FakeMarkers final : public PlayMarkers {
  public:
    QString name() const override { return QStringLiteral("Orlesse COM3 on test"); }
    bool hasRecorder() const override { return recorder; }
    void publish(DeviceRun::Request& request) override {
        request.markers = [this](const QString& text, double time) { sent.append({text, time}); };
        request.markerStream = MarkerStreamNote{name(), QStringLiteral("orlesse:test:COM3"), 100};
    }

    bool recorder = true;
    QList<QPair<QString, double>> sent;
};

// A play session on COM3 of a recording serial library and the virtual clock.
struct Rig {
    Rig()
        : serial(new RecordingWsc32),
          clock(new VirtualClock),
          player(std::unique_ptr<Wsc32>(serial), std::unique_ptr<ClockPump>(clock)),
          session(player, dialogs) {
        serial->setClock([this] { return clock->now(); });
    }

    PlaySession::Request request(const QByteArray& bytes) const {
        PlaySession::Request request;
        request.bytes = bytes;
        request.name = QStringLiteral("program.csv");
        request.programPath = QStringLiteral("/programs/program.csv");
        request.comNumber = 3;
        return request;
    }

    RecordingWsc32* serial;
    VirtualClock* clock;
    EditorPlayer player;
    FakeDialogs dialogs;
    PlaySession session;
    std::optional<ProgramAnalysis> shown;
};

}  // namespace

class PlaySessionTest : public QObject {
    Q_OBJECT

  private slots:
    void gates_data();
    void gates();
    void warningsAskedOncePerProgram();
    void endOfTheRun_data();
    void endOfTheRun();
    void pauseHoldsDarkAndTheRecordShowsIt();
    void markers_data();
    void markers();
};

void PlaySessionTest::gates_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("acknowledged");
    QTest::addColumn<bool>("playWithWarnings");
    QTest::addColumn<bool>("comChosen");
    QTest::addColumn<bool>("folderIsAFile");  // the records' folder is a file
    QTest::addColumn<int>("questions");
    QTest::addColumn<QString>("message");  // the start of the one message, if any
    QTest::addColumn<bool>("played");

    QTest::newRow("clean") << Clean << true << false << true << false << 0 << "" << true;
    QTest::newRow("notice not acknowledged: nothing asked")
        << Warned << false << true << true << false << 0 << "" << false;
    QTest::newRow("errors: refused with the check's lines")
        << WithError << true << true << true << false << 0
        << "The program has errors and does not play:\n\nprogram.csv:3: error: the start "
           "frequency is 0\n"
        << false;
    QTest::newRow("warnings declined")
        << Warned << true << false << true << false << 1 << "" << false;
    QTest::newRow("warnings accepted")
        << Warned << true << true << true << false << 1 << "" << true;
    QTest::newRow("no COM port") << Clean << true << true << false << false << 0
                                 << "Choose the COM port of the light first." << false;
    QTest::newRow("records' folder unusable: nothing sent")
        << Clean << true << true << true << true << 0
        << "The session record cannot be kept: " << false;
}

void PlaySessionTest::gates() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, acknowledged);
    QFETCH(bool, playWithWarnings);
    QFETCH(bool, comChosen);
    QFETCH(bool, folderIsAFile);
    QFETCH(int, questions);
    QFETCH(QString, message);
    QFETCH(bool, played);
    QTemporaryDir dir;
    Rig rig;
    rig.dialogs.acknowledged = acknowledged;
    rig.dialogs.playWithWarnings = playWithWarnings;
    PlaySession::Request request = rig.request(bytes);
    if (!comChosen) {
        request.comNumber.reset();
    }
    if (folderIsAFile) {
        request.recordFolder = dir.filePath(QStringLiteral("records"));
        putFile(*request.recordFolder, "not a folder");
    }
    // The window shows the analysis of an earlier table: the session judges the table as it is.
    rig.shown = Analysis::analyse(Clean + "2,10,10,255,255,6\r\n");

    rig.session.play(request, rig.shown);

    QCOMPARE(rig.dialogs.questions.size(), questions);
    QCOMPARE(rig.dialogs.messages.size(), message.isEmpty() ? 0 : 1);
    if (!message.isEmpty()) {
        QVERIFY2(rig.dialogs.messages.first().startsWith(message),
                 qPrintable(rig.dialogs.messages.first()));
    }
    QCOMPARE(!rig.serial->writes().isEmpty(), played);
    if (acknowledged) {
        QCOMPARE(rig.shown->bytes, bytes);
    }
    if (questions > 0) {
        QVERIFY2(rig.dialogs.questions.first().startsWith(
                     QStringLiteral("line 2: the level ramp from 255 to 0 reaches only 237")),
                 qPrintable(rig.dialogs.questions.first()));
    }
}

void PlaySessionTest::warningsAskedOncePerProgram() {
    Rig rig;
    rig.session.play(rig.request(Warned), rig.shown);
    rig.session.play(rig.request(Warned), rig.shown);
    QCOMPARE(rig.dialogs.questions.size(), 1);
    // Another program, or the same one opened anew, asks again.
    rig.session.play(rig.request(Warned + "2,5,5,255,0,2\r\n"), rig.shown);
    QCOMPARE(rig.dialogs.questions.size(), 2);
    rig.session.forgetWarnings();
    rig.session.play(rig.request(Warned + "2,5,5,255,0,2\r\n"), rig.shown);
    QCOMPARE(rig.dialogs.questions.size(), 3);
}

void PlaySessionTest::endOfTheRun_data() {
    QTest::addColumn<QString>("event");  // what happens 2 s into the run
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("message");  // the start of the one message, if any
    QTest::addColumn<bool>("reportOffered");

    QTest::newRow("played to the end") << ""
                                       << "Played to the end; the light is dark"
                                       << "" << true;
    QTest::newRow("stopped") << "stop"
                             << "Stopped; the light is dark"
                             << "" << true;
    QTest::newRow("the folder is gone: the record is lost")
        << "lose folder"
        << "Played to the end; the light is dark"
        << "The session record is lost: " << false;
    QTest::newRow("the port does not open: nothing more") << "no port"
                                                          << ""
                                                          << "Cannot open Com3: " << false;
}

void PlaySessionTest::endOfTheRun() {
    QFETCH(QString, event);
    QFETCH(QString, status);
    QFETCH(QString, message);
    QFETCH(bool, reportOffered);
    QTemporaryDir dir;
    Rig rig;
    PlaySession::Request request = rig.request(Clean);
    const QString folder = dir.filePath(QStringLiteral("records"));
    request.recordFolder = folder;
    const double start = rig.clock->now();
    if (event == QLatin1String("no port")) {
        rig.serial->failWith(QStringLiteral("SioReset"), -1);
    }
    rig.clock->at(start + 2, [&] {
        if (event == QLatin1String("stop")) {
            rig.player.stop();
        } else if (event == QLatin1String("lose folder")) {
            QDir(folder).removeRecursively();
            putFile(folder, "not a folder");
        }
    });

    rig.session.play(request, rig.shown);

    QCOMPARE(rig.dialogs.statuses, status.isEmpty() ? QStringList() : QStringList{status});
    QCOMPARE(rig.dialogs.messages.size(), message.isEmpty() ? 0 : 1);
    if (!message.isEmpty()) {
        QVERIFY2(rig.dialogs.messages.first().startsWith(message),
                 qPrintable(rig.dialogs.messages.first()));
    }
    QCOMPARE(rig.dialogs.reports.size(), reportOffered ? 1 : 0);
    if (reportOffered) {
        QVERIFY(rig.dialogs.reports.first().startsWith(folder + QLatin1Char('/')));
    }
    QCOMPARE(rig.player.state(), EditorPlayer::State::Idle);
}

void PlaySessionTest::pauseHoldsDarkAndTheRecordShowsIt() {
    // The level climbs one step a second; the pause comes at 2.5 s and lasts 4 s.
    QTemporaryDir dir;
    Rig rig;
    PlaySession::Request request = rig.request(Header + "7,10,10,0,10,10\r\n");
    request.recordFolder = dir.path();
    const double start = rig.clock->now();
    rig.clock->at(start + 2.5, [&] { rig.player.togglePause(); });
    rig.clock->at(start + 6.5, [&] { rig.player.togglePause(); });
    rig.session.play(request, rig.shown);

    QList<QPair<double, QByteArray>> sent;
    for (const RecordingWsc32::Call& call : rig.serial->writes()) {
        sent.append({call.time, call.bytes});
    }
    const QByteArray dark = Harness::soh("00", "000000");
    QVERIFY(sent.size() > 4);
    QCOMPARE(sent.last().second, dark);  // the closing frame
    // The pause's dark frame goes out at once, and nothing until the resume.
    const auto paused = std::find_if(sent.begin(), sent.end(),
                                     [&](const auto& frame) { return frame.first >= start + 2.5; });
    QVERIFY(paused != sent.begin() && paused != sent.end());
    QCOMPARE(*paused, qMakePair(start + 2.5, dark));
    QCOMPARE(std::next(paused)->first, start + 6.5);
    // It goes on lit, at the level it had when paused.
    QCOMPARE(std::next(paused)->second, std::prev(paused)->second);
    QVERIFY(std::prev(paused)->second != dark);
    // The segment plays the 7.5 seconds it had left: the run ends 4 s later than unpaused, at
    // the first frame due from then on.
    QVERIFY(sent.last().first >= start + 14 - 1e-6);
    QVERIFY(sent.last().first < start + 14 + 0.05);

    QCOMPARE(rig.dialogs.reports.size(), 1);
    QString error;
    const auto loaded = SessionFiles::read(rig.dialogs.reports.first(), &error);
    QVERIFY2(loaded, qPrintable(error));
    QCOMPARE(loaded->json.value("SoftwareProgram").toString(), QStringLiteral("orlesse-editor"));
    // Every frame of the run; the port's opening frame comes before it.
    QCOMPARE(loaded->totals.frames, sent.size() - 1);
    QCOMPARE(loaded->totals.heldSeconds, 4.0);
    const QString report = reportLines(*loaded).join('\n');
    QVERIFY2(report.contains(QStringLiteral("paused at 2.500 s for 4.000 s (line 2)")),
             qPrintable(report));
}

void PlaySessionTest::markers_data() {
    QTest::addColumn<bool>("recorder");
    QTest::addColumn<bool>("playAnyway");
    QTest::addColumn<bool>("everyLitFrame");
    QTest::addColumn<bool>("played");

    QTest::newRow("a recorder is connected: nothing asked") << true << false << false << true;
    QTest::newRow("no recorder, played anyway, every lit frame") << false << true << true << true;
    QTest::newRow("no recorder, declined: nothing sent") << false << false << false << false;
}

void PlaySessionTest::markers() {
    QFETCH(bool, recorder);
    QFETCH(bool, playAnyway);
    QFETCH(bool, everyLitFrame);
    QFETCH(bool, played);
    QTemporaryDir dir;
    Rig rig;
    FakeMarkers stream;
    stream.recorder = recorder;
    rig.dialogs.playWithoutRecorder = playAnyway;
    PlaySession::Request request = rig.request(Clean);
    request.recordFolder = dir.path();
    request.marking = EditorPlayer::Marking{&stream, everyLitFrame};
    rig.session.play(request, rig.shown);

    QCOMPARE(rig.dialogs.questions, recorder ? QStringList() : QStringList{stream.name()});
    QCOMPARE(rig.dialogs.reports.size(), played ? 1 : 0);
    if (!played) {
        QVERIFY(rig.serial->writes().isEmpty());
        QVERIFY(stream.sent.isEmpty());
        return;
    }
    // Each marker stands at the clock time of the write it follows.
    const QList<RecordingWsc32::Call> writes = rig.serial->writes();
    const QByteArray dark = Harness::soh("00", "000000");
    QList<QPair<QString, double>> lit;
    for (const RecordingWsc32::Call& call : writes.mid(1)) {  // after the port's opening frame
        if (call.bytes != dark) {
            lit.append({QStringLiteral("frame line=2 hz=10 level=255"), call.time});
        }
    }
    QVERIFY(lit.size() >= 60);  // 6 s at 10 Hz
    QList<QPair<QString, double>> expected{
        {QStringLiteral("segment line=2 id=1 start_hz=10 end_hz=10 start_level=255 "
                        "end_level=255 seconds=6"),
         lit.first().second}};
    if (everyLitFrame) {
        expected += lit;
    }
    expected.append({QStringLiteral("ended how=finished"), writes.last().time});
    QCOMPARE(stream.sent, expected);
    // The record names the stream the markers went to.
    QString error;
    const auto loaded = SessionFiles::read(rig.dialogs.reports.first(), &error);
    QVERIFY2(loaded, qPrintable(error));
    QCOMPARE(loaded->json.value("LabStreamingLayer").toObject().value("StreamName").toString(),
             stream.name());
}

QTEST_GUILESS_MAIN(PlaySessionTest)
#include "tst_PlaySession.moc"
