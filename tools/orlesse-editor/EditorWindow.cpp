#include "EditorWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUndoStack>
#include <QVBoxLayout>
#include <algorithm>

#include "PlotView.h"
#include "ReportDialog.h"
#include "SafetyNotice.h"
#include "SegmentModel.h"
#include "app/PortList.h"
#include "core/ClockPump.h"
#include "core/ClockText.h"
#include "device/Wsc32.h"
#include "programs/ProgramReader.h"
#include "records/SessionFiles.h"
#include "widgets/DropDownList.h"

namespace {

// How long the editor waits after a change before it works the program out again, so that a
// burst of typing costs one analysis.
constexpr int AnalysisDelayMs = 300;
// How often the playhead and the times move while a program plays.
constexpr int PlayheadMs = 100;
constexpr int MaxRecentFiles = 8;
const QString RecentFilesKey = QStringLiteral("files/recent");
const QString ComPortKey = QStringLiteral("play/comPort");
const QString RecordKey = QStringLiteral("record/enabled");
const QString RecordFolderKey = QStringLiteral("record/folder");
const QString ApplicationTitle = QStringLiteral("Orlesse Editor");

// Spin boxes over the 16-bit range; every step of typing is committed, so the check follows
// the typing and not only the end of an edit.
class ValueDelegate final : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                          const QModelIndex&) const override {
        auto* box = new QSpinBox(parent);
        box->setRange(ProgramReader::MinValue, ProgramReader::MaxValue);
        box->setFrame(false);
        box->setAlignment(Qt::AlignRight);
        connect(box, &QSpinBox::valueChanged, this,
                [this, box] { emit const_cast<ValueDelegate*>(this)->commitData(box); });
        return box;
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        auto* box = static_cast<QSpinBox*>(editor);
        const QSignalBlocker quiet(box);
        box->setValue(index.data(Qt::EditRole).toInt());
    }
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override {
        auto* box = static_cast<QSpinBox*>(editor);
        box->interpretText();
        if (model->data(index, Qt::EditRole).toInt() != box->value()) {
            model->setData(index, box->value(), Qt::EditRole);
        }
    }
};

QString kindText(CheckFinding::Kind kind) {
    return kind == CheckFinding::Kind::Error ? QStringLiteral("error") : QStringLiteral("warning");
}

}  // namespace

EditorWindow::EditorWindow(Services services, QWidget* parent)
    : QMainWindow(parent),
      m_services(std::move(services)),
      m_settings(m_services.settingsPath, QSettings::IniFormat),
      m_comPorts(*m_services.ports) {
    setObjectName(QStringLiteral("EditorWindow"));
    m_undo = new QUndoStack(this);
    m_model = new SegmentModel(*m_undo, this);
    m_player = std::make_unique<EditorPlayer>(std::move(m_services.serial),
                                              std::move(m_services.clock), m_services.realtime);
    buildWidgets();
    buildActions();

    m_analysisDelay = new QTimer(this);
    m_analysisDelay->setSingleShot(true);
    m_analysisDelay->setInterval(AnalysisDelayMs);
    connect(m_analysisDelay, &QTimer::timeout, this,
            [this] { m_analysis.request(currentBytes()); });
    connect(&m_analysis, &Analysis::finished, this, &EditorWindow::showAnalysis);
    connect(m_model, &SegmentModel::contentChanged, this, &EditorWindow::scheduleAnalysis);
    connect(m_undo, &QUndoStack::cleanChanged, this, &EditorWindow::updateTitle);
    connect(m_undo, &QUndoStack::indexChanged, this, &EditorWindow::updateTitle);

    m_playheadTimer = new QTimer(this);
    m_playheadTimer->setInterval(PlayheadMs);
    connect(m_playheadTimer, &QTimer::timeout, this, &EditorWindow::updatePlayback);
    connect(m_player.get(), &EditorPlayer::stateChanged, this, [this] {
        updateActions();
        updatePlayback();
    });
    connect(m_player.get(), &EditorPlayer::segmentStarted, this, [this](int line) {
        selectRow(m_model->table().rowOfLine(line));
        updatePlayback();
    });

    // Escape reaches this filter before any widget of the editor sees it.
    qApp->installEventFilter(this);

    newFile();
    resize(1100, 780);
}

EditorWindow::~EditorWindow() {
    qApp->removeEventFilter(this);
    // The children go after this object's own parts: what they signal on their way out (the
    // undo stack clears itself) must not reach it.
    disconnect(m_undo, nullptr, this, nullptr);
    disconnect(m_model, nullptr, this, nullptr);
}

void EditorWindow::buildWidgets() {
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    auto* splitter = new QSplitter(Qt::Vertical, central);
    splitter->setObjectName(QStringLiteral("splitter"));

    m_table = new QTableView(splitter);
    m_table->setObjectName(QStringLiteral("segmentTable"));
    m_table->setModel(m_model);
    m_table->setItemDelegate(new ValueDelegate(m_table));
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                             QAbstractItemView::AnyKeyPressed);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_table->verticalHeader()->setToolTip(tr("The file line of each record"));

    m_findings = new QListWidget(splitter);
    m_findings->setObjectName(QStringLiteral("findings"));
    m_findings->setWordWrap(true);
    connect(m_findings, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        const int row = item->data(Qt::UserRole).toInt();
        if (row >= 0) {
            selectRow(row);
        }
    });

    auto* lower = new QWidget(splitter);
    auto* lowerLayout = new QVBoxLayout(lower);
    lowerLayout->setContentsMargins(0, 0, 0, 0);
    m_plot = new PlotView(lower);
    m_plot->setObjectName(QStringLiteral("plot"));
    lowerLayout->addWidget(m_plot, 1);
    m_readout = new QLabel(lower);
    m_readout->setObjectName(QStringLiteral("readout"));
    connect(m_plot, &PlotView::readoutChanged, m_readout, &QLabel::setText);

    auto* bar = new QHBoxLayout;
    bar->addWidget(new QLabel(tr("COM Port:"), lower));
    auto* comPort = new DropDownList(lower);
    m_comPort = comPort;
    m_comPort->setObjectName(QStringLiteral("comPort"));
    m_comPort->setMinimumContentsLength(7);
    for (const ComPortListing::Item& item : m_comPorts.fill()) {
        m_comPort->addItem(ComPortListing::itemText(item.number));
        m_comPort->setItemData(m_comPort->count() - 1, item.description, Qt::ToolTipRole);
    }
    comPort->onDropDown = [this] {
        m_comPorts.refresh(
            [this](int index, const ComPortListing::Item& item) {
                m_comPort->insertItem(index, ComPortListing::itemText(item.number));
                m_comPort->setItemData(index, item.description, Qt::ToolTipRole);
            },
            [this](int index, const QString& toolTip) {
                m_comPort->setItemData(index, toolTip, Qt::ToolTipRole);
            });
    };
    const int stored =
        m_comPort->findText(ComPortListing::itemText(m_settings.value(ComPortKey, 0).toInt()));
    m_comPort->setCurrentIndex(stored);
    connect(m_comPort, &QComboBox::activated, this, [this] {
        if (const auto number = chosenComNumber()) {
            m_settings.setValue(ComPortKey, *number);
        }
    });
    bar->addWidget(m_comPort);
    m_white = new QCheckBox(tr("Flash White LED's"), lower);
    m_white->setObjectName(QStringLiteral("white"));
    bar->addWidget(m_white);
    m_record = new QCheckBox(tr("Record"), lower);
    m_record->setObjectName(QStringLiteral("record"));
    m_record->setChecked(m_settings.value(RecordKey, false).toBool());
    connect(m_record, &QCheckBox::toggled, this,
            [this](bool on) { m_settings.setValue(RecordKey, on); });
    bar->addWidget(m_record);
    m_recordFolder = new QToolButton(lower);
    m_recordFolder->setObjectName(QStringLiteral("recordFolder"));
    m_recordFolder->setText(tr("Folder\u2026"));
    connect(m_recordFolder, &QToolButton::clicked, this, [this] {
        const QString chosen = chooseRecordFolder(recordFolder());
        if (!chosen.isEmpty()) {
            m_settings.setValue(RecordFolderKey, chosen);
            updateRecordToolTip();
        }
    });
    bar->addWidget(m_recordFolder);
    updateRecordToolTip();
    m_playButton = new QPushButton(style()->standardIcon(QStyle::SP_MediaPlay), tr("Play"), lower);
    m_playButton->setObjectName(QStringLiteral("play"));
    m_playButton->setToolTip(tr("Play from the selected row (F5)"));
    m_pauseButton =
        new QPushButton(style()->standardIcon(QStyle::SP_MediaPause), tr("Pause"), lower);
    m_pauseButton->setObjectName(QStringLiteral("pause"));
    m_pauseButton->setToolTip(tr("Darken the light and hold; again to resume (F6)"));
    m_stopButton = new QPushButton(style()->standardIcon(QStyle::SP_MediaStop), tr("Stop"), lower);
    m_stopButton->setObjectName(QStringLiteral("stop"));
    m_stopButton->setToolTip(tr("End the run dark (Escape)"));
    connect(m_playButton, &QPushButton::clicked, this, &EditorWindow::play);
    connect(m_pauseButton, &QPushButton::clicked, this, &EditorWindow::togglePause);
    connect(m_stopButton, &QPushButton::clicked, this, &EditorWindow::stop);
    bar->addWidget(m_playButton);
    bar->addWidget(m_pauseButton);
    bar->addWidget(m_stopButton);
    m_timeLabel = new QLabel(lower);
    m_timeLabel->setObjectName(QStringLiteral("time"));
    bar->addWidget(m_timeLabel, 1);
    bar->addWidget(m_readout);
    lowerLayout->addLayout(bar);

    splitter->addWidget(m_table);
    splitter->addWidget(m_findings);
    splitter->addWidget(lower);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 1);
    splitter->setStretchFactor(2, 4);
    layout->addWidget(splitter);
    setCentralWidget(central);
    statusBar();
}

void EditorWindow::buildActions() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    const auto add = [this](QMenu* menu, const QString& text, QKeySequence keys, auto slot,
                            const char* name) {
        QAction* action = menu->addAction(text);
        action->setObjectName(QLatin1String(name));
        action->setShortcut(keys);
        connect(action, &QAction::triggered, this, slot);
        addAction(action);
        return action;
    };
    add(
        file, tr("&New"), QKeySequence::New,
        [this] {
            if (maySetAside()) {
                newFile();
            }
        },
        "actionNew");
    add(
        file, tr("&Open..."), QKeySequence::Open,
        [this] {
            if (!maySetAside()) {
                return;
            }
            const QString folder =
                m_path.isEmpty() ? m_services.programsFolder : QFileInfo(m_path).absolutePath();
            const QString path = chooseFileToOpen(folder);
            if (!path.isEmpty()) {
                openFile(path);
            }
        },
        "actionOpen");
    m_recentMenu = file->addMenu(tr("Open &Recent"));
    add(
        file, tr("&Save"), QKeySequence::Save, [this] { save(); }, "actionSave");
    add(
        file, tr("Save &As..."), QKeySequence::SaveAs, [this] { saveAs(); }, "actionSaveAs");
    file->addSeparator();
    add(
        file, tr("&Quit"), QKeySequence::Quit, [this] { close(); }, "actionQuit");

    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    QAction* undo = m_undo->createUndoAction(this, tr("&Undo"));
    undo->setShortcut(QKeySequence::Undo);
    undo->setObjectName(QStringLiteral("actionUndo"));
    QAction* redo = m_undo->createRedoAction(this, tr("&Redo"));
    redo->setShortcut(QKeySequence::Redo);
    redo->setObjectName(QStringLiteral("actionRedo"));
    edit->addAction(undo);
    edit->addAction(redo);
    addAction(undo);
    addAction(redo);
    edit->addSeparator();
    add(
        edit, tr("&Copy Rows"), QKeySequence::Copy, [this] { copyRows(); }, "actionCopy");
    add(
        edit, tr("&Paste Rows"), QKeySequence::Paste, [this] { pasteRows(); }, "actionPaste");
    edit->addSeparator();
    QToolBar* rows = addToolBar(tr("Rows"));
    rows->setObjectName(QStringLiteral("rowsToolBar"));
    const auto rowAction = [&](const QString& text, QKeySequence keys, auto slot,
                               const char* name) {
        QAction* action = add(edit, text, keys, slot, name);
        rows->addAction(action);
        return action;
    };
    rowAction(
        tr("&Add Row"), QKeySequence(Qt::CTRL | Qt::Key_Return), [this] { addRow(true); },
        "actionAddRow");
    rowAction(
        tr("&Insert Row"), QKeySequence(Qt::CTRL | Qt::Key_I), [this] { addRow(false); },
        "actionInsertRow");
    rowAction(
        tr("D&uplicate"), QKeySequence(Qt::CTRL | Qt::Key_D), [this] { duplicateRows(); },
        "actionDuplicate");
    rowAction(
        tr("&Delete"), QKeySequence(Qt::CTRL | Qt::Key_Delete), [this] { deleteRows(); },
        "actionDelete");
    rowAction(
        tr("Move &Up"), QKeySequence(Qt::ALT | Qt::Key_Up), [this] { moveRows(-1); },
        "actionMoveUp");
    rowAction(
        tr("Move Do&wn"), QKeySequence(Qt::ALT | Qt::Key_Down), [this] { moveRows(1); },
        "actionMoveDown");

    QMenu* playMenu = menuBar()->addMenu(tr("&Play"));
    m_playAction = add(
        playMenu, tr("&Play from Selected Row"), QKeySequence(Qt::Key_F5), [this] { play(); },
        "actionPlay");
    m_pauseAction = add(
        playMenu, tr("P&ause / Resume"), QKeySequence(Qt::Key_F6), [this] { togglePause(); },
        "actionPause");
    m_stopAction = add(
        playMenu, tr("&Stop (Escape)"), QKeySequence(), [this] { stop(); }, "actionStop");
    playMenu->addSeparator();
    add(
        playMenu, tr("Session &Record Report\u2026"), QKeySequence(),
        [this] {
            const QString path =
                QFileDialog::getOpenFileName(this, tr("Open Session Record"), recordFolder(),
                                             tr("Session records (*_record.json);;All files (*)"));
            if (!path.isEmpty()) {
                ReportDialog::showModal(path, this);
            }
        },
        "actionRecordReport");

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    add(
        help, SafetyNotice::title(), QKeySequence(),
        [this] { QMessageBox::warning(this, SafetyNotice::title(), SafetyNotice::text()); },
        "actionSafety");
    rebuildRecentMenu();
    updateActions();
}

QByteArray EditorWindow::currentBytes() const {
    return m_model->table().toBytes();
}

bool EditorWindow::hasUnsavedChanges() const {
    return m_changedOnOpen || !m_undo->isClean();
}

QString EditorWindow::recordFolder() const {
    return m_settings.value(RecordFolderKey, m_services.recordsFolder).toString();
}

bool EditorWindow::recordsRuns() const {
    return m_record->isChecked();
}

void EditorWindow::updateRecordToolTip() {
    const QString tip = tr("Keep a session record of every run (each frame sent and when) in %1")
                            .arg(QDir::toNativeSeparators(recordFolder()));
    m_record->setToolTip(tip);
    m_recordFolder->setToolTip(tr("Choose the folder of the session records: now %1")
                                   .arg(QDir::toNativeSeparators(recordFolder())));
}

QString EditorWindow::displayName() const {
    return m_path.isEmpty() ? tr("untitled.csv") : QFileInfo(m_path).fileName();
}

void EditorWindow::updateTitle() {
    setWindowTitle(QStringLiteral("%1[*] \u2014 %2").arg(displayName(), ApplicationTitle));
    setWindowModified(hasUnsavedChanges());
}

void EditorWindow::newFile() {
    ProgramTable table;
    table.rows.append(SegmentModel::FirstRow);
    setTable(table, {}, true);
}

void EditorWindow::setTable(const ProgramTable& table, const QString& path,
                            bool representedExactly) {
    m_path = path;
    m_openProblems = table.problems;
    m_changedOnOpen = !representedExactly;
    m_warnedBytes.clear();
    m_model->setTable(table);
    m_undo->setClean();
    selectRow(0);
    updateTitle();
    refreshNow();
}

bool EditorWindow::openFile(const QString& path) {
    QByteArray bytes;
    try {
        bytes = ProgramReader::readFile(path);
    } catch (const ProgramError& failure) {
        showMessage(failure.message());
        return false;
    }
    const ProgramTable table = ProgramTable::fromBytes(bytes);
    // Exactly what the table writes back: anything else is written only when the user saves.
    setTable(table, QFileInfo(path).absoluteFilePath(), table.toBytes() == bytes);
    addRecentFile(m_path);
    if (!table.problems.isEmpty()) {
        statusBar()->showMessage(
            tr("%1 is not in the regular layout; it is written back only when you save")
                .arg(displayName()));
    }
    return true;
}

bool EditorWindow::writeFile(const QString& path) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(currentBytes()) < 0 || !file.commit()) {
        showMessage(
            tr("Cannot save %1: %2").arg(QDir::toNativeSeparators(path), file.errorString()));
        return false;
    }
    m_path = QFileInfo(path).absoluteFilePath();
    m_changedOnOpen = false;
    m_openProblems.clear();
    m_undo->setClean();
    addRecentFile(m_path);
    updateTitle();
    showAnalysis();
    statusBar()->showMessage(tr("Saved %1").arg(displayName()), 5000);
    return true;
}

bool EditorWindow::save() {
    return m_path.isEmpty() ? saveAs() : writeFile(m_path);
}

bool EditorWindow::saveAs() {
    const QString suggestion =
        m_path.isEmpty() ? QDir(m_services.programsFolder).filePath(displayName()) : m_path;
    QString path = chooseFileToSave(suggestion);
    if (path.isEmpty()) {
        return false;
    }
    if (QFileInfo(path).suffix().isEmpty()) {
        path += QStringLiteral(".csv");
    }
    return writeFile(path);
}

bool EditorWindow::maySetAside() {
    if (!hasUnsavedChanges()) {
        return true;
    }
    switch (askAboutUnsavedChanges()) {
        case Unsaved::Save:
            return save();
        case Unsaved::Discard:
            return true;
        case Unsaved::Cancel:
            break;
    }
    return false;
}

void EditorWindow::addRecentFile(const QString& path) {
    QStringList recent = m_settings.value(RecentFilesKey).toStringList();
    recent.removeAll(path);
    recent.prepend(path);
    while (recent.size() > MaxRecentFiles) {
        recent.removeLast();
    }
    m_settings.setValue(RecentFilesKey, recent);
    rebuildRecentMenu();
}

void EditorWindow::rebuildRecentMenu() {
    m_recentMenu->clear();
    const QStringList recent = m_settings.value(RecentFilesKey).toStringList();
    for (const QString& path : recent) {
        QAction* action = m_recentMenu->addAction(QDir::toNativeSeparators(path));
        connect(action, &QAction::triggered, this, [this, path] {
            if (maySetAside()) {
                openFile(path);
            }
        });
    }
    m_recentMenu->setEnabled(!recent.isEmpty());
}

void EditorWindow::scheduleAnalysis() {
    m_analysisDelay->start();
}

void EditorWindow::refreshNow() {
    m_analysisDelay->stop();
    const QByteArray bytes = currentBytes();
    if (!m_shown || m_shown->bytes != bytes) {
        m_analysis.request(bytes);
    }
}

void EditorWindow::showAnalysis() {
    const std::optional<ProgramAnalysis>& latest = m_analysis.latest();
    // An analysis of a table that has changed since is left for the one that follows it.
    if (!latest || latest->bytes != currentBytes()) {
        return;
    }
    m_shown = latest;
    const CheckReport& report = latest->report;
    const ProgramTable& table = m_model->table();

    m_findings->clear();
    for (const QString& problem : std::as_const(m_openProblems)) {
        auto* item = new QListWidgetItem(style()->standardIcon(QStyle::SP_MessageBoxInformation),
                                         tr("As opened: %1").arg(problem), m_findings);
        static const QRegularExpression lineNumber(QStringLiteral("^Line (\\d+):"));
        const QRegularExpressionMatch match = lineNumber.match(problem);
        item->setData(Qt::UserRole,
                      match.hasMatch() ? table.rowOfLine(match.captured(1).toInt()) : -1);
    }
    // The check's own lines, as `orlesse-program check` prints them: one per finding first.
    const QStringList lines = formatReport(displayName(), report);
    QMap<int, SegmentModel::RowMark> marks;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        auto* item = new QListWidgetItem(lines[i], m_findings);
        int row = -1;
        if (i < report.findings.size()) {
            const CheckFinding& finding = report.findings[i];
            const bool isError = finding.kind == CheckFinding::Kind::Error;
            const QIcon icon = style()->standardIcon(isError ? QStyle::SP_MessageBoxCritical
                                                             : QStyle::SP_MessageBoxWarning);
            item->setIcon(icon);
            row = table.rowOfLine(finding.line);
            if (row >= 0) {
                SegmentModel::RowMark& mark = marks[row];
                // An error outranks a warning on the same row.
                if (mark.icon.isNull() || isError) {
                    mark.icon = icon;
                }
                const QString text =
                    QStringLiteral("%1: %2").arg(kindText(finding.kind), finding.text);
                mark.toolTip = mark.toolTip.isEmpty() ? text : mark.toolTip + '\n' + text;
            }
        }
        item->setData(Qt::UserRole, row);
    }
    m_model->setMarks(marks);
    m_plot->setTrace(latest->trace, displayName());
    statusBar()->showMessage(tr("Worked out in %1 ms").arg(latest->seconds * 1000, 0, 'f', 0),
                             3000);
}

QList<int> EditorWindow::selectedRows() const {
    QList<int> rows;
    for (const QModelIndex& index : m_table->selectionModel()->selectedRows()) {
        rows.append(index.row());
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

void EditorWindow::selectRow(int row) {
    if (row < 0 || row >= m_model->rowCount()) {
        return;
    }
    m_table->selectRow(row);
    m_table->scrollTo(m_model->index(row, 0));
}

void EditorWindow::copyRows() {
    QList<ProgramTable::Row> rows;
    for (const int row : selectedRows()) {
        rows.append(m_model->table().rows[row]);
    }
    if (!rows.isEmpty()) {
        QGuiApplication::clipboard()->setText(ProgramTable::rowsToText(rows));
    }
}

void EditorWindow::pasteRows() {
    const std::optional<QList<ProgramTable::Row>> rows =
        ProgramTable::rowsFromText(QGuiApplication::clipboard()->text());
    if (!rows) {
        showMessage(
            tr("The clipboard holds no rows: each line must be six whole numbers from "
               "-32768 to 32767, separated by commas."));
        return;
    }
    const QList<int> selected = selectedRows();
    const int at = selected.isEmpty() ? m_model->rowCount() : selected.last() + 1;
    m_model->insertRowsAt(at, *rows, tr("Paste Rows"));
    selectRow(at);
}

void EditorWindow::addRow(bool atEnd) {
    const QList<int> selected = selectedRows();
    const int at = atEnd || selected.isEmpty() ? m_model->rowCount() : selected.first();
    m_model->insertRowsAt(at, {m_model->rowToAddAt(at)}, atEnd ? tr("Add Row") : tr("Insert Row"));
    selectRow(at);
}

void EditorWindow::duplicateRows() {
    const QList<int> selected = selectedRows();
    if (selected.isEmpty()) {
        return;
    }
    QList<ProgramTable::Row> rows;
    for (const int row : selected) {
        rows.append(m_model->table().rows[row]);
    }
    m_model->insertRowsAt(selected.last() + 1, rows, tr("Duplicate"));
    selectRow(selected.last() + 1);
}

void EditorWindow::deleteRows() {
    const QList<int> selected = selectedRows();
    if (selected.isEmpty()) {
        return;
    }
    m_undo->beginMacro(tr("Delete"));
    for (auto row = selected.rbegin(); row != selected.rend(); ++row) {
        m_model->removeRowsAt(*row, 1);
    }
    m_undo->endMacro();
    selectRow(std::min(selected.first(), m_model->rowCount() - 1));
}

void EditorWindow::moveRows(int delta) {
    const QList<int> selected = selectedRows();
    if (selected.isEmpty() || selected.first() + delta < 0 ||
        selected.last() + delta >= m_model->rowCount()) {
        return;
    }
    m_undo->beginMacro(delta < 0 ? tr("Move Up") : tr("Move Down"));
    if (delta < 0) {
        for (const int row : selected) {
            m_model->moveRow(row, -1);
        }
    } else {
        for (auto row = selected.rbegin(); row != selected.rend(); ++row) {
            m_model->moveRow(*row, 1);
        }
    }
    m_undo->endMacro();
    m_table->clearSelection();
    for (const int row : selected) {
        m_table->selectionModel()->select(m_model->index(row + delta, 0),
                                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
}

std::optional<int> EditorWindow::chosenComNumber() const {
    if (m_comPort->currentIndex() < 0) {
        return std::nullopt;
    }
    return ComPortListing::numberOf(m_comPort->currentText());
}

double EditorWindow::secondsBeforeRow(int row) const {
    double seconds = 0;
    const QList<ProgramTable::Row>& rows = m_model->table().rows;
    for (int i = m_firstRow; i < row && i < rows.size(); ++i) {
        seconds += std::max(rows[i][5], 0);
    }
    return seconds;
}

void EditorWindow::showSafetyNoticeOnFirstStart() {
    SafetyNotice::showOnFirstStart(m_settings, this);
}

void EditorWindow::play() {
    if (m_player->state() != EditorPlayer::State::Idle) {
        if (m_player->state() == EditorPlayer::State::Paused) {
            m_player->resume();
        }
        return;
    }
    if (!SafetyNotice::showOnFirstStart(m_settings, this)) {
        return;
    }
    m_table->setFocus();  // an edit under way is committed before the program is read
    const QByteArray bytes = currentBytes();
    if (!m_shown || m_shown->bytes != bytes) {
        m_analysisDelay->stop();
        m_shown = Analysis::analyse(bytes);
    }
    const CheckReport& report = m_shown->report;
    if (report.hasErrors()) {
        showMessage(tr("The program has errors and does not play:\n\n%1")
                        .arg(formatReport(displayName(), report).join('\n')));
        return;
    }
    if (!report.findings.isEmpty() && m_warnedBytes != bytes) {
        QStringList warnings;
        for (const CheckFinding& finding : report.findings) {
            warnings << QStringLiteral("line %1: %2").arg(finding.line).arg(finding.text);
        }
        if (!askToPlayWithWarnings(warnings.join('\n'))) {
            return;
        }
        m_warnedBytes = bytes;
    }
    const std::optional<int> com = chosenComNumber();
    if (!com) {
        showMessage(tr("Choose the COM port of the light first."));
        return;
    }
    // The folder is checked before anything is sent, so that no run loses its record.
    std::optional<EditorPlayer::Recording> recording;
    if (recordsRuns()) {
        QString error;
        if (!SessionFiles::prepareFolder(recordFolder(), &error)) {
            showMessage(
                tr("The session record cannot be kept: %1. Nothing was played.").arg(error));
            return;
        }
        recording = EditorPlayer::Recording{
            recordFolder(),
            m_path.isEmpty() ? QDir(m_services.programsFolder).filePath(displayName()) : m_path};
    }
    const QList<int> selected = selectedRows();
    m_firstRow = selected.isEmpty() ? 0 : selected.first();

    // The keys of the run (F6, Escape) reach this window after a question or the notice, also
    // where no window manager gives it its focus back when the dialog closes.
    activateWindow();
    m_playheadTimer->start();
    const EditorPlayer::Outcome outcome =
        m_player->play(bytes, m_firstRow, *com, m_white->isChecked(), recording);
    m_playheadTimer->stop();
    m_plot->setPlayhead(std::nullopt);
    updatePlayback();
    if (!outcome.openError.isEmpty()) {
        showMessage(tr("Cannot open Com%1: %2").arg(*com).arg(outcome.openError));
    } else if (outcome.failure) {
        showMessage(tr("The run ended: %1").arg(outcome.failure->message()));
    } else {
        statusBar()->showMessage(outcome.stopped ? tr("Stopped; the light is dark")
                                                 : tr("Played to the end; the light is dark"),
                                 5000);
    }
    if (recording && outcome.openError.isEmpty()) {
        if (outcome.record) {
            offerReport(outcome.record->json);
        } else {
            showMessage(tr("The session record is lost: %1").arg(outcome.recordLost));
        }
    }
}

void EditorWindow::togglePause() {
    if (m_player->state() == EditorPlayer::State::Playing) {
        m_player->pause();
    } else if (m_player->state() == EditorPlayer::State::Paused) {
        m_player->resume();
    }
}

void EditorWindow::stop() {
    m_player->stop();
}

void EditorWindow::updateActions() {
    const EditorPlayer::State state = m_player->state();
    const bool idle = state == EditorPlayer::State::Idle;
    m_playButton->setEnabled(idle);
    m_playAction->setEnabled(idle);
    m_pauseButton->setEnabled(!idle);
    m_pauseAction->setEnabled(!idle);
    m_stopButton->setEnabled(!idle);
    m_stopAction->setEnabled(!idle);
    m_pauseButton->setText(state == EditorPlayer::State::Paused ? tr("Resume") : tr("Pause"));
    // The table stays as it is while it plays: the run reads the program it started with.
    m_table->setEnabled(idle);
}

void EditorWindow::updatePlayback() {
    const int row = m_model->table().rowOfLine(m_player->line());
    if (m_player->state() == EditorPlayer::State::Idle || row < 0) {
        m_timeLabel->clear();
        return;
    }
    const double into = m_player->secondsIntoSegment();
    const double elapsed = secondsBeforeRow(row) + into;
    const double remaining =
        std::max(0.0, secondsBeforeRow(static_cast<int>(m_model->rowCount())) - elapsed);
    m_timeLabel->setText(tr("%1 played, %2 left%3")
                             .arg(clockText(elapsed), clockText(remaining),
                                  m_player->state() == EditorPlayer::State::Paused
                                      ? tr(" \u2014 paused, the light is dark")
                                      : QString()));
    // The playhead stands in the chart's own run: where that run has this record start.
    const ProgramTrace& trace = m_plot->trace();
    const auto segment = std::find_if(
        trace.segments.begin(), trace.segments.end(),
        [line = m_player->line()](const SegmentTrace& s) { return s.record.line() == line; });
    if (segment != trace.segments.end()) {
        m_plot->setPlayhead(segment->start + into);
    }
}

void EditorWindow::closeEvent(QCloseEvent* event) {
    if (m_player->state() != EditorPlayer::State::Idle) {
        // The run ends dark first; the window closes once it has returned.
        m_player->stop();
        event->ignore();
        QTimer::singleShot(0, this, &EditorWindow::close);
        return;
    }
    if (!maySetAside()) {
        event->ignore();
        return;
    }
    event->accept();
}

bool EditorWindow::eventFilter(QObject* watched, QEvent* event) {
    if ((event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape &&
        m_player->state() != EditorPlayer::State::Idle) {
        m_player->stop();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

EditorWindow::Unsaved EditorWindow::askAboutUnsavedChanges() {
    const QMessageBox::StandardButton answer = QMessageBox::question(
        this, ApplicationTitle,
        tr("%1 has changes that are not saved. Save them?").arg(displayName()),
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    if (answer == QMessageBox::Save) {
        return Unsaved::Save;
    }
    return answer == QMessageBox::Discard ? Unsaved::Discard : Unsaved::Cancel;
}

bool EditorWindow::askToPlayWithWarnings(const QString& warnings) {
    return QMessageBox::question(this, ApplicationTitle,
                                 tr("The program plays, but not as written:\n\n%1\n\nPlay it "
                                    "all the same?")
                                     .arg(warnings)) == QMessageBox::Yes;
}

void EditorWindow::showMessage(const QString& text) {
    QMessageBox::information(this, ApplicationTitle, text);
}

QString EditorWindow::chooseFileToOpen(const QString& folder) {
    return QFileDialog::getOpenFileName(this, tr("Open Light Program"), folder,
                                        tr("Light programs (*.csv *.CSV);;All files (*)"));
}

QString EditorWindow::chooseRecordFolder(const QString& folder) {
    return QFileDialog::getExistingDirectory(this, tr("Folder of the Session Records"), folder);
}

void EditorWindow::offerReport(const QString& jsonPath) {
    const QMessageBox::StandardButton answer = QMessageBox::question(
        this, ApplicationTitle,
        tr("The session record is in %1.\n\nOpen its report?")
            .arg(QDir::toNativeSeparators(QFileInfo(jsonPath).absolutePath())));
    if (answer == QMessageBox::Yes) {
        ReportDialog::showModal(jsonPath, this);
    }
}

QString EditorWindow::chooseFileToSave(const QString& suggestion) {
    return QFileDialog::getSaveFileName(this, tr("Save Light Program"), suggestion,
                                        tr("Light programs (*.csv *.CSV);;All files (*)"));
}
