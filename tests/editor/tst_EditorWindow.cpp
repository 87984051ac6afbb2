// The light-program editor offscreen, through its widgets: row edits with undo and redo, the
// check's findings on their rows and the chart while typing, files kept as written, and the
// window's part in a run (keys, the selected row, the Record box) on virtual time. What Play
// decides is tested on the play session alone (tst_PlaySession).
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QMessageBox>
#include <QSettings>
#include <QSpinBox>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "EditorWindow.h"
#include "PlotView.h"
#include "SafetyNotice.h"
#include "core/SimulatedClock.h"
#include "support/FakeWindow.h"
#include "support/Harness.h"
#include "support/RecordingWsc32.h"
#include "support/TestFiles.h"

namespace {

constexpr int TimeoutMs = 20000;
const QByteArray Header = "Segment,Start Hz,End Hz,Start level,End level,Seconds";

// The editor with its dialogs answered by the test, on a recording serial library and the
// simulated clock.
class TestEditor final : public EditorWindow {
  public:
    TestEditor(const QString& folder, RecordingWsc32*& serial, SimulatedClock*& clock)
        : EditorWindow(makeServices(folder, serial, clock)) {}

    QStringList messages;
    QString saveAnswer;
    Unsaved unsavedAnswer = Unsaved::Discard;
    int unsavedQuestions = 0;

  protected:
    Unsaved askAboutUnsavedChanges() override {
        ++unsavedQuestions;
        return unsavedAnswer;
    }
    bool askToPlayWithWarnings(const QString&) override { return true; }
    void showMessage(const QString& text) override { messages << text; }
    QString chooseFileToOpen(const QString&) override { return {}; }
    QString chooseFileToSave(const QString&) override { return saveAnswer; }
    QString chooseRecordFolder(const QString&) override { return folderAnswer; }
    void offerReport(const QString& jsonPath) override { reportsOffered << jsonPath; }

  public:
    QString folderAnswer;
    QStringList reportsOffered;

  private:
    static Services makeServices(const QString& folder, RecordingWsc32*& serial,
                                 SimulatedClock*& clock) {
        Services services;
        auto ports = std::make_unique<FakePortList>();
        ports->entries = {3};
        ports->result = 0;
        services.ports = std::move(ports);
        auto library = std::make_unique<RecordingWsc32>();
        auto simulated = std::make_unique<SimulatedClock>();
        serial = library.get();
        clock = simulated.get();
        serial->setClock([clock] { return clock->now(); });
        services.serial = std::move(library);
        services.clock = std::move(simulated);
        services.settingsPath = folder + QStringLiteral("/editor.ini");
        services.programsFolder = folder;
        // No liblsl: the marker stream cannot open, whatever the machine has installed.
        services.lslLibraries = {folder + QStringLiteral("/no-liblsl.so")};
        return services;
    }
};

QList<ProgramTable::Row> rowsOf(EditorWindow& editor) {
    return ProgramTable::fromBytes(editor.document().bytes()).rows;
}

// Waits until the editor shows the analysis of its table as it is now.
bool analysisIsCurrent(EditorWindow& editor) {
    return editor.shownAnalysis() && editor.shownAnalysis()->bytes == editor.document().bytes();
}

}  // namespace

class EditorWindowTest : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void cleanup();
    void rowEditsUndoAndRedo_data();
    void rowEditsUndoAndRedo();
    void findingShowsOnItsRowWhileTyping();
    void chartReadsOutTheSegmentUnderTheMouse();
    void savedFileKeepsHeaderWithCrLf();
    void irregularFileIsWrittenOnlyOnSave();
    void closingAsksAboutUnsavedChanges_data();
    void closingAsksAboutUnsavedChanges();
    void shortcutsPauseResumeAndEscapeStops();
    void playsFromTheSelectedRow();
    void safetyNoticeShownOnce();
    void recordBoxAndFolderReachTheRunAndStay();
    void markerBoxWithoutLiblslSaysWhyAndUnticks();

  private:
    QString write(const QString& name, const QByteArray& bytes);
    // Opens a program of the given records and waits for its analysis.
    void openProgram(const QByteArray& records);
    // Selects COM3 and acknowledges the notice, so that the editor plays.
    void makeReadyToPlay();
    // The frames written, with the times they went out.
    QList<QPair<double, QByteArray>> frames() const;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TestEditor> m_editor;
    RecordingWsc32* m_serial = nullptr;
    SimulatedClock* m_clock = nullptr;
};

void EditorWindowTest::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_editor = std::make_unique<TestEditor>(m_dir->path(), m_serial, m_clock);
    m_editor->show();
}

void EditorWindowTest::cleanup() {
    m_editor.reset();
    m_dir.reset();
}

QString EditorWindowTest::write(const QString& name, const QByteArray& bytes) {
    const QString path = m_dir->filePath(name);
    putFile(path, bytes);
    return path;
}

void EditorWindowTest::openProgram(const QByteArray& records) {
    QVERIFY(m_editor->openFile(write(QStringLiteral("program.csv"), Header + "\r\n" + records)));
    QTRY_VERIFY_WITH_TIMEOUT(analysisIsCurrent(*m_editor), TimeoutMs);
}

void EditorWindowTest::makeReadyToPlay() {
    m_editor->settings().setValue(QStringLiteral("safety/photosensitivityNoticeAcknowledged"),
                                  true);
    auto* com = m_editor->findChild<QComboBox*>(QStringLiteral("comPort"));
    QVERIFY(com != nullptr);
    com->setCurrentIndex(com->findText(QStringLiteral("Com3")));
}

QList<QPair<double, QByteArray>> EditorWindowTest::frames() const {
    QList<QPair<double, QByteArray>> result;
    for (const RecordingWsc32::Call& call : m_serial->writes()) {
        result.append({call.time, call.bytes});
    }
    return result;
}

void EditorWindowTest::rowEditsUndoAndRedo_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("selected");
    QTest::addColumn<QList<int>>("expectedIds");  // segment ids of the rows afterwards

    // Rows 1, 2, 3 to start with.
    QTest::newRow("add at the end") << "actionAddRow" << 0 << QList<int>{1, 2, 3, 4};
    QTest::newRow("insert before") << "actionInsertRow" << 1 << QList<int>{1, 2, 2, 3};
    QTest::newRow("duplicate") << "actionDuplicate" << 1 << QList<int>{1, 2, 2, 3};
    QTest::newRow("delete") << "actionDelete" << 1 << QList<int>{1, 3};
    QTest::newRow("move up") << "actionMoveUp" << 2 << QList<int>{1, 3, 2};
    QTest::newRow("move down") << "actionMoveDown" << 0 << QList<int>{2, 1, 3};
    QTest::newRow("move the first up: nothing") << "actionMoveUp" << 0 << QList<int>{1, 2, 3};
}

void EditorWindowTest::rowEditsUndoAndRedo() {
    QFETCH(QString, action);
    QFETCH(int, selected);
    QFETCH(QList<int>, expectedIds);
    openProgram("1,10,10,255,255,5\r\n2,10,8,255,200,20\r\n3,8,8,200,200,5\r\n");
    const QList<ProgramTable::Row> before = rowsOf(*m_editor);

    auto* table = m_editor->findChild<QTableView*>(QStringLiteral("segmentTable"));
    table->selectRow(selected);
    auto* trigger = m_editor->findChild<QAction*>(action);
    QVERIFY(trigger != nullptr);
    trigger->trigger();

    const QList<ProgramTable::Row> after = rowsOf(*m_editor);
    QList<int> ids;
    for (const ProgramTable::Row& row : after) {
        ids.append(row[0]);
    }
    QCOMPARE(ids, expectedIds);
    const bool changed = after != before;
    QCOMPARE(m_editor->isWindowModified(), changed);

    m_editor->findChild<QAction*>(QStringLiteral("actionUndo"))->trigger();
    QCOMPARE(rowsOf(*m_editor), before);
    QVERIFY(!m_editor->isWindowModified());
    m_editor->findChild<QAction*>(QStringLiteral("actionRedo"))->trigger();
    QCOMPARE(rowsOf(*m_editor), after);
}

void EditorWindowTest::findingShowsOnItsRowWhileTyping() {
    openProgram("1,10,10,255,255,120\r\n2,10,4,255,255,960\r\n3,4,4,255,255,120\r\n");
    auto* table = m_editor->findChild<QTableView*>(QStringLiteral("segmentTable"));
    QVERIFY(!table->model()->headerData(1, Qt::Vertical, Qt::ToolTipRole).isValid());

    // Typing 1 second into the ramp's length: six steps cannot fit into ten frames.
    const QModelIndex seconds = table->model()->index(1, 5);
    table->setCurrentIndex(seconds);
    table->edit(seconds);
    auto* box = table->findChild<QSpinBox*>();
    QVERIFY(box != nullptr);
    box->selectAll();
    QTest::keyClicks(box, QStringLiteral("01"));
    QCOMPARE(rowsOf(*m_editor)[1][5], 1);

    QTRY_VERIFY_WITH_TIMEOUT(analysisIsCurrent(*m_editor), TimeoutMs);
    const QString finding = QStringLiteral(
        "the frequency ramp from 10 to 4 reaches only 6: each of its 6 steps waits for the next "
        "frame, and the waits add up");
    QCOMPARE(table->model()->headerData(1, Qt::Vertical, Qt::ToolTipRole).toString(),
             QStringLiteral("warning: ") + finding);
    for (const int other : {0, 2}) {
        QVERIFY(!table->model()->headerData(other, Qt::Vertical, Qt::ToolTipRole).isValid());
    }
    // The chart follows the typing too.
    QCOMPARE(m_editor->findChild<PlotView*>(QStringLiteral("plot"))
                 ->trace()
                 .segments[1]
                 .record.nDuration,
             1);

    // The list says it as the check does, and a click selects the row.
    auto* list = m_editor->findChild<QListWidget*>(QStringLiteral("findings"));
    QListWidgetItem* item = list->item(0);
    QCOMPARE(item->text(), QStringLiteral("program.csv:3: warning: ") + finding);
    table->selectRow(0);
    emit list->itemClicked(item);
    QCOMPARE(table->selectionModel()->selectedRows().first().row(), 1);

    // The value typed is one change to undo, keystrokes and all.
    m_editor->findChild<QAction*>(QStringLiteral("actionUndo"))->trigger();
    QCOMPARE(rowsOf(*m_editor)[1][5], 960);
    QVERIFY(!m_editor->isWindowModified());
}

void EditorWindowTest::chartReadsOutTheSegmentUnderTheMouse() {
    openProgram("1,10,10,255,255,30\r\n2,5,5,255,255,20\r\n");
    auto* plot = m_editor->findChild<PlotView*>(QStringLiteral("plot"));
    const ProgramTrace& trace = plot->trace();
    QCOMPARE(trace.segments.size(), 2);
    plot->resize(900, 320);
    plot->grab();
    const SegmentTrace& last = trace.segments.last();
    const double x = plot->geometry().xOf((last.start + last.end) / 2);
    const QString readout = plot->readoutAt(QPointF(x, plot->geometry().area.center().y()));
    QVERIFY2(readout.startsWith(QStringLiteral("0:00:4")), qPrintable(readout));
    QVERIFY2(readout.endsWith(
                 QStringLiteral(" \u00b7 segment #2 (line 3) \u00b7 5 Hz \u00b7 level 255")),
             qPrintable(readout));
    QVERIFY(plot->readoutAt(QPointF(x, plot->geometry().area.bottom() + 5)).isEmpty());
}

void EditorWindowTest::savedFileKeepsHeaderWithCrLf() {
    const QByteArray header = "id;from;to -- my own titles";
    const QString path = write(QStringLiteral("lf.csv"), header + "\n1,10,10,255,255,5\n");
    QVERIFY(m_editor->openFile(path));
    auto* table = m_editor->findChild<QTableView*>(QStringLiteral("segmentTable"));
    table->model()->setData(table->model()->index(0, 5), 7, Qt::EditRole);
    QVERIFY(m_editor->isWindowModified());
    QVERIFY(m_editor->windowTitle().startsWith(QStringLiteral("lf.csv")));
    QVERIFY(m_editor->document().save());
    QVERIFY(!m_editor->isWindowModified());
    QCOMPARE(fileBytes(path), header + "\r\n1,10,10,255,255,7\r\n");

    // Save As adds the suffix; the reopened file is the table as it was.
    m_editor->saveAnswer = m_dir->filePath(QStringLiteral("copy"));
    QVERIFY(m_editor->document().saveAs());
    QCOMPARE(m_editor->document().path(), m_dir->filePath(QStringLiteral("copy.csv")));
    QVERIFY(m_editor->openFile(path));
    QVERIFY(!m_editor->isWindowModified());
    QCOMPARE(m_editor->document().bytes(), fileBytes(path));
}

void EditorWindowTest::irregularFileIsWrittenOnlyOnSave() {
    const QByteArray bytes = Header + "\r\n1,10,10,255\r\n255,5\r\n2,9.6,9,x,1,3\r\n";
    const QString path = write(QStringLiteral("odd.csv"), bytes);
    QVERIFY(m_editor->openFile(path));
    QCOMPARE(rowsOf(*m_editor),
             (QList<ProgramTable::Row>{{1, 10, 10, 255, 255, 5}, {2, 10, 9, 0, 1, 3}}));
    QVERIFY(m_editor->isWindowModified());
    QTRY_VERIFY_WITH_TIMEOUT(analysisIsCurrent(*m_editor), TimeoutMs);
    auto* list = m_editor->findChild<QListWidget*>(QStringLiteral("findings"));
    QStringList texts;
    for (int i = 0; i < list->count(); ++i) {
        texts << list->item(i)->text();
    }
    const QString all = texts.join('\n');
    QVERIFY2(all.contains(QStringLiteral("Line 2: the record runs on to line 3")), qPrintable(all));
    QVERIFY2(all.contains(QStringLiteral("Line 4: \"9.6\" is not a whole number")),
             qPrintable(all));
    QVERIFY2(all.contains(QStringLiteral("Line 4: \"x\" is not a whole number")), qPrintable(all));
    QCOMPARE(fileBytes(path), bytes);

    QVERIFY(m_editor->document().save());
    QCOMPARE(fileBytes(path), Header + "\r\n1,10,10,255,255,5\r\n2,10,9,0,1,3\r\n");
}

void EditorWindowTest::closingAsksAboutUnsavedChanges_data() {
    QTest::addColumn<bool>("changed");
    QTest::addColumn<int>("answer");  // TestEditor::Unsaved
    QTest::addColumn<int>("questions");
    QTest::addColumn<bool>("closed");
    QTest::newRow("no change: no question") << false << 2 << 0 << true;
    QTest::newRow("changed, cancel: stays open") << true << 2 << 1 << false;
    QTest::newRow("changed, discard: closes") << true << 1 << 1 << true;
}

void EditorWindowTest::closingAsksAboutUnsavedChanges() {
    QFETCH(bool, changed);
    QFETCH(int, answer);
    QFETCH(int, questions);
    QFETCH(bool, closed);
    openProgram("1,10,10,255,255,5\r\n");
    if (changed) {
        m_editor->findChild<QAction*>(QStringLiteral("actionAddRow"))->trigger();
    }
    m_editor->unsavedAnswer = static_cast<TestEditor::Unsaved>(answer);
    QCOMPARE(m_editor->close(), closed);
    QCOMPARE(m_editor->unsavedQuestions, questions);
}

void EditorWindowTest::shortcutsPauseResumeAndEscapeStops() {
    // Through the keys alone: F5 plays, F6 pauses and resumes, Escape stops from any widget.
    openProgram("1,10,10,255,255,30\r\n");
    makeReadyToPlay();
    const double start = m_clock->now();
    QWidget* table = m_editor->findChild<QTableView*>(QStringLiteral("segmentTable"));
    auto* list = m_editor->findChild<QListWidget*>(QStringLiteral("findings"));
    table->setFocus();
    m_clock->at(start + 2.02, [this] { QTest::keyClick(m_editor.get(), Qt::Key_F6); });
    m_clock->at(start + 3.52, [this] { QTest::keyClick(m_editor.get(), Qt::Key_F6); });
    m_clock->at(start + 5.02, [list] { QTest::keyClick(list, Qt::Key_Escape); });
    QTest::keyClick(table, Qt::Key_F5);
    QTRY_VERIFY_WITH_TIMEOUT(!m_serial->isOpen(3) && !m_serial->writes().isEmpty(), TimeoutMs);

    const QByteArray dark = Harness::soh("00", "000000");
    const QList<QPair<double, QByteArray>> sent = frames();
    const auto at = [&](double t) {
        return std::find_if(sent.begin(), sent.end(),
                            [&](const auto& f) { return f.first >= start + t - 1e-9; });
    };
    QCOMPARE(*at(2.02), qMakePair(start + 2.02, dark));  // paused dark at once
    QCOMPARE(std::next(at(2.02))->first, start + 3.52);  // nothing until the resume
    QCOMPARE(sent.last(), qMakePair(start + 5.02, dark));
    QCOMPARE(m_editor->player().state(), EditorPlayer::State::Idle);
    QVERIFY(table->isEnabled());
}

void EditorWindowTest::playsFromTheSelectedRow() {
    openProgram("1,10,10,255,255,30\r\n2,5,5,100,101,2\r\n");
    makeReadyToPlay();
    m_editor->findChild<QTableView*>(QStringLiteral("segmentTable"))->selectRow(1);
    const double start = m_clock->now();
    m_editor->play();

    const QList<QPair<double, QByteArray>> sent = frames();
    QVERIFY(sent.size() >= 3);
    QCOMPARE(sent[1].second, Harness::soh("00", "646464"));  // the second record's level 100
    QVERIFY(sent.last().first < start + 2 + 0.1);            // its 2 seconds only
}

void EditorWindowTest::safetyNoticeShownOnce() {
    int shown = 0;
    QTimer acknowledger;
    connect(&acknowledger, &QTimer::timeout, [&shown] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            QCOMPARE(box->text(), SafetyNotice::text());
            ++shown;
            box->buttons().first()->click();
        }
    });
    acknowledger.start(10);
    m_editor->showSafetyNoticeOnFirstStart();
    QCOMPARE(shown, 1);
    // Remembered in the settings file, for every later start of this user.
    const QSettings stored(m_dir->filePath(QStringLiteral("editor.ini")), QSettings::IniFormat);
    QVERIFY(SafetyNotice::acknowledged(stored));
    m_editor.reset();
    m_editor = std::make_unique<TestEditor>(m_dir->path(), m_serial, m_clock);
    m_editor->showSafetyNoticeOnFirstStart();
    QCOMPARE(shown, 1);
}

void EditorWindowTest::recordBoxAndFolderReachTheRunAndStay() {
    openProgram("1,10,10,255,255,6\r\n");
    makeReadyToPlay();
    const QString folder = m_dir->filePath(QStringLiteral("records"));
    m_editor->folderAnswer = folder;
    m_editor->findChild<QToolButton*>(QStringLiteral("recordFolder"))->click();
    m_editor->findChild<QCheckBox*>(QStringLiteral("record"))->setChecked(true);
    m_editor->play();

    QCOMPARE(m_editor->reportsOffered.size(), 1);
    QCOMPARE(QFileInfo(m_editor->reportsOffered.first()).absolutePath(), folder);
    // The box and the folder are remembered for the next start.
    m_editor.reset();
    m_editor = std::make_unique<TestEditor>(m_dir->path(), m_serial, m_clock);
    QVERIFY(m_editor->findChild<QCheckBox*>(QStringLiteral("record"))->isChecked());
    QCOMPARE(m_editor->recordFolder(), folder);
}

void EditorWindowTest::markerBoxWithoutLiblslSaysWhyAndUnticks() {
    makeReadyToPlay();
    auto* box = m_editor->findChild<QCheckBox*>(QStringLiteral("lslMarkers"));
    QVERIFY(box != nullptr);
    box->setChecked(true);
    QCOMPARE(m_editor->messages.size(), 1);
    QVERIFY2(m_editor->messages.first().startsWith(
                 QStringLiteral("The LSL marker stream cannot be opened: ")) &&
                 m_editor->messages.first().contains(QStringLiteral("no-liblsl.so")),
             qPrintable(m_editor->messages.first()));
    QVERIFY(!box->isChecked());
    // The frame markers' menu item is remembered; the box, unticked, stays so.
    m_editor->findChild<QAction*>(QStringLiteral("actionMarkEveryLitFrame"))->trigger();
    m_editor.reset();
    m_editor = std::make_unique<TestEditor>(m_dir->path(), m_serial, m_clock);
    QVERIFY(m_editor->findChild<QAction*>(QStringLiteral("actionMarkEveryLitFrame"))->isChecked());
    QVERIFY(!m_editor->findChild<QCheckBox*>(QStringLiteral("lslMarkers"))->isChecked());
}

QTEST_MAIN(EditorWindowTest)
#include "tst_EditorWindow.moc"
