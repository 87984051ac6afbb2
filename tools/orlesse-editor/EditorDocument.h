#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include "programs/ProgramTable.h"

class QSettings;
class QUndoStack;
class SegmentModel;

// The program the editor works on: its table with undo and redo, the file it came from,
// whether it has changes not saved, and the recent files (kept in the editor's settings). A
// file the table does not represent exactly counts as changed from the start: it is written
// back only when the user saves. What it asks the user goes through Dialogs.
class EditorDocument final : public QObject {
    Q_OBJECT

  public:
    // The answers to the question before unsaved changes are lost.
    enum class Unsaved { Save, Discard, Cancel };

    // The questions of New, Open, Save and closing: the window answers with its dialogs.
    class Dialogs {
      public:
        virtual ~Dialogs() = default;
        virtual Unsaved askAboutUnsavedChanges() = 0;
        // The path to save to, starting from suggestion; empty when the user cancels.
        virtual QString chooseFileToSave(const QString& suggestion) = 0;
        virtual void showMessage(const QString& text) = 0;
    };

    // A new file is first saved in programsFolder.
    EditorDocument(QSettings& settings, const QString& programsFolder, Dialogs& dialogs,
                   QObject* parent = nullptr);
    ~EditorDocument() override;

    SegmentModel& model() { return *m_model; }
    const SegmentModel& model() const { return *m_model; }
    QUndoStack& undoStack() { return *m_undo; }

    // The file's path, empty for a new one.
    const QString& path() const { return m_path; }
    // The file's path, or where a new one is first suggested to be saved.
    QString suggestedPath() const;
    // The file's name, "untitled.csv" for a new one.
    QString displayName() const;
    // The file as it would be saved now.
    QByteArray bytes() const;
    bool hasUnsavedChanges() const;
    // What the opened file held that the table did not keep, until the table is saved.
    const QStringList& openProblems() const { return m_openProblems; }

    // Starts a new program of one row.
    void newFile();
    // Opens a program file; false (with a message) when it cannot be read.
    bool open(const QString& path);
    // Saves to the file's path, or asks for one; false when nothing was saved.
    bool save();
    // Asks for a path and saves there; a path without a suffix gets ".csv".
    bool saveAs();
    // Whether the program may make way for another, or the editor close: with changes not
    // saved, asks whether to save them first.
    bool maySetAside();

    // The files opened or saved last, newest first.
    QStringList recentFiles() const;

  signals:
    // The whole table was replaced: a new program or a file opened.
    void replaced();
    void saved();
    // The file's name, or whether it has changes not saved, may have changed.
    void titleChanged();
    void recentFilesChanged();

  private:
    void setTable(const ProgramTable& table, const QString& path, bool representedExactly);
    bool writeFile(const QString& path);
    void addRecentFile(const QString& path);

    QSettings& m_settings;
    QString m_programsFolder;
    Dialogs& m_dialogs;
    QUndoStack* m_undo = nullptr;
    SegmentModel* m_model = nullptr;
    QString m_path;
    QStringList m_openProblems;
    bool m_changedOnOpen = false;  // the table differs from the file it was opened from
};
