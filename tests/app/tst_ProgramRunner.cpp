// Start Program and End Program through the controller, on virtual time: which records play,
// how every run ends, and what the user is told.
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTest>

#include "app/ProgramRunner.h"
#include "records/SessionFiles.h"
#include "support/Harness.h"

namespace {

const QByteArray Dark = Harness::soh("00", "000000");

// The dark frame alone, to append to a list of frames.
QList<QByteArray> dark() {
    return {Dark};
}

// A record of one second at 1 Hz whose lit frame shows the given level, so each segment sends
// exactly two frames: lit, then dark half a second later.
QByteArray record(int id, int level) {
    return QStringLiteral("%1,1,1,%2,%3,1\r\n").arg(id).arg(level).arg(level + 1).toLatin1();
}

// The frames of the segment record(id, level) makes.
QList<QByteArray> segment(int level) {
    const QString text = QStringLiteral("%1").arg(level, 2, 16, QLatin1Char('0')).toUpper();
    return {Harness::soh("00", text + text + text), Dark};
}

QString putProgram(Harness& h, const QString& name, const QByteArray& bytes) {
    const QString path = h.dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        qFatal("cannot write %s", qPrintable(path));
    }
    h.window.fileAnswers.append(path);
    return path;
}

}  // namespace

class ProgramRunnerTest : public QObject {
    Q_OBJECT

  private slots:
    void playsFile_data();
    void playsFile();
    void fileThatCannotBeOpened();
    void endFrequencies_data();
    void endFrequencies();
    void fileTooLargeForAProgram_data();
    void fileTooLargeForAProgram();
    void cancelledDialogWhileFlashing();
    void endProgramDuringSecondOfFive();
    void endProgramWhenIdleDoesNotStopTheNextRun();
    void secondStartInsideARun();
    void windowClosedDuringARun();
    void recordsRuns_data();
    void recordsRuns();
};

void ProgramRunnerTest::playsFile_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<int>>("levels");  // the segments played, by level
    QTest::addColumn<QString>("message");

    const QByteArray h = "Segment,F1,F2,B1,B2,Seconds\r\n";
    QTest::newRow("header only") << h << QList<int>{} << "";
    QTest::newRow("two records") << h + record(1, 0x10) + record(2, 0x20) << QList<int>{0x10, 0x20}
                                 << "";
    QTest::newRow("LF and no final line end")
        << QByteArray("h\n1,1,1,16,17,1\n2,1,1,32,33,1") << QList<int>{0x10, 0x20} << "";
    QTest::newRow("no header") << record(1, 0x10) + record(2, 0x20) << QList<int>{0x20} << "";
    QTest::newRow("trailing empty lines") << h + record(1, 0x10) + "\r\n\r\n"
                                          << QList<int>{0x10} << "";
    QTest::newRow("empty file") << QByteArray() << QList<int>{} << "The file is empty";
    QTest::newRow("start frequency 0 in line 4")
        << h + record(1, 0x10) + record(2, 0x20) + "3,0,1,0,1,1\r\n" + record(4, 0x40)
        << QList<int>{0x10, 0x20} << "Line 4: the start frequency is 0";
    QTest::newRow("negative start frequency")
        << h + record(1, 0x10) + "2,-5,2,0,1,1\r\n"
        << QList<int>{0x10} << "Line 3: the start frequency is -5";
    QTest::newRow("start frequency of a record split over lines")
        << h + "1\r\n0,1,16,17,1\r\n"
        << QList<int>{} << "Line 3: the start frequency is 0";
    QTest::newRow("level overflow in the player") << h + record(1, 0x10) + "2,1,1,-32768,1,1\r\n"
                                                  << QList<int>{0x10}
                                                  << "Line 3: the difference of the levels "
                                                     "overflows 16 bits";
    QTest::newRow("short last record")
        << h + record(1, 0x10) + "2,1,1\r\n\r\n"
        << QList<int>{0x10} << "Line 3: the record has only 3 of its 6 values";
    QTest::newRow("not a number") << h + record(1, 0x10) + "2,1,1,x,1,1\r\n"
                                  << QList<int>{0x10} << "Line 3: \"x\" is not a whole number";
    QTest::newRow("out of range") << h + "1,1,1,0,1,99999\r\n"
                                  << QList<int>{} << "Line 2: 99999 is outside -32768 to 32767";
}

void ProgramRunnerTest::playsFile() {
    QFETCH(QByteArray, bytes);
    QFETCH(QList<int>, levels);
    QFETCH(QString, message);
    Harness h;
    h.controller->Form_Load();
    putProgram(h, "program.csv", bytes);
    const double start = h.clock.now();
    h.controller->cmdProgramStart_Click();

    QList<QByteArray> expected{Dark};  // the port opening
    for (int level : levels) {
        expected += segment(level);
    }
    expected += Dark;  // the closing frame
    QCOMPARE(h.written(), expected);
    QCOMPARE(h.serial.writes().last().time, start + levels.size());
    QCOMPARE(h.written().last(), QByteArray("\x01"
                                            "00000000\r\n"));
    QCOMPARE(h.window.messages, message.isEmpty() ? QStringList() : QStringList{message});
    QCOMPARE(h.window.dialogs.size(), 1);
    QCOMPARE(h.window.dialogs[0].folder, h.dir.path());
    QCOMPARE(h.window.dialogs[0].filter, QStringLiteral("Keldara Program|*.CSV|All Files|*.*"));
    QVERIFY(!h.timer.isEnabled());
    QVERIFY(h.state.ProgramRunning);
    QVERIFY(h.state.PortOpen);
}

void ProgramRunnerTest::fileThatCannotBeOpened() {
    Harness h;
    const QString path = h.dir.filePath("missing.csv");
    h.window.fileAnswers = {path};
    h.controller->cmdProgramStart_Click();
    QCOMPARE(h.written(), (QList<QByteArray>{Dark, Dark}));
    QCOMPARE(h.window.messages.size(), 1);
    QVERIFY2(
        h.window.messages[0].startsWith("Cannot open " + QDir::toNativeSeparators(path) + ": "),
        qPrintable(h.window.messages[0]));
}

void ProgramRunnerTest::endFrequencies_data() {
    // The record between two one-second records; the step onto the end value is never due
    // within a segment, so a ramp towards 0 Hz plays whole, and only one past 0 fails.
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("lastTitleOfRamp");
    QTest::newRow("5 Hz down to 0 over 10 s plays down to 1 Hz")
        << QByteArray("2,5,0,255,255,10\r\n") << ""
        << "segment id #2(1Hz)";
    QTest::newRow("2 Hz down to -2 fails at the step onto 0")
        << QByteArray("2,2,-2,255,255,4\r\n") << "Line 3: the frequency ramp reaches 0 Hz"
        << "segment id #2(1Hz)";
}

void ProgramRunnerTest::endFrequencies() {
    QFETCH(QByteArray, line);
    QFETCH(QString, message);
    QFETCH(QString, lastTitleOfRamp);
    Harness h;
    putProgram(h, "ramp.csv", "h\r\n" + record(1, 0x10) + line + record(3, 0x30));
    const double start = h.clock.now();
    h.controller->cmdProgramStart_Click();

    QCOMPARE(h.window.messages, message.isEmpty() ? QStringList() : QStringList{message});
    QCOMPARE(h.written().last(), Dark);
    QVERIFY(h.window.titles.contains(lastTitleOfRamp));
    if (message.isEmpty()) {
        // The whole 10 s played (its last wait may end a little past its end), then the next
        // record.
        QCOMPARE(h.window.title(), QStringLiteral("segment id #3(1Hz)"));
        QCOMPARE(h.written().mid(h.written().size() - 3), segment(0x30) + dark());
        const double end = h.serial.writes().last().time;
        QVERIFY2(end >= start + 12 && end < start + 12.5, qPrintable(QString::number(end - start)));
    } else {
        QCOMPARE(h.window.title(), lastTitleOfRamp);
        QVERIFY(h.serial.writes().last().time > start + 3);
    }
}

void ProgramRunnerTest::fileTooLargeForAProgram_data() {
    QTest::addColumn<QString>("path");  // empty: a sparse file of 17 MiB made by the test
    QTest::newRow("17 MiB file") << QString();
    QTest::newRow("endless device file") << QStringLiteral("/dev/zero");
}

void ProgramRunnerTest::fileTooLargeForAProgram() {
    QFETCH(QString, path);
    Harness h;
    if (path.isEmpty()) {
        path = putProgram(h, "video.csv", "h\r\n" + record(1, 0x10));
        QFile file(path);
        QVERIFY(file.resize(17 * 1024 * 1024));
    } else {
        h.window.fileAnswers = {path};
    }
    h.controller->cmdProgramStart_Click();
    QCOMPARE(h.written(), (QList<QByteArray>{Dark, Dark}));
    QCOMPARE(h.window.messages,
             QStringList{"Cannot play " + QDir::toNativeSeparators(path) +
                         ": it is larger than 16 MiB, too large for a light program"});
}

void ProgramRunnerTest::cancelledDialogWhileFlashing() {
    Harness h;
    h.controller->Form_Load();
    h.controller->cmdFlashOrlesse_Click();
    h.clock.runFor(0.35);
    const QList<QByteArray> before = h.written();
    QVERIFY(before.size() > 2);

    h.window.fileAnswers = {QString()};
    h.controller->cmdProgramStart_Click();
    h.clock.runFor(1);
    QCOMPARE(h.written(), before);  // no frame, and no more ticks
    QVERIFY(!h.timer.isEnabled());
    QVERIFY(h.state.ProgramRunning);
    QVERIFY(h.state.PortOpen);
    QCOMPARE(h.window.dialogs.size(), 1);
    QVERIFY(h.window.messages.isEmpty());
}

void ProgramRunnerTest::endProgramDuringSecondOfFive() {
    Harness h;
    h.controller->Form_Load();
    QByteArray bytes = "h\r\n";
    for (int i = 1; i <= 5; ++i) {
        bytes += record(i, i * 0x10);
    }
    putProgram(h, "five.csv", bytes);
    const double start = h.clock.now();
    h.clock.at(start + 1.2, [&h] { h.controller->cndProgramEnd_Click(); });
    h.controller->cmdProgramStart_Click();

    QCOMPARE(h.written(), dark() + segment(0x10) + segment(0x20).mid(0, 1) + dark());
    QCOMPARE(h.serial.writes().last().time, start + 1.2);
    QCOMPARE(h.window.title(), QStringLiteral("segment id #2(1Hz)"));
    QVERIFY(!h.state.ProgramRunning);
    QVERIFY(h.window.messages.isEmpty());
}

void ProgramRunnerTest::endProgramWhenIdleDoesNotStopTheNextRun() {
    Harness h;
    h.controller->cndProgramEnd_Click();
    QVERIFY(h.written().isEmpty());
    putProgram(h, "one.csv", "h\r\n" + record(1, 0x10));
    h.controller->cmdProgramStart_Click();
    QCOMPARE(h.written(), dark() + segment(0x10) + dark());
}

void ProgramRunnerTest::secondStartInsideARun() {
    Harness h;
    h.controller->Form_Load();
    putProgram(h, "outer.csv", "h\r\n" + record(1, 0x10) + record(2, 0x20));
    putProgram(h, "inner.csv", "h\r\n" + record(9, 0x90));
    const double start = h.clock.now();
    h.clock.at(start + 0.2, [&h] { h.controller->cmdProgramStart_Click(); });
    h.controller->cmdProgramStart_Click();

    // The inner run plays whole and ends dark; the outer segment's wait is then over, and the
    // outer run carries on with its next record.
    const QList<QByteArray> expected =
        dark() + segment(0x10).mid(0, 1) + segment(0x90) + dark() + segment(0x20) + dark();
    QCOMPARE(h.written(), expected);
    const QList<RecordingWsc32::Call> writes = h.serial.writes();
    QCOMPARE(writes[4].time, start + 1.2);  // inner closing frame
    QCOMPARE(writes[5].time, start + 1.2);  // outer record 2
    QCOMPARE(h.window.dialogs.size(), 2);
    QCOMPARE(h.controller->effectsRunning(), 0);
}

void ProgramRunnerTest::windowClosedDuringARun() {
    Harness h;
    h.controller->Form_Load();
    putProgram(h, "two.csv", "h\r\n" + record(1, 0x10) + record(2, 0x20));
    const double start = h.clock.now();
    bool mayClose = true;
    int closeRequestsInside = -1;
    h.clock.at(start + 0.7, [&] {
        mayClose = h.controller->Form_QueryUnload();
        closeRequestsInside = h.window.closeRequests;
    });
    h.controller->cmdProgramStart_Click();

    QVERIFY(!mayClose);
    QCOMPARE(closeRequestsInside, 0);
    QCOMPARE(h.window.closeRequests, 1);
    QCOMPARE(h.written(), dark() + segment(0x10) + dark());
    QCOMPARE(h.serial.writes().last().time, start + 0.7);

    // The window is going away: a late Start Program shows no dialog and sends nothing.
    h.controller->cmdProgramStart_Click();
    QCOMPARE(h.window.dialogs.size(), 1);
    QCOMPARE(h.written().size(), 4);
}

void ProgramRunnerTest::recordsRuns_data() {
    QTest::addColumn<QByteArray>("records");
    QTest::addColumn<double>("stopAt");  // End Program, seconds after the start; 0: none
    QTest::addColumn<QString>("how");    // the record's Ended.How; empty: no record kept
    QTest::newRow("played to the end") << record(1, 16) + record(2, 32) << 0.0 << "finished";
    QTest::newRow("End Program") << record(1, 16) + record(2, 32) << 0.7 << "stopped";
    QTest::newRow("a failing line") << record(1, 16) + "2,0,1,1,1,1\r\n" << 0.0 << "failed";
    QTest::newRow("a folder that cannot be written") << record(1, 16) << 0.0 << "";
}

void ProgramRunnerTest::recordsRuns() {
    QFETCH(QByteArray, records);
    QFETCH(double, stopAt);
    QFETCH(QString, how);
    Harness h;
    const QString folder = how.isEmpty() ? putProgram(h, "blocker", "x") + QStringLiteral("/sub")
                                         : h.dir.filePath(QStringLiteral("records"));
    h.window.fileAnswers.clear();
    QCOMPARE(h.controller->programs().setRecordFolder(folder), !how.isEmpty());
    putProgram(h, QStringLiteral("p.csv"),
               "Segment,Start Hz,End Hz,Start level,End level,Seconds\r\n" + records);
    h.controller->port().OpenPort();
    h.serial.clearCalls();
    if (stopAt > 0) {
        h.clock.after(stopAt, [&h] { h.controller->cndProgramEnd_Click(); });
    }
    h.controller->cmdProgramStart_Click();

    QString error;
    const std::optional<SessionFiles::Loaded> loaded = SessionFiles::read(folder, &error);
    QCOMPARE(loaded.has_value(), !how.isEmpty());
    if (!loaded) {
        return;
    }
    QCOMPARE(loaded->json.value("Ended").toObject().value("How").toString(), how);
    // Every frame of the run is in the record, the closing frame included.
    QCOMPARE(loaded->totals.frames, h.serial.writes().size());
    // The failure is the only message: the record was written.
    QCOMPARE(h.window.messages.size(), how == QLatin1String("failed") ? 1 : 0);
}

QTEST_GUILESS_MAIN(ProgramRunnerTest)
#include "tst_ProgramRunner.moc"
