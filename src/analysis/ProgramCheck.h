#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

#include "analysis/Simulation.h"

// One problem check found in a program file.
struct CheckFinding {
    enum class Kind { Error, Warning };
    Kind kind = Kind::Error;
    int line = 0;  // the file's line, counting from 1; 0 for the file as a whole
    QString text;
};

// Everything check says about one program file.
struct CheckReport {
    // Errors (what stops a run in the window) and warnings (what plays, but not as written),
    // in line order.
    QList<CheckFinding> findings;
    // What the window does with the file when it has an error: where the run ends and which
    // records it does not play. Empty when the file has no error.
    QString windowRun;
    int segments = 0;                               // records that hold six valid values
    double totalSeconds = 0;                        // their length
    std::optional<int> minFrequency, maxFrequency;  // of the frames they write, Hz
    std::optional<int> minLevel, maxLevel;          // of their lit frames, 0 to 255

    // Whether any finding is an error.
    bool hasErrors() const;
};

// The check of a program and the run of it as the window plays it, worked out together.
struct CheckedProgram {
    CheckReport report;
    ProgramTrace trace;  // the window's run on the simulated clock
};

// Checks the program in bytes line by line, going on after each error at the next line. Every
// record is played through the playback routine on the simulated clock, so the ramps,
// frequencies and failures it reports are the segment player's own: the records of the
// window's run as that run played them, the others (after an error) afterwards, in file order.
// Each record is worked out once.
CheckedProgram analyseProgram(const QByteArray& bytes);

// The check alone: analyseProgram(bytes).report.
CheckReport checkProgram(const QByteArray& bytes);

// The report as text lines for the file name: one per finding, the window's run, the summary.
QStringList formatReport(const QString& name, const CheckReport& report);
