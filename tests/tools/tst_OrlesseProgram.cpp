// orlesse-program: its simulated runs against the segment player on virtual time, check on
// broken files, plot's image, and play through the vantorb-sim program over a pseudo-terminal.

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

#include "PlayCommand.h"
#include "analysis/ProgramCheck.h"
#include "analysis/Simulation.h"
#include "charts/RecordChart.h"
#include "records/RecordReport.h"
#include "support/Harness.h"
#include "support/SimulatorLog.h"
#include "support/TestFiles.h"

namespace {

constexpr int SimCom = 62;
constexpr int TimeoutMs = 20000;
const QByteArray Header = "Segment,Start Hz,End Hz,Start level,End level,Seconds\r\n";
const QString Dark = QStringLiteral("SOH 00 000000");

// The frame a simulated run reports, as the bytes the player writes for it.
QByteArray frameBytes(const SegmentPlayer::Frame& frame) {
    return frame.lit ? Harness::soh("00", SegmentPlayer::litColour(frame.level))
                     : Harness::soh("00", "000000");
}

}  // namespace

class TestOrlesseProgram : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void simulatedRunIsThePlayersRun_data();
    void simulatedRunIsThePlayersRun();
    void checkFindings_data();
    void checkFindings();
    void progressLine_data();
    void progressLine();
    void checkCommand_data();
    void checkCommand();
    void plotWritesImage_data();
    void plotWritesImage();
    void playOnSimulator_data();
    void playOnSimulator();
    void playOnPortThatCannotOpen();
    void recordOnSimulator_data();
    void recordOnSimulator();
    void deliveredPerSecond_data();
    void deliveredPerSecond();

  private:
    // Runs orlesse-program with the arguments until it ends; returns its exit code.
    int runTool(const QStringList& args, QByteArray* out = nullptr, QByteArray* err = nullptr);
    QString writeFile(const QString& name, const QByteArray& bytes);

    QString m_bin;
    QTemporaryDir m_dir;
};

void TestOrlesseProgram::initTestCase() {
    QVERIFY(m_dir.isValid());
    // The simulator publishes its COM link here and the tool looks it up here.
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.path()));
    m_bin = qEnvironmentVariable("ORLESSE_TEST_BIN");
    QVERIFY2(!m_bin.isEmpty(), "ORLESSE_TEST_BIN is not set");
}

QString TestOrlesseProgram::writeFile(const QString& name, const QByteArray& bytes) {
    const QString path = m_dir.filePath(name);
    putFile(path, bytes);
    return path;
}

int TestOrlesseProgram::runTool(const QStringList& args, QByteArray* out, QByteArray* err) {
    QProcess tool;
    tool.start(m_bin + QStringLiteral("/orlesse-program"), args);
    if (!tool.waitForFinished(TimeoutMs)) {
        tool.kill();
        tool.waitForFinished();
        return -1;
    }
    if (out != nullptr) {
        *out = tool.readAllStandardOutput();
    }
    if (err != nullptr) {
        *err = tool.readAllStandardError();
    }
    return tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
}

void TestOrlesseProgram::simulatedRunIsThePlayersRun_data() {
    QTest::addColumn<QByteArray>("records");
    QTest::newRow("level ramp faster than the frames, then both ramps")
        << QByteArray("1,5,5,255,0,2\r\n2,10,4,255,40,60\r\n");
    QTest::newRow("equal levels, levels past 255, fractional half periods")
        << QByteArray("1,3,3,100,100,7\r\n2,7,1,300,0,9\r\n3,1,50,250,300,20\r\n");
    QTest::newRow("0 and negative seconds between segments")
        << QByteArray("1,4,4,0,9,3\r\n2,4,4,0,9,0\r\n3,9,9,5,5,-2\r\n4,40,40,0,255,30\r\n");
    QTest::newRow("ramp through 0 Hz fails mid-segment")
        << QByteArray("1,2,2,16,17,1\r\n2,2,-2,255,255,4\r\n3,5,5,1,2,1\r\n");
    QTest::newRow("start frequency 0 fails before its segment")
        << QByteArray("1,2,2,16,17,1\r\n2,0,2,255,255,4\r\n");
}

void TestOrlesseProgram::simulatedRunIsThePlayersRun() {
    QFETCH(QByteArray, records);
    const QByteArray bytes = Header + records;

    // The simulated run, frame by frame.
    QList<QPair<double, QByteArray>> expected{{0.0, Harness::soh("00", "000000")}};  // opening
    const ProgramTrace trace = traceProgram(bytes, 0, [&](const SegmentPlayer::Frame& frame) {
        expected.append({frame.due, frameBytes(frame)});
    });
    expected.append({trace.end, Harness::soh("00", "000000")});  // closing

    // The window's run on virtual time from the same start.
    Harness h;
    h.clock.advance(-h.clock.now());
    const QString path = h.dir.filePath(QStringLiteral("program.csv"));
    putFile(path, bytes);
    h.window.fileAnswers << path;
    h.controller->cmdProgramStart_Click();

    QList<QPair<double, QByteArray>> actual;
    for (const RecordingWsc32::Call& call : h.serial.writes()) {
        actual.append({call.time, call.bytes});
    }
    QCOMPARE(actual.size(), expected.size());
    QCOMPARE(actual, expected);
    QCOMPARE(h.window.messages,
             trace.failure ? QStringList{trace.failure->message()} : QStringList());
}

void TestOrlesseProgram::checkFindings_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("findings");  // each the start of one report line, in order
    QTest::addColumn<QString>("summary");

    QTest::newRow("clean: ramps one step short are fine")
        << Header + "1,10,4,255,245,600\r\n2,4,4,255,255,60\r\n\r\n"
        << QStringList{} << "f.csv: 2 segments, 0:11:00, 4 to 10 Hz, level 246 to 255";
    QTest::newRow("ramps that fall short")
        << Header + "1,5,5,255,0,2\r\n2,40,40,0,255,60\r\n"
        << QStringList{"f.csv:2: warning: the level ramp from 255 to 0 reaches only 237: its "
                       "steps fall due every 0.00784 s, but a frame goes out only every 0.1 s",
                       "f.csv:3: warning: the level ramp from 0 to 255 reaches only 252: each of "
                       "its 255 steps waits"}
        << "f.csv: 2 segments, 0:01:02, 5 to 40 Hz, level 0 to 255";
    QTest::newRow("levels outside 0..255 are judged as shown")
        << Header + "1,10,10,300,250,100\r\n2,10,10,-5,0,10\r\n3,10,10,250,300,10\r\n"
        << QStringList{"f.csv:2: warning: the level ramp from 300 to 250 goes past its end value "
                       "to 207"}
        << "f.csv: 3 segments, 0:02:00, 10 to 10 Hz, level 0 to 255";
    QTest::newRow("too many frames to work out")
        << Header + "1,1,30000,255,255,32767\r\n"
        << QStringList{"f.csv:2: warning: the program sends more than 30000000 frames by here"}
        << "f.csv: 1 segment, 9:06:07";
    QTest::newRow("header that is a record, 0 and negative seconds")
        << QByteArray("1,10,10,255,255,30\r\n2,10,10,255,255,0\r\n3,4,4,1,1,-3\r\n")
        << QStringList{"f.csv:1: warning: the first line holds six values like a record",
                       "f.csv:2: warning: the segment lasts 0 seconds and plays nothing",
                       "f.csv:3: warning: the segment lasts -3 seconds"}
        << "f.csv: 2 segments, 0:00:00";
    QTest::newRow("every error, each line on its own")
        << Header +
               "1,10,10,255,255,1\r\n2,0,5,1,1,1\r\n3,-5,5,1,1,1\r\n4,x,1,1,1,1\r\n"
               "5,99999,1,1,1,1\r\n6,5,-5,1,1,10\r\n7,1,1,-32768,1,1\r\n\r\n8,1,1,1,1\r\n"
               "9,1,1,1,1,1,1\r\n10,2,2,1,2,3\r\n11,1,2"
        << QStringList{"f.csv:3: error: the start frequency is 0",
                       "f.csv:4: error: the start frequency is -5",
                       "f.csv:5: error: \"x\" is not a whole number",
                       "f.csv:6: error: 99999 is outside -32768 to 32767",
                       "f.csv:7: error: the frequency ramp reaches 0 Hz",
                       "f.csv:8: error: the difference of the levels overflows 16 bits",
                       "f.csv:9: error: the line holds 0 values, not 6; the window reads values "
                       "across lines, so this shifts every record after it",
                       "f.csv:10: error: the line holds 5 values, not 6",
                       "f.csv:11: error: the line holds 7 values, not 6",
                       "f.csv:13: error: the line holds 3 values, not 6",
                       "f.csv: the window's run ends at line 3 with \"Line 3: the start "
                       "frequency is 0\", after 1 record(s); no record from line 3 on plays"}
        << "f.csv: 4 segments, 0:00:15, 1 to 10 Hz, level 1 to 255";
    QTest::newRow("the window's run ends inside a segment")
        << Header + "1,2,2,16,17,1\r\n2,2,-2,255,255,4\r\n"
        << QStringList{"f.csv:3: error: the frequency ramp reaches 0 Hz",
                       "f.csv: the window's run ends 2.8 s into the segment of line 3"}
        << "f.csv: 2 segments, 0:00:05, 1 to 2 Hz, level 16 to 255";
    QTest::newRow("a short line shifts the window's records")
        << Header + "1,2,2,16,17\r\n2,2,2,16,17,1\r\n"
        << QStringList{"f.csv:2: error: the line holds 5 values, not 6",
                       "f.csv: the window's run ends at line 3 with \"Line 3: the record has only "
                       "5 of its 6 values\", after 1 record(s)"}
        << "f.csv: 1 segment, 0:00:01, 2 to 2 Hz, level 16 to 16";
    QTest::newRow("LF, lone CR and CR LF line ends count one line each")
        << QByteArray("h\n1,0,1,1,1,1\r2,1,1\r\n\n3,4,4,1,1,x\n")
        << QStringList{"f.csv:2: error: the start frequency is 0",
                       "f.csv:3: error: the line holds 3 values, not 6",
                       "f.csv:4: error: the line holds 0 values, not 6",
                       "f.csv:5: error: \"x\" is not a whole number",
                       "f.csv: the window's run ends at line 2"}
        << "f.csv: 0 segments, 0:00:00";
    QTest::newRow("empty file") << QByteArray()
                                << QStringList{"f.csv: error: the file is empty",
                                               "f.csv: the window plays nothing: \"The file is "
                                               "empty\""}
                                << "f.csv: 0 segments, 0:00:00";
}

void TestOrlesseProgram::checkFindings() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, findings);
    QFETCH(QString, summary);

    QStringList lines = formatReport(QStringLiteral("f.csv"), checkProgram(bytes));
    QVERIFY(!lines.isEmpty());
    QCOMPARE(lines.takeLast(), summary);
    QCOMPARE(lines.size(), findings.size());
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QVERIFY2(lines[i].startsWith(findings[i]), qPrintable(lines[i]));
    }
}

void TestOrlesseProgram::progressLine_data() {
    QTest::addColumn<int>("columns");
    QTest::addColumn<double>("elapsed");
    QTest::addColumn<double>("remaining");
    QTest::addColumn<QString>("expected");
    QTest::newRow("a quarter played") << 100 << 15.0 << 45.0
                                      << "segment 2 of 6   5 Hz  level 255  [#######"
                                         "------------------------]  0:00:15 played, 0:00:45 left";
    QTest::newRow("over an hour left") << 80 << 0.4 << 4000.0
                                       << "segment 2 of 6   5 Hz  level 255  [-----------]  "
                                          "0:00:00 played, 1:06:40 left";
    QTest::newRow("too narrow for a bar")
        << 52 << 30.0 << 30.0 << "segment 2 of 6   5 Hz  level 255  0:00:30 played";
    QTest::newRow("narrower still") << 40 << 30.0 << 30.0 << "segment 2 of 6   5 Hz  level 255";
}

void TestOrlesseProgram::progressLine() {
    QFETCH(int, columns);
    QFETCH(double, elapsed);
    QFETCH(double, remaining);
    QFETCH(QString, expected);
    const QString line = ::progressLine(2, 6, 5, 255, elapsed, remaining, columns);
    // Room is kept for the terminal's ^C echo, so the line never wraps.
    QVERIFY2(line.size() <= columns - 3, qPrintable(line));
    QCOMPARE(line, expected);
}

void TestOrlesseProgram::checkCommand_data() {
    QTest::addColumn<QStringList>("files");  // "examples" stands for every example program
    QTest::addColumn<int>("exitCode");
    QTest::newRow("examples: no error, no warning") << QStringList{"examples"} << 0;
    QTest::newRow("a warning only") << QStringList{"warn.csv"} << 0;
    QTest::newRow("an error among good files") << QStringList{"examples", "bad.csv"} << 1;
    QTest::newRow("a file that cannot be read") << QStringList{"bad.csv", "missing.csv"} << 2;
    QTest::newRow("no file") << QStringList{} << 2;
}

void TestOrlesseProgram::checkCommand() {
    QFETCH(QStringList, files);
    QFETCH(int, exitCode);
    writeFile(QStringLiteral("warn.csv"), Header + "1,5,5,255,0,2\r\n");
    writeFile(QStringLiteral("bad.csv"), Header + "1,0,5,255,0,2\r\n");

    QStringList args{QStringLiteral("check")};
    qsizetype examples = 0;
    for (const QString& file : files) {
        if (file == QLatin1String("examples")) {
            const QStringList names = QDir(m_bin).entryList({QStringLiteral("*.csv")});
            examples = names.size();
            for (const QString& name : names) {
                args << m_bin + QLatin1Char('/') + name;
            }
        } else {
            args << m_dir.filePath(file);
        }
    }
    QByteArray out;
    QByteArray err;
    QCOMPARE(runTool(args, &out, &err), exitCode);
    if (files.contains(QStringLiteral("examples"))) {
        QVERIFY(examples >= 4);
        const QList<QByteArray> lines = out.trimmed().split('\n');
        QCOMPARE(lines.size(), examples + (exitCode == 1 ? 3 : 0));
        QVERIFY2(lines.mid(0, examples).join().indexOf(": warning:") < 0, out.constData());
    }
    // Problems of the programs are results (stdout); what keeps the tool from working is not.
    QCOMPARE(err.isEmpty(), exitCode != 2);
}

void TestOrlesseProgram::plotWritesImage_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QSize>("size");
    QTest::newRow("default size") << QStringList{} << QSize(1200, 600);
    QTest::newRow("--size") << QStringList{"--size", "640x360"} << QSize(640, 360);
}

void TestOrlesseProgram::plotWritesImage() {
    QFETCH(QStringList, options);
    QFETCH(QSize, size);
    const QString program =
        writeFile(QStringLiteral("plot.csv"), Header + "1,10,4,255,40,60\r\n2,4,4,255,255,30\r\n");
    const QString image = m_dir.filePath(QStringLiteral("plot.png"));
    QFile::remove(image);
    QCOMPARE(runTool(QStringList{"plot", program, "-o", image} + options), 0);
    const QImage plot(image);
    QCOMPARE(plot.size(), size);
    // Both curves are drawn: the frequency's blue and the level's orange.
    int blue = 0;
    int orange = 0;
    for (int y = 0; y < plot.height(); ++y) {
        for (int x = 0; x < plot.width(); ++x) {
            const QColor c = plot.pixelColor(x, y);
            blue += c.blue() > 150 && c.red() < 80;
            orange += c.red() > 200 && c.green() > 90 && c.green() < 150 && c.blue() < 60;
        }
    }
    QVERIFY2(blue > size.width() / 2 && orange > size.width() / 4,
             qPrintable(QStringLiteral("%1 blue, %2 orange").arg(blue).arg(orange)));
}

void TestOrlesseProgram::playOnSimulator_data() {
    QTest::addColumn<QByteArray>("records");
    QTest::addColumn<int>("signalNumber");  // sent once the light has flashed a little; 0: none
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");  // expected on stderr

    const QByteArray twoSegments = "1,4,4,16,17,1\r\n2,5,5,32,33,1\r\n";
    QTest::newRow("played to its end") << twoSegments << 0 << 0 << "";
    QTest::newRow("Ctrl-C") << QByteArray("1,10,10,16,17,30\r\n") << SIGINT << 130
                            << "ended by SIGINT";
    QTest::newRow("SIGTERM") << QByteArray("1,10,10,16,17,30\r\n") << SIGTERM << 143
                             << "ended by SIGTERM";
    QTest::newRow("failure") << QByteArray("1,4,4,16,17,1\r\n2,2,-2,32,33,4\r\n") << 0 << 1
                             << "Line 3: the frequency ramp reaches 0 Hz";
}

void TestOrlesseProgram::playOnSimulator() {
    QFETCH(QByteArray, records);
    QFETCH(int, signalNumber);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    const QString program = writeFile(QStringLiteral("play.csv"), Header + records);
    const QString log = m_dir.filePath(QStringLiteral("frames.log"));
    QFile::remove(log);

    HeadlessSimulator sim(m_bin, SimCom, log);
    QVERIFY(sim.start(TimeoutMs));
    const auto stopSim = qScopeGuard([&sim] {
        // After an earlier failure the test has failed already.
        const bool clean = sim.stop(TimeoutMs);
        if (!QTest::currentTestFailed()) {
            QVERIFY(clean);
        }
    });

    QProcess tool;
    tool.start(m_bin + QStringLiteral("/orlesse-program"),
               {"play", program, "--com", QString::number(SimCom)});
    QVERIFY(tool.waitForStarted(TimeoutMs));
    if (signalNumber != 0) {
        QTRY_VERIFY_WITH_TIMEOUT(simulatorLogEntries(log).size() >= 4, TimeoutMs);
        ::kill(static_cast<pid_t>(tool.processId()), signalNumber);
    }
    QVERIFY(tool.waitForFinished(TimeoutMs));
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tool.exitCode(), exitCode);
    const QString err = QString::fromLocal8Bit(tool.readAllStandardError());
    QVERIFY2(message.isEmpty() ? err.isEmpty() : err.contains(message), qPrintable(err));

    // The port opening's dark frame, lit and dark frames in turn from each segment's lit
    // colour, the closing dark frame; then the marker sent once the tool has ended, so the
    // whole run is in the log.
    const QStringList logged = simulatorLogThroughMarker(SimCom, log, TimeoutMs);
    QVERIFY2(logged.size() >= 4 && logged.first() == Dark &&
                 logged.mid(logged.size() - 2) == QStringList({Dark, MarkerLogText}),
             qPrintable(logged.join('|')));
    const QStringList frames = logged.mid(0, logged.size() - 1);
    QStringList lits;
    for (qsizetype i = 1; i + 1 < frames.size(); ++i) {
        const bool lit = frames[i] != Dark;
        QVERIFY2(lit == (i == 1 || frames[i - 1] == Dark), qPrintable(frames.join('|')));
        if (lit && !lits.contains(frames[i])) {
            lits << frames[i];
        }
    }
    const QStringList expectedLits = records.count('\n') == 2
                                         ? QStringList{"SOH 00 101010", "SOH 00 202020"}
                                         : QStringList{"SOH 00 101010"};
    QCOMPARE(lits, expectedLits);
    if (signalNumber != 0) {
        // Ended within a wait of the 30-second segment, long before its end.
        QVERIFY2(frames.size() < 100, qPrintable(QString::number(frames.size())));
    } else {
        QVERIFY(QString::fromLocal8Bit(tool.readAllStandardOutput())
                    .startsWith(QStringLiteral("segment 1 of 2 (line 2): ")));
    }
}

void TestOrlesseProgram::playOnPortThatCannotOpen() {
    const QString program = writeFile(QStringLiteral("play.csv"), Header + "1,4,4,16,17,1\r\n");
    const QString missing = m_dir.filePath(QStringLiteral("no-such-device"));
    QDir().mkpath(m_dir.filePath(QStringLiteral("Corvexa/Orlesse/ports")));
    QVERIFY(QFile::link(missing, m_dir.filePath(QStringLiteral("Corvexa/Orlesse/ports/com63"))));
    QByteArray out;
    QByteArray err;
    QCOMPARE(runTool({"play", program, "--com", "63"}, &out, &err), 1);
    QVERIFY2(err.startsWith("orlesse-program: cannot open COM63: ") &&
                 err.contains(missing.toLocal8Bit()),
             err.constData());
    QVERIFY2(out.isEmpty(), out.constData());
}

void TestOrlesseProgram::recordOnSimulator_data() {
    QTest::addColumn<bool>("writable");
    QTest::newRow("Ctrl-C: the record is written") << true;
    QTest::newRow("a folder that cannot be written: nothing plays") << false;
}

void TestOrlesseProgram::recordOnSimulator() {
    QFETCH(bool, writable);
    const QString program =
        writeFile(QStringLiteral("record.csv"), Header + "1,20,20,16,17,30\r\n");
    const QString log = m_dir.filePath(QStringLiteral("record.log"));
    QFile::remove(log);
    // A folder under a plain file cannot be made.
    const QString blocker = writeFile(QStringLiteral("blocker"), "x");
    QTemporaryDir records;
    const QString folder = writable ? records.filePath(QStringLiteral("sessions"))
                                    : blocker + QStringLiteral("/sessions");

    HeadlessSimulator sim(m_bin, SimCom, log);
    QVERIFY(sim.start(TimeoutMs));
    const auto stopSim = qScopeGuard([&sim] {
        // After an earlier failure the test has failed already.
        const bool clean = sim.stop(TimeoutMs);
        if (!QTest::currentTestFailed()) {
            QVERIFY(clean);
        }
    });

    QProcess tool;
    tool.start(m_bin + QStringLiteral("/orlesse-program"),
               {"play", program, "--com", QString::number(SimCom), "--record", folder});
    QVERIFY(tool.waitForStarted(TimeoutMs));
    if (writable) {
        // Two seconds and more at 40 frames a second: the plot has whole seconds to show.
        QTRY_VERIFY_WITH_TIMEOUT(simulatorLogEntries(log).size() >= 90, TimeoutMs);
        ::kill(static_cast<pid_t>(tool.processId()), SIGINT);
    }
    QVERIFY(tool.waitForFinished(TimeoutMs));
    QCOMPARE(tool.exitCode(), writable ? 130 : 1);
    const QString err = QString::fromLocal8Bit(tool.readAllStandardError());
    const QStringList logged = simulatorLogThroughMarker(SimCom, log, TimeoutMs);
    if (!writable) {
        QVERIFY2(err.contains(QStringLiteral("cannot create the folder")) &&
                     err.contains(QStringLiteral("nothing was played")),
                 qPrintable(err));
        QCOMPARE(logged, QStringList{MarkerLogText});
        return;
    }
    QVERIFY2(err.contains(QStringLiteral("record: ")), qPrintable(err));

    // The lit frames the record says were delivered are those the device got.
    qsizetype lit = 0;
    for (qsizetype i = 1; i + 2 < logged.size(); ++i) {
        lit += logged[i] != Dark;
    }
    QByteArray out;
    QCOMPARE(runTool({"report", folder, "--json"}, &out), 0);
    const QJsonObject report = QJsonDocument::fromJson(out).object();
    QCOMPARE(report.value("Totals").toObject().value("LitFrames").toInteger(), lit);
    QCOMPARE(report.value("Ended").toObject().value("Signal").toString(), QStringLiteral("SIGINT"));
    // The two tables, the events table's data dictionary and the description.
    QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 4);
    QCOMPARE(runTool({"report", folder, "--list"}, &out), 0);
    QVERIFY2(out.contains(" record.csv ") && out.contains(" signal ") &&
                 out.contains("total: 1 record(s), 0:00:0"),
             out.constData());

    // Filed into a BIDS dataset, the record reads back from there; the same run again, or a
    // label BIDS does not allow, is refused.
    const QString dataset = records.filePath(QStringLiteral("dataset"));
    const QStringList bids{"bids", folder, "--dataset", dataset, "--task", "light", "--run", "1"};
    QCOMPARE(runTool(bids + QStringList{"--sub", "01"}, &out), 0);
    QVERIFY2(out.contains("made: ") && out.contains("participants.tsv"), out.constData());
    QByteArray refused;
    QCOMPARE(runTool(bids + QStringList{"--sub", "01"}, &out, &refused), 1);
    QVERIFY2(refused.contains("holds this run already"), refused.constData());
    QCOMPARE(runTool(bids + QStringList{"--sub", "0_1"}, &out, &refused), 2);
    QVERIFY2(refused.contains("\"0_1\" holds other characters"), refused.constData());
    QCOMPARE(runTool({"report",
                      dataset + QStringLiteral("/sourcedata/sub-01/beh/sub-01_task-light_run-1_"
                                               "record.json"),
                      "--json"},
                     &out),
             0);
    QCOMPARE(QJsonDocument::fromJson(out).object().value("Totals").toObject().value("LitFrames"),
             report.value("Totals").toObject().value("LitFrames"));

    const QString image = m_dir.filePath(QStringLiteral("record.png"));
    QCOMPARE(runTool({"report", folder, "--plot", image}, &out), 0);
    QVERIFY2(out.contains("ended: ended by SIGINT"), out.constData());
    const QImage plot(image);
    QCOMPARE(plot.size(), QSize(1200, 600));
    // The frequency delivered is drawn, in green, along the frequency asked.
    int green = 0;
    for (int y = 0; y < plot.height(); ++y) {
        for (int x = 0; x < plot.width(); ++x) {
            const QColor c = plot.pixelColor(x, y);
            green += c.green() > 150 && c.red() < 100 && c.blue() < 120;
        }
    }
    QVERIFY2(green > plot.width() / 2, qPrintable(QString::number(green)));
}

void TestOrlesseProgram::deliveredPerSecond_data() {
    QTest::addColumn<double>("late");       // how late every write is called, seconds
    QTest::addColumn<double>("lostFrom");   // writes fail from here ...
    QTest::addColumn<double>("lostUntil");  // ... to here
    QTest::addColumn<double>("end");
    QTest::addColumn<QList<double>>("hz");  // each second's frequency
    QTest::newRow("on the due times") << 0.0 << 0.0 << 0.0 << 3.0 << QList<double>{40, 40, 40};
    QTest::newRow("a little late") << 0.0004 << 0.0 << 0.0 << 3.0 << QList<double>{40, 40, 40};
    QTest::newRow("a loss") << 0.0 << 1.0 << 1.5 << 3.0 << QList<double>{40, 20, 40};
    QTest::newRow("a short last second is left out")
        << 0.0 << 0.0 << 0.0 << 2.3 << QList<double>{40, 40};
    QTest::newRow("a long last second counts for its length")
        << 0.0 << 0.0 << 0.0 << 2.8 << QList<double>{40, 40, 40 * 0.8 / (0.8 + 0.0005)};
}

void TestOrlesseProgram::deliveredPerSecond() {
    QFETCH(double, late);
    QFETCH(double, lostFrom);
    QFETCH(double, lostUntil);
    QFETCH(double, end);
    QFETCH(QList<double>, hz);
    // A 40 Hz run as the player's grid gives it: each due time a half period after the last.
    std::vector<SessionFiles::FrameRow> frames;
    double due = 0;
    for (int k = 0; due < end - 1e-9; ++k, due += 0.0125) {
        SessionFiles::FrameRow frame;
        frame.due = due;
        frame.called = due + late;
        frame.lit = k % 2 == 0 ? 1 : 0;
        frame.result = frame.called >= lostFrom && frame.called < lostUntil ? -103 : 11;
        frames.push_back(frame);
    }
    const QList<QPointF> bins = ::deliveredPerSecond(frames, end);
    QCOMPARE(bins.size(), hz.size());
    for (qsizetype i = 0; i < bins.size(); ++i) {
        QVERIFY2(std::abs(bins[i].y() - hz[i]) < 1e-6,
                 qPrintable(QStringLiteral("second %1: %2 Hz").arg(i).arg(bins[i].y())));
    }
}

QTEST_GUILESS_MAIN(TestOrlesseProgram)
#include "tst_OrlesseProgram.moc"
