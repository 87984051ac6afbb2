#pragma once

#include <QString>

#include "light/OperationContext.h"

// "Start Program" and "End Program": a light program chosen in the open-file dialog is played
// record by record through the segment player, then the device is darkened.
class ProgramRunner {
  public:
    // The file filter of the open-file dialog.
    static inline const QString DialogFilter =
        QStringLiteral("Keldara Program|*.CSV|All Files|*.*");

    // programFolder is the executable's folder, where the dialog starts.
    ProgramRunner(const OperationContext& context, QString programFolder);

    // Chooses a program file and plays it; returns when the run is over or the dialog was
    // cancelled. A run that fails ends with the dark frame and a message naming the line.
    void cmdProgramStart_Click();

    // Ends a playing program within the wait of its current segment.
    void cndProgramEnd_Click();

    // Keeps a session record of every run from now on, written in folder when the run ends (a
    // record that cannot be written is reported in a message); an empty folder keeps none.
    // Returns false, with the reason in error, when the folder cannot be written, and then
    // keeps none.
    bool setRecordFolder(const QString& folder, QString* error = nullptr);

  private:
    OperationContext m_context;
    QString m_programFolder;
    QString m_recordFolder;
};
