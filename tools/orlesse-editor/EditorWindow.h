#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

#include "Analysis.h"
#include "EditorDocument.h"
#include "EditorPlayer.h"
#include "PlaySession.h"
#include "PlaybackBar.h"
#include "markers/LslLibrary.h"

class ClockPump;
class FindingsPanel;
class PlotView;
class PortList;
class QAction;
class QMenu;
class QTimer;
class SegmentTable;
class SessionsWindow;
class Wsc32;

// The light-program editor: the records as a table with undo and redo, the check's findings by
// row, the chart of what the device will receive (redrawn shortly after each change), and
// playing on a COM port with pause, stop and a playhead. Escape stops a run dark from anywhere
// in the editor. The window wires the document, the table, the findings, the chart, the
// playback bar and the play session together, and answers their questions with its dialogs.
class EditorWindow : public QMainWindow, private EditorDocument::Dialogs, private PlayDialogs {
    Q_OBJECT

  public:
    // What the editor runs on: the port list, serial library and clock of the runs, the file of
    // the editor's own settings, and the folder the file dialogs start in.
    struct Services {
        std::unique_ptr<PortList> ports;
        std::unique_ptr<Wsc32> serial;
        std::unique_ptr<ClockPump> clock;
        QString settingsPath;
        QString programsFolder;
        QString recordsFolder;  // where session records go until the user picks a folder
        bool realtime = false;  // real-time scheduling while a run plays, where granted
        // The files liblsl is loaded from for the marker stream, the first that loads.
        QStringList lslLibraries = LslLibrary::defaultCandidates();
    };

    using Unsaved = EditorDocument::Unsaved;

    explicit EditorWindow(Services services, QWidget* parent = nullptr);
    ~EditorWindow() override;

    // Opens a program file; false (with a message) when it cannot be read.
    bool openFile(const QString& path) { return m_document->open(path); }

    // Plays from the selected row (the first when none is) through the play session. Returns
    // when the run is over.
    void play();
    // Ends the run dark.
    void stop();

    // Shows the first-start notice about photosensitive epilepsy when it was never
    // acknowledged; the editor does not play until it is.
    void showSafetyNoticeOnFirstStart();

    EditorDocument& document() { return *m_document; }
    const std::optional<ProgramAnalysis>& shownAnalysis() const { return m_shown; }
    EditorPlayer& player() { return *m_player; }
    QSettings& settings() { return m_settings; }
    // The folder session records are written in.
    QString recordFolder() const { return m_bar->recordFolder(); }

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    // The dialogs, which tests and the benchmark replace.
    Unsaved askAboutUnsavedChanges() override;
    bool askToPlayWithWarnings(const QString& warnings) override;
    bool askToPlayWithoutRecorder(const QString& stream) override;
    void showMessage(const QString& text) override;
    virtual QString chooseFileToOpen(const QString& folder);
    QString chooseFileToSave(const QString& suggestion) override;
    virtual QString chooseRecordFolder(const QString& folder);
    void offerReport(const QString& jsonPath) override;

  private:
    bool acknowledgeSafetyNotice() override;
    void showStatus(const QString& text) override;

    static QString applicationTitle();
    void buildWidgets();
    void buildActions();
    void openChosenFile();
    void pasteRows();
    void openRecordReport();
    // Shows the Sessions window over the records' folder.
    void showSessions();
    // Works out the analysis of the table now, skipping the delay.
    void refreshNow();
    void showAnalysis();
    void updateTitle();
    void rebuildRecentMenu();
    void showPlayerState(EditorPlayer::State state);

    Services m_services;
    QSettings m_settings;
    EditorDocument* m_document = nullptr;
    SegmentTable* m_table = nullptr;
    FindingsPanel* m_findings = nullptr;
    PlotView* m_plot = nullptr;
    PlaybackBar* m_bar = nullptr;
    QMenu* m_recentMenu = nullptr;
    QAction* m_playAction = nullptr;
    QAction* m_pauseAction = nullptr;
    QAction* m_stopAction = nullptr;
    QAction* m_everyFrameAction = nullptr;
    QPointer<SessionsWindow> m_sessions;
    QTimer* m_analysisDelay = nullptr;
    Analysis m_analysis;
    std::optional<ProgramAnalysis> m_shown;
    std::unique_ptr<EditorPlayer> m_player;
    std::unique_ptr<PlaySession> m_session;
};
