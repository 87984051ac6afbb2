#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

#include "settings/Settings.h"

// The settings module: where "corvexa.ini" lies, and reading and writing the four settings.
// The file lies in the program's folder, unless that is the folder the program is installed in
// or cannot be written: then it lies in the per-user configuration folder instead. Reads then
// still see a file shipped in the program's folder until the per-user file exists.
class ProcessINIFile {
  public:
    // Name of the settings file in its folder.
    static inline const QString FileName = QStringLiteral("corvexa.ini");

    // Decides whether the settings file may be saved in a folder.
    using FolderCheck = std::function<bool(const QString& folder)>;

    // programFolder is the executable's folder, fallbackFolder the per-user configuration folder.
    // folderWritable decides whether the program folder takes the file; by default the folder
    // must exist, be writable, take a probe file, and hold no settings file that cannot be
    // replaced. installFolder is where the build installs the program: a program folder that is
    // that folder (see isInstallFolder) never takes the file, whoever runs the program.
    ProcessINIFile(QString programFolder, QString fallbackFolder, FolderCheck folderWritable = {},
                   QString installFolder = {});

    // The settings module for this process: the executable's folder, the per-user configuration
    // folder (the generic configuration folder plus "Corvexa/Orlesse") as fallback, independent
    // of the application's own names, and the build's install folder for programs.
    static ProcessINIFile forApplication();

    // Full path of the settings file that saves go to, worked out anew on every call: the
    // program folder's file when that can be written, else the fallback folder's file.
    QString path() const;
    // Full path that reads come from: path(), except that while the fallback file does not
    // exist yet the program folder's file is read.
    QString readPath() const;

    // The folders the settings module was given.
    const QString& programFolder() const { return m_programFolder; }
    const QString& fallbackFolder() const { return m_fallbackFolder; }
    const QString& installFolder() const { return m_installFolder; }

    // The default check for the program folder (see the constructor).
    static bool isWritableFolder(const QString& folder);
    // True when folder and installFolder are the same existing folder once symbolic links are
    // resolved (/bin and /usr/bin on a merged /usr, say); false when either is empty.
    static bool isInstallFolder(const QString& folder, const QString& installFolder);
    // True when the program folder takes the settings file: it is not the install folder and
    // it can be written, the latter decided anew on every call. A copy of the program anywhere
    // but its install folder, in a folder it can write, keeps all its files there (portable);
    // otherwise they go to the per-user folders. An installed program never writes its own
    // folder, not even when run by someone who may (root).
    bool savesInProgramFolder() const;

    // The value text of key in section, or defaultValue when the file, section or key is
    // missing.
    QString ReadIniValue(const QString& section, const QString& key,
                         const QString& defaultValue) const;
    // Stores value under key in section, creating the file, section or key as needed. Returns
    // false when the value could not be saved; the file is then as it was.
    bool WriteIniValue(const QString& section, const QString& key, const QString& value) const;

    // Sets the four settings from the file; a value that is not a whole number in the 16-bit
    // range counts as missing.
    void LoadSettings(Settings& settings) const;
    // Writes the four settings to the file. Returns false when any of them was not saved.
    bool SaveSettings(const Settings& settings) const;

  private:
    QString programFile() const;
    QString fallbackFile() const;

    QString m_programFolder;
    QString m_fallbackFolder;
    FolderCheck m_folderWritable;
    QString m_installFolder;
    // Whether the program folder is the install folder, fixed for the object's life.
    bool m_installed = false;
};

// A whole number as BASIC's Str writes it: a leading blank for zero and positive numbers.
QString Str(int value);

// Text read as BASIC's CInt reads it: blanks ignored, fractions rounded half to even, 16-bit
// range. Nothing when the text is not such a number.
std::optional<int16_t> CInt(const QString& text);
