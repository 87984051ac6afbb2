#include "EditorWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QUndoStack>
#include <QVBoxLayout>

#include "FindingsPanel.h"
#include "PlotView.h"
#include "SafetyNotice.h"
#include "SegmentModel.h"
#include "SegmentTable.h"
#include "app/PortList.h"
#include "core/ClockPump.h"
#include "device/Wsc32.h"

namespace {

// How long the editor waits after a change before it works the program out again, so that a
// burst of typing costs one analysis.
constexpr int AnalysisDelayMs = 300;

}  // namespace

EditorWindow::EditorWindow(Services services, QWidget* parent)
    : QMainWindow(parent),
      m_services(std::move(services)),
      m_settings(m_services.settingsPath, QSettings::IniFormat) {
    setObjectName(QStringLiteral("EditorWindow"));
    m_document = new EditorDocument(m_settings, m_services.programsFolder, *this, this);
    m_player = std::make_unique<EditorPlayer>(std::move(m_services.serial),
                                              std::move(m_services.clock), m_services.realtime);
    m_session = std::make_unique<PlaySession>(*m_player, static_cast<PlayDialogs&>(*this));
    buildWidgets();
    buildActions();

    m_analysisDelay = new QTimer(this);
    m_analysisDelay->setSingleShot(true);
    m_analysisDelay->setInterval(AnalysisDelayMs);
    connect(m_analysisDelay, &QTimer::timeout, this,
            [this] { m_analysis.request(m_document->bytes()); });
    connect(&m_analysis, &Analysis::finished, this, &EditorWindow::showAnalysis);
    connect(&m_document->model(), &SegmentModel::contentChanged, m_analysisDelay,
            qOverload<>(&QTimer::start));
    connect(m_document, &EditorDocument::titleChanged, this, &EditorWindow::updateTitle);
    connect(m_document, &EditorDocument::recentFilesChanged, this,
            &EditorWindow::rebuildRecentMenu);
    connect(m_document, &EditorDocument::replaced, this, [this] {
        m_session->forgetWarnings();
        m_table->goToRow(0);
        refreshNow();
        if (!m_document->openProblems().isEmpty()) {
            statusBar()->showMessage(
                tr("%1 is not in the regular layout; it is written back only when you save")
                    .arg(m_document->displayName()));
        }
    });
    connect(m_document, &EditorDocument::saved, this, [this] {
        // The findings lose what the file held as opened, and take the file's name.
        showAnalysis();
        statusBar()->showMessage(tr("Saved %1").arg(m_document->displayName()), 5000);
    });

    connect(m_player.get(), &EditorPlayer::stateChanged, this, &EditorWindow::showPlayerState);
    connect(m_player.get(), &EditorPlayer::segmentStarted, this,
            [this](int line) { m_table->goToRow(m_document->model().table().rowOfLine(line)); });

    // Escape reaches this filter before any widget of the editor sees it.
    qApp->installEventFilter(this);

    m_document->newFile();
    resize(1100, 780);
}

EditorWindow::~EditorWindow() {
    qApp->removeEventFilter(this);
}

void EditorWindow::buildWidgets() {
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    auto* splitter = new QSplitter(Qt::Vertical, central);
    splitter->setObjectName(QStringLiteral("splitter"));

    m_table = new SegmentTable(m_document->model(), m_document->undoStack(), splitter);
    m_findings = new FindingsPanel(splitter);
    connect(m_findings, &FindingsPanel::rowChosen, m_table, &SegmentTable::goToRow);

    auto* lower = new QWidget(splitter);
    auto* lowerLayout = new QVBoxLayout(lower);
    lowerLayout->setContentsMargins(0, 0, 0, 0);
    m_plot = new PlotView(lower);
    m_plot->setObjectName(QStringLiteral("plot"));
    lowerLayout->addWidget(m_plot, 1);
    m_bar = new PlaybackBar(*m_services.ports, m_settings, m_services.recordsFolder, *m_player,
                            m_document->model(), m_services.lslLibraries, lower);
    lowerLayout->addWidget(m_bar);
    connect(m_plot, &PlotView::readoutChanged, m_bar, &PlaybackBar::showReadout);
    connect(m_bar, &PlaybackBar::progressed, m_plot, &PlotView::showPlayhead);
    connect(m_bar, &PlaybackBar::playClicked, this, &EditorWindow::play);
    connect(m_bar, &PlaybackBar::pauseClicked, m_player.get(), &EditorPlayer::togglePause);
    connect(m_bar, &PlaybackBar::stopClicked, this, &EditorWindow::stop);
    connect(m_bar, &PlaybackBar::markerStreamFailed, this, [this](const QString& error) {
        showMessage(tr("The LSL marker stream cannot be opened: %1").arg(error));
    });
    connect(m_bar, &PlaybackBar::recordFolderClicked, this, [this] {
        const QString chosen = chooseRecordFolder(m_bar->recordFolder());
        if (!chosen.isEmpty()) {
            m_bar->setRecordFolder(chosen);
        }
    });

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
    const auto add = [this](QMenu* menu, const QString& text, const QKeySequence& keys,
                            const char* name, auto slot) {
        QAction* action = menu->addAction(text);
        action->setObjectName(QLatin1String(name));
        action->setShortcut(keys);
        connect(action, &QAction::triggered, this, slot);
        addAction(action);
        return action;
    };
    QMenu* file = menuBar()->addMenu(tr("&File"));
    add(file, tr("&New"), QKeySequence::New, "actionNew", [this] {
        if (m_document->maySetAside()) {
            m_document->newFile();
        }
    });
    add(file, tr("&Open..."), QKeySequence::Open, "actionOpen", &EditorWindow::openChosenFile);
    m_recentMenu = file->addMenu(tr("Open &Recent"));
    add(file, tr("&Save"), QKeySequence::Save, "actionSave", [this] { m_document->save(); });
    add(file, tr("Save &As..."), QKeySequence::SaveAs, "actionSaveAs",
        [this] { m_document->saveAs(); });
    file->addSeparator();
    add(file, tr("&Quit"), QKeySequence::Quit, "actionQuit", &EditorWindow::close);

    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    QAction* undo = m_document->undoStack().createUndoAction(this, tr("&Undo"));
    undo->setShortcut(QKeySequence::Undo);
    undo->setObjectName(QStringLiteral("actionUndo"));
    QAction* redo = m_document->undoStack().createRedoAction(this, tr("&Redo"));
    redo->setShortcut(QKeySequence::Redo);
    redo->setObjectName(QStringLiteral("actionRedo"));
    edit->addAction(undo);
    edit->addAction(redo);
    addAction(undo);
    addAction(redo);
    edit->addSeparator();
    add(edit, tr("&Copy Rows"), QKeySequence::Copy, "actionCopy", [this] { m_table->copyRows(); });
    add(edit, tr("&Paste Rows"), QKeySequence::Paste, "actionPaste", &EditorWindow::pasteRows);
    edit->addSeparator();
    QToolBar* rows = addToolBar(tr("Rows"));
    rows->setObjectName(QStringLiteral("rowsToolBar"));
    const auto rowAction = [&](const QString& text, const QKeySequence& keys, const char* name,
                               auto slot) { rows->addAction(add(edit, text, keys, name, slot)); };
    rowAction(tr("&Add Row"), QKeySequence(Qt::CTRL | Qt::Key_Return), "actionAddRow",
              [this] { m_table->addRow(true); });
    rowAction(tr("&Insert Row"), QKeySequence(Qt::CTRL | Qt::Key_I), "actionInsertRow",
              [this] { m_table->addRow(false); });
    rowAction(tr("D&uplicate"), QKeySequence(Qt::CTRL | Qt::Key_D), "actionDuplicate",
              [this] { m_table->duplicateRows(); });
    rowAction(tr("&Delete"), QKeySequence(Qt::CTRL | Qt::Key_Delete), "actionDelete",
              [this] { m_table->deleteRows(); });
    rowAction(tr("Move &Up"), QKeySequence(Qt::ALT | Qt::Key_Up), "actionMoveUp",
              [this] { m_table->moveRows(-1); });
    rowAction(tr("Move Do&wn"), QKeySequence(Qt::ALT | Qt::Key_Down), "actionMoveDown",
              [this] { m_table->moveRows(1); });

    QMenu* playMenu = menuBar()->addMenu(tr("&Play"));
    m_playAction = add(playMenu, tr("&Play from Selected Row"), QKeySequence(Qt::Key_F5),
                       "actionPlay", &EditorWindow::play);
    m_pauseAction = add(playMenu, tr("P&ause / Resume"), QKeySequence(Qt::Key_F6), "actionPause",
                        [this] { m_player->togglePause(); });
    m_stopAction =
        add(playMenu, tr("&Stop (Escape)"), QKeySequence(), "actionStop", &EditorWindow::stop);
    playMenu->addSeparator();
    // A marker for each lit frame too, on the stream of the LSL markers box.
    m_everyFrameAction =
        add(playMenu, tr("&Marker for Every Lit Frame"), QKeySequence(), "actionMarkEveryLitFrame",
            [this](bool on) { m_settings.setValue(QStringLiteral("markers/everyLitFrame"), on); });
    m_everyFrameAction->setCheckable(true);
    m_everyFrameAction->setChecked(
        m_settings.value(QStringLiteral("markers/everyLitFrame"), false).toBool());
    playMenu->addSeparator();
    add(playMenu, tr("Session &Record Report\u2026"), QKeySequence(), "actionRecordReport",
        &EditorWindow::openRecordReport);
    add(playMenu, tr("Sessio&ns\u2026"), QKeySequence(), "actionSessions",
        &EditorWindow::showSessions);

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    add(help, SafetyNotice::title(), QKeySequence(), "actionSafety",
        [this] { QMessageBox::warning(this, SafetyNotice::title(), SafetyNotice::text()); });
    rebuildRecentMenu();
    showPlayerState(EditorPlayer::State::Idle);
}

void EditorWindow::updateTitle() {
    setWindowTitle(
        QStringLiteral("%1[*] \u2014 %2").arg(m_document->displayName(), applicationTitle()));
    setWindowModified(m_document->hasUnsavedChanges());
}

void EditorWindow::openChosenFile() {
    if (!m_document->maySetAside()) {
        return;
    }
    const QString folder = m_document->path().isEmpty()
                               ? m_services.programsFolder
                               : QFileInfo(m_document->path()).absolutePath();
    const QString path = chooseFileToOpen(folder);
    if (!path.isEmpty()) {
        openFile(path);
    }
}

void EditorWindow::rebuildRecentMenu() {
    m_recentMenu->clear();
    const QStringList recent = m_document->recentFiles();
    for (const QString& path : recent) {
        QAction* action = m_recentMenu->addAction(QDir::toNativeSeparators(path));
        connect(action, &QAction::triggered, this, [this, path] {
            if (m_document->maySetAside()) {
                openFile(path);
            }
        });
    }
    m_recentMenu->setEnabled(!recent.isEmpty());
}

void EditorWindow::pasteRows() {
    if (!m_table->pasteRows()) {
        showMessage(
            tr("The clipboard holds no rows: each line must be six whole numbers from "
               "-32768 to 32767, separated by commas."));
    }
}

void EditorWindow::refreshNow() {
    m_analysisDelay->stop();
    const QByteArray bytes = m_document->bytes();
    if (!m_shown || m_shown->bytes != bytes) {
        m_analysis.request(bytes);
    }
}

void EditorWindow::showAnalysis() {
    const std::optional<ProgramAnalysis>& latest = m_analysis.latest();
    // An analysis of a table that has changed since is left for the one that follows it.
    if (!latest || latest->bytes != m_document->bytes()) {
        return;
    }
    m_shown = latest;
    SegmentModel& model = m_document->model();
    model.setMarks(m_findings->showFindings(m_document->openProblems(), latest->report,
                                            model.table(), m_document->displayName()));
    m_plot->setTrace(latest->trace, m_document->displayName());
    statusBar()->showMessage(tr("Worked out in %1 ms").arg(latest->seconds * 1000, 0, 'f', 0),
                             3000);
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
    m_table->setFocus();  // an edit under way is committed before the program is read
    PlaySession::Request request;
    request.bytes = m_document->bytes();
    request.name = m_document->displayName();
    request.programPath = m_document->suggestedPath();
    const QList<int> selected = m_table->selectedRows();
    request.firstRow = selected.isEmpty() ? 0 : selected.first();
    request.comNumber = m_bar->comNumber();
    request.white = m_bar->white();
    if (m_bar->recordsRuns()) {
        request.recordFolder = m_bar->recordFolder();
    }
    if (PlayMarkers* stream = m_bar->markerStream()) {
        request.marking = EditorPlayer::Marking{stream, m_everyFrameAction->isChecked()};
    }
    // The session works a stale analysis out itself: none waits to start during the run.
    m_analysisDelay->stop();
    m_session->play(request, m_shown);
    if (!m_shown || m_shown->bytes != m_document->bytes()) {
        m_analysisDelay->start();
    }
}

void EditorWindow::stop() {
    m_player->stop();
}

void EditorWindow::showPlayerState(EditorPlayer::State state) {
    const bool idle = state == EditorPlayer::State::Idle;
    if (!idle && m_playAction->isEnabled()) {
        // The keys of the run (F6, Escape) reach this window after a question or the notice,
        // also where no window manager gives it its focus back when the dialog closes.
        activateWindow();
    }
    m_playAction->setEnabled(idle);
    m_pauseAction->setEnabled(!idle);
    m_stopAction->setEnabled(!idle);
    // The table stays as it is while it plays: the run reads the program it started with.
    m_table->setEnabled(idle);
    if (idle) {
        m_plot->setPlayhead(std::nullopt);
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
    if (!m_document->maySetAside()) {
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
