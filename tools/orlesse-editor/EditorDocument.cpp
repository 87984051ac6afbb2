#include "EditorDocument.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QUndoStack>

#include "SegmentModel.h"
#include "programs/ProgramError.h"
#include "programs/ProgramReader.h"

namespace {

constexpr int MaxRecentFiles = 8;
const QString RecentFilesKey = QStringLiteral("files/recent");

}  // namespace

EditorDocument::EditorDocument(QSettings& settings, const QString& programsFolder, Dialogs& dialogs,
                               QObject* parent)
    : QObject(parent), m_settings(settings), m_programsFolder(programsFolder), m_dialogs(dialogs) {
    m_undo = new QUndoStack(this);
    m_model = new SegmentModel(*m_undo, this);
    connect(m_undo, &QUndoStack::cleanChanged, this, &EditorDocument::titleChanged);
    connect(m_undo, &QUndoStack::indexChanged, this, &EditorDocument::titleChanged);
}

EditorDocument::~EditorDocument() {
    // The undo stack clears itself on its way out: that is no change to report.
    disconnect(m_undo, nullptr, this, nullptr);
}

QString EditorDocument::suggestedPath() const {
    return m_path.isEmpty() ? QDir(m_programsFolder).filePath(displayName()) : m_path;
}

QString EditorDocument::displayName() const {
    return m_path.isEmpty() ? tr("untitled.csv") : QFileInfo(m_path).fileName();
}

QByteArray EditorDocument::bytes() const {
    return m_model->table().toBytes();
}

bool EditorDocument::hasUnsavedChanges() const {
    return m_changedOnOpen || !m_undo->isClean();
}

void EditorDocument::newFile() {
    ProgramTable table;
    table.rows.append(SegmentModel::FirstRow);
    setTable(table, {}, true);
}

bool EditorDocument::open(const QString& path) {
    QByteArray bytes;
    try {
        bytes = ProgramReader::readFile(path);
    } catch (const ProgramError& failure) {
        m_dialogs.showMessage(failure.message());
        return false;
    }
    const ProgramTable table = ProgramTable::fromBytes(bytes);
    // Exactly what the table writes back: anything else is written only when the user saves.
    setTable(table, QFileInfo(path).absoluteFilePath(), table.toBytes() == bytes);
    addRecentFile(m_path);
    return true;
}

bool EditorDocument::save() {
    return m_path.isEmpty() ? saveAs() : writeFile(m_path);
}

bool EditorDocument::saveAs() {
    QString path = m_dialogs.chooseFileToSave(suggestedPath());
    if (path.isEmpty()) {
        return false;
    }
    if (QFileInfo(path).suffix().isEmpty()) {
        path += QStringLiteral(".csv");
    }
    return writeFile(path);
}

bool EditorDocument::maySetAside() {
    if (!hasUnsavedChanges()) {
        return true;
    }
    switch (m_dialogs.askAboutUnsavedChanges()) {
        case Unsaved::Save:
            return save();
        case Unsaved::Discard:
            return true;
        case Unsaved::Cancel:
            break;
    }
    return false;
}

QStringList EditorDocument::recentFiles() const {
    return m_settings.value(RecentFilesKey).toStringList();
}

void EditorDocument::setTable(const ProgramTable& table, const QString& path,
                              bool representedExactly) {
    m_path = path;
    m_openProblems = table.problems;
    m_changedOnOpen = !representedExactly;
    m_model->setTable(table);
    m_undo->setClean();
    emit replaced();
    emit titleChanged();
}

bool EditorDocument::writeFile(const QString& path) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes()) < 0 || !file.commit()) {
        m_dialogs.showMessage(
            tr("Cannot save %1: %2").arg(QDir::toNativeSeparators(path), file.errorString()));
        return false;
    }
    m_path = QFileInfo(path).absoluteFilePath();
    m_changedOnOpen = false;
    m_openProblems.clear();
    m_undo->setClean();
    addRecentFile(m_path);
    emit titleChanged();
    emit saved();
    return true;
}

void EditorDocument::addRecentFile(const QString& path) {
    QStringList recent = recentFiles();
    recent.removeAll(path);
    recent.prepend(path);
    while (recent.size() > MaxRecentFiles) {
        recent.removeLast();
    }
    m_settings.setValue(RecentFilesKey, recent);
    emit recentFilesChanged();
}
