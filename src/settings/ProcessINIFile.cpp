#include "settings/ProcessINIFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>
#include <algorithm>
#include <cstdint>
#include <utility>

#include "core/Blanks.h"
#include "settings/InstallLocation.h"
#include "settings/ProfileFile.h"

namespace {

int digitValue(QChar c) {
    return (c >= u'0' && c <= u'9') ? c.unicode() - u'0' : -1;
}

}  // namespace

ProcessINIFile::ProcessINIFile(QString programFolder, QString fallbackFolder,
                               FolderCheck folderWritable, QString installFolder)
    : m_programFolder(std::move(programFolder)),
      m_fallbackFolder(std::move(fallbackFolder)),
      m_folderWritable(folderWritable ? std::move(folderWritable) : FolderCheck(isWritableFolder)),
      m_installFolder(std::move(installFolder)),
      m_installed(isInstallFolder(m_programFolder, m_installFolder)) {}

ProcessINIFile ProcessINIFile::forApplication() {
    // applicationDirPath needs the application object; without one there is no program folder
    // and the settings live in the fallback folder.
    QString programFolder;
    if (QCoreApplication::instance() != nullptr) {
        programFolder = QCoreApplication::applicationDirPath();
    }
    return ProcessINIFile(programFolder, InstallLocation::settingsFolder(), {},
                          InstallLocation::programFolder());
}

QString ProcessINIFile::programFile() const {
    return m_programFolder.isEmpty() ? QString() : QDir(m_programFolder).filePath(FileName);
}

QString ProcessINIFile::fallbackFile() const {
    return m_fallbackFolder.isEmpty() ? QString() : QDir(m_fallbackFolder).filePath(FileName);
}

bool ProcessINIFile::isWritableFolder(const QString& folder) {
    if (folder.isEmpty()) {
        return false;
    }
    const QFileInfo info(folder);
    if (!info.isDir() || !info.isWritable()) {
        return false;
    }
    // A settings file that is there already must itself be a file we may replace.
    const QFileInfo file(QDir(folder).filePath(FileName));
    if (file.exists() && !(file.isFile() && file.isWritable())) {
        return false;
    }
    // Permission bits do not tell everything (a read-only mount, access rules): try it.
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".corvexa-probe-XXXXXX")));
    return probe.open();
}

bool ProcessINIFile::isInstallFolder(const QString& folder, const QString& installFolder) {
    if (folder.isEmpty() || installFolder.isEmpty()) {
        return false;
    }
    // Empty for a folder that does not exist, which no program runs from.
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(installFolder).canonicalFilePath();
}

bool ProcessINIFile::savesInProgramFolder() const {
    return !m_programFolder.isEmpty() && !m_installed && m_folderWritable(m_programFolder);
}

QString ProcessINIFile::path() const {
    return savesInProgramFolder() ? programFile() : fallbackFile();
}

QString ProcessINIFile::readPath() const {
    if (savesInProgramFolder()) {
        return programFile();
    }
    const QString fallback = fallbackFile();
    if (!fallback.isEmpty() && QFileInfo::exists(fallback)) {
        return fallback;
    }
    return programFile();
}

QString ProcessINIFile::ReadIniValue(const QString& section, const QString& key,
                                     const QString& defaultValue) const {
    return ProfileFile::GetPrivateProfileString(section, key, defaultValue, readPath());
}

bool ProcessINIFile::WriteIniValue(const QString& section, const QString& key,
                                   const QString& value) const {
    const QString target = path();
    if (target.isEmpty()) {
        return false;
    }
    if (target == fallbackFile() && !QDir().mkpath(m_fallbackFolder)) {
        return false;
    }
    return ProfileFile::WritePrivateProfileString(section, key, value, target);
}

void ProcessINIFile::LoadSettings(Settings& settings) const {
    for (const SettingEntry& entry : SettingTable) {
        const QString text =
            ReadIniValue(QString::fromLatin1(entry.section), QString::fromLatin1(entry.key),
                         QString::number(entry.defaultValue));
        settings.*entry.field = CInt(text).value_or(entry.defaultValue);
    }
}

bool ProcessINIFile::SaveSettings(const Settings& settings) const {
    bool allSaved = true;
    for (const SettingEntry& entry : SettingTable) {
        allSaved &= WriteIniValue(QString::fromLatin1(entry.section),
                                  QString::fromLatin1(entry.key), Str(settings.*entry.field));
    }
    return allSaved;
}

QString Str(int value) {
    const QString digits = QString::number(value);
    return value >= 0 ? QLatin1Char(' ') + digits : digits;
}

std::optional<int16_t> CInt(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    Blanks::trimRange(text, begin, end);
    qsizetype i = begin;
    bool negative = false;
    if (i < end && (text.at(i) == u'+' || text.at(i) == u'-')) {
        negative = text.at(i) == u'-';
        ++i;
    }

    // The whole part, capped well above the 16-bit range so long digit strings cannot overflow.
    constexpr int Cap = 1'000'000;
    int whole = 0;
    bool anyDigit = false;
    for (; i < end && digitValue(text.at(i)) >= 0; ++i) {
        anyDigit = true;
        whole = std::min(whole * 10 + digitValue(text.at(i)), Cap);
    }

    // The fraction only decides the rounding: its first digit, and whether any later one is
    // not zero (which turns an apparent half into more than a half).
    int firstFractionDigit = -1;
    bool laterNonZero = false;
    if (i < end && text.at(i) == u'.') {
        ++i;
        for (; i < end && digitValue(text.at(i)) >= 0; ++i) {
            anyDigit = true;
            const int digit = digitValue(text.at(i));
            if (firstFractionDigit < 0) {
                firstFractionDigit = digit;
            } else if (digit != 0) {
                laterNonZero = true;
            }
        }
    }
    if (!anyDigit || i != end) {
        return std::nullopt;
    }

    const bool roundUp =
        firstFractionDigit > 5 || (firstFractionDigit == 5 && (laterNonZero || whole % 2 == 1));
    const int magnitude = whole + (roundUp ? 1 : 0);
    const int value = negative ? -magnitude : magnitude;
    if (value < INT16_MIN || value > INT16_MAX) {
        return std::nullopt;
    }
    return static_cast<int16_t>(value);
}
