#pragma once

#include <QString>

class ProcessINIFile;

// Where Start Program's dialog opens. A copy of the program in a folder it can write keeps its
// light programs beside itself, as it keeps its settings there. An installed one, and one whose
// folder cannot be written, opens the per-user programs folder instead; that folder is created
// the first time it is needed and filled with copies of the installed example programs.
class ProgramsFolder {
  public:
    // userFolder is the per-user programs folder, examplesFolder the installed examples.
    ProgramsFolder(QString userFolder, QString examplesFolder);

    // The folders for this process: InstallLocation::programsFolder(), and the examples
    // installed beside the executable's folder (share/orlesse/programs under the prefix, the
    // programs folder beside the executable on Windows).
    static ProgramsFolder forApplication();

    // The dialog's folder: the settings' program folder while the settings are saved there,
    // otherwise the per-user folder. A per-user folder that does not exist yet is created and
    // given a writable copy of every *.csv file of the examples folder; an existing one is left
    // as it is. When it cannot be created the dialog opens in the program folder.
    QString dialogFolder(const ProcessINIFile& settings) const;

    // The folders the object was given.
    const QString& userFolder() const { return m_userFolder; }
    const QString& examplesFolder() const { return m_examplesFolder; }

  private:
    // Copies the examples into the freshly created per-user folder.
    void seed() const;

    QString m_userFolder;
    QString m_examplesFolder;
};
