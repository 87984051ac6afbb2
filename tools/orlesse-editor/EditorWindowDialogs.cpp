// The editor's answers to the questions of its parts, with message boxes and file dialogs, and
// the windows it opens over the session records. Tests and the benchmark replace the answers.
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStatusBar>

#include "EditorWindow.h"
#include "ReportDialog.h"
#include "SafetyNotice.h"
#include "SessionsWindow.h"

QString EditorWindow::applicationTitle() {
    return QStringLiteral("Orlesse Editor");
}

void EditorWindow::openRecordReport() {
    const QString path =
        QFileDialog::getOpenFileName(this, tr("Open Session Record"), m_bar->recordFolder(),
                                     tr("Session records (*_record.json);;All files (*)"));
    if (!path.isEmpty()) {
        ReportDialog::showModal(path, m_settings, this);
    }
}

void EditorWindow::showSessions() {
    if (!m_sessions) {
        m_sessions = new SessionsWindow(m_settings, this);
    }
    m_sessions->showFolder(m_bar->recordFolder());
    m_sessions->show();
    m_sessions->raise();
    m_sessions->activateWindow();
}

EditorWindow::Unsaved EditorWindow::askAboutUnsavedChanges() {
    const QMessageBox::StandardButton answer = QMessageBox::question(
        this, applicationTitle(),
        tr("%1 has changes that are not saved. Save them?").arg(m_document->displayName()),
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    if (answer == QMessageBox::Save) {
        return Unsaved::Save;
    }
    return answer == QMessageBox::Discard ? Unsaved::Discard : Unsaved::Cancel;
}

bool EditorWindow::acknowledgeSafetyNotice() {
    return SafetyNotice::showOnFirstStart(m_settings, this);
}

bool EditorWindow::askToPlayWithWarnings(const QString& warnings) {
    return QMessageBox::question(this, applicationTitle(),
                                 tr("The program plays, but not as written:\n\n%1\n\nPlay it "
                                    "all the same?")
                                     .arg(warnings)) == QMessageBox::Yes;
}

bool EditorWindow::askToPlayWithoutRecorder(const QString& stream) {
    return QMessageBox::question(
               this, applicationTitle(),
               tr("No recorder is connected to the marker stream \"%1\": markers sent now "
                  "reach no recorder.\n\nPlay all the same?")
                   .arg(stream)) == QMessageBox::Yes;
}

void EditorWindow::showMessage(const QString& text) {
    QMessageBox::information(this, applicationTitle(), text);
}

void EditorWindow::showStatus(const QString& text) {
    statusBar()->showMessage(text, 5000);
}

QString EditorWindow::chooseFileToOpen(const QString& folder) {
    return QFileDialog::getOpenFileName(this, tr("Open Light Program"), folder,
                                        tr("Light programs (*.csv *.CSV);;All files (*)"));
}

QString EditorWindow::chooseFileToSave(const QString& suggestion) {
    return QFileDialog::getSaveFileName(this, tr("Save Light Program"), suggestion,
                                        tr("Light programs (*.csv *.CSV);;All files (*)"));
}

QString EditorWindow::chooseRecordFolder(const QString& folder) {
    return QFileDialog::getExistingDirectory(this, tr("Folder of the Session Records"), folder);
}

void EditorWindow::offerReport(const QString& jsonPath) {
    if (m_sessions && m_sessions->isVisible()) {
        m_sessions->refresh();
    }
    const QMessageBox::StandardButton answer = QMessageBox::question(
        this, applicationTitle(),
        tr("The session record is in %1.\n\nOpen its report?")
            .arg(QDir::toNativeSeparators(QFileInfo(jsonPath).absolutePath())));
    if (answer == QMessageBox::Yes) {
        ReportDialog::showModal(jsonPath, m_settings, this);
    }
}
