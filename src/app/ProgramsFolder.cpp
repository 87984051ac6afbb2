#include "app/ProgramsFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <utility>

#include "core/BuildInfo.h"
#include "settings/InstallLocation.h"
#include "settings/ProcessINIFile.h"

ProgramsFolder::ProgramsFolder(QString userFolder, QString examplesFolder)
    : m_userFolder(std::move(userFolder)), m_examplesFolder(std::move(examplesFolder)) {}

ProgramsFolder ProgramsFolder::forApplication() {
    const QString userFolder = InstallLocation::programsFolder();
    QString examplesFolder;
    if (QCoreApplication::instance() != nullptr) {
        examplesFolder = QDir::cleanPath(QDir(QCoreApplication::applicationDirPath())
                                             .filePath(QLatin1String(ExamplesFromProgramFolder)));
    }
    return ProgramsFolder(userFolder, examplesFolder);
}

QString ProgramsFolder::dialogFolder(const ProcessINIFile& settings) const {
    if (settings.savesInProgramFolder() || m_userFolder.isEmpty()) {
        return settings.programFolder();
    }
    if (!QFileInfo(m_userFolder).isDir()) {
        if (!QDir().mkpath(m_userFolder)) {
            return settings.programFolder();
        }
        seed();
    }
    return m_userFolder;
}

void ProgramsFolder::seed() const {
    if (m_examplesFolder.isEmpty()) {
        return;
    }
    // Name filters match without regard to letter case, as the dialog lists programs.
    const QDir examples(m_examplesFolder, QStringLiteral("*.csv"), QDir::Name, QDir::Files);
    for (const QString& name : examples.entryList()) {
        const QString copy = QDir(m_userFolder).filePath(name);
        // The copy belongs to the user, to change as they like, whatever the installed file's
        // permissions are.
        if (QFile::copy(examples.filePath(name), copy)) {
            QFile::setPermissions(
                copy, QFile::permissions(copy) | QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        }
    }
}
