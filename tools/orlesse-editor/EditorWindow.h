#pragma once

#include <QMainWindow>
#include <QSettings>
#include <QString>
#include <memory>
#include <optional>

#include "Analysis.h"
#include "EditorPlayer.h"
#include "app/ComPortListing.h"
#include "programs/ProgramTable.h"

class ClockPump;
class PlotView;
class PortList;
class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QMenu;
class QPushButton;
class QTableView;
class QTimer;
class QToolButton;
class QUndoStack;
class SegmentModel;
class Wsc32;

// The light-program editor: the records as a table with undo and redo, the check's findings by
// row, the chart of what the device will receive (redrawn shortly after each change), and
// playing on a COM port with pause, stop and a playhead. Escape stops a run dark from anywhere
// in the editor.
class EditorWindow : public QMainWindow {
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
    };

    // The answers to the question before unsaved changes are lost.
    enum class Unsaved { Save, Discard, Cancel };

    explicit EditorWindow(Services services, QWidget* parent = nullptr);
    ~EditorWindow() override;

    // Opens a program file; false (with a message) when it cannot be read.
    bool openFile(const QString& path);
    // Saves to the file's path, or asks for one; false when nothing was saved.
    bool save();
    // Asks for a path and saves there.
    bool saveAs();
    // Starts a new program of one row.
    void newFile();

    // Plays from the selected row (the first when none is), after the checks: a program with
    // errors does not play, warnings ask once. Returns when the run is over.
    void play();
    // Pauses the run, or resumes a paused one.
    void togglePause();
    // Ends the run dark.
    void stop();

    // Shows the first-start notice about photosensitive epilepsy when it was never
    // acknowledged; the editor does not play until it is.
    void showSafetyNoticeOnFirstStart();

    // The file's path, empty for a new one.
    const QString& filePath() const { return m_path; }
    // The file as it would be saved now.
    QByteArray currentBytes() const;
    // Whether there are changes not saved.
    bool hasUnsavedChanges() const;
    // Works out the analysis of the table now, skipping the delay (for Play and tests).
    void refreshNow();
    // The analysis shown, if any.
    const std::optional<ProgramAnalysis>& shownAnalysis() const { return m_shown; }
    EditorPlayer& player() { return *m_player; }
    QSettings& settings() { return m_settings; }
    // The folder session records are written in.
    QString recordFolder() const;
    // Whether each run leaves a session record.
    bool recordsRuns() const;

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

    // The dialogs, which tests replace.
    virtual Unsaved askAboutUnsavedChanges();
    virtual bool askToPlayWithWarnings(const QString& warnings);
    virtual void showMessage(const QString& text);
    virtual QString chooseFileToOpen(const QString& folder);
    virtual QString chooseFileToSave(const QString& suggestion);
    virtual QString chooseRecordFolder(const QString& folder);
    // After a recorded run: offers the report of the record whose description is jsonPath.
    virtual void offerReport(const QString& jsonPath);

  private:
    void buildWidgets();
    void buildActions();
    void setTable(const ProgramTable& table, const QString& path, bool representedExactly);
    bool writeFile(const QString& path);
    bool maySetAside();
    void scheduleAnalysis();
    void showAnalysis();
    void updateTitle();
    void updateActions();
    void updatePlayback();
    void addRecentFile(const QString& path);
    void rebuildRecentMenu();
    QList<int> selectedRows() const;
    void selectRow(int row);
    void copyRows();
    void pasteRows();
    void addRow(bool atEnd);
    void duplicateRows();
    void deleteRows();
    void moveRows(int delta);
    double secondsBeforeRow(int row) const;
    std::optional<int> chosenComNumber() const;
    QString displayName() const;
    void updateRecordToolTip();

    Services m_services;
    QSettings m_settings;
    ComPortListing m_comPorts;
    QUndoStack* m_undo = nullptr;
    SegmentModel* m_model = nullptr;
    QTableView* m_table = nullptr;
    QListWidget* m_findings = nullptr;
    PlotView* m_plot = nullptr;
    QComboBox* m_comPort = nullptr;
    QCheckBox* m_white = nullptr;
    QCheckBox* m_record = nullptr;
    QToolButton* m_recordFolder = nullptr;
    QPushButton* m_playButton = nullptr;
    QPushButton* m_pauseButton = nullptr;
    QPushButton* m_stopButton = nullptr;
    QLabel* m_timeLabel = nullptr;
    QLabel* m_readout = nullptr;
    QMenu* m_recentMenu = nullptr;
    QAction* m_playAction = nullptr;
    QAction* m_pauseAction = nullptr;
    QAction* m_stopAction = nullptr;
    QTimer* m_analysisDelay = nullptr;
    QTimer* m_playheadTimer = nullptr;
    Analysis m_analysis;
    std::optional<ProgramAnalysis> m_shown;
    std::unique_ptr<EditorPlayer> m_player;
    QString m_path;
    QStringList m_openProblems;    // what the file held that the table did not keep
    bool m_changedOnOpen = false;  // the table differs from the file it was opened from
    QByteArray m_warnedBytes;      // the program the user agreed to play despite warnings
    int m_firstRow = 0;            // the row the run started from
};
