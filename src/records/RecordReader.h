#pragma once

#include <QJsonObject>
#include <QString>
#include <optional>
#include <vector>

#include "records/SessionSummary.h"

// Reads a session record back from its files: the description, the events table and, on
// request, the frames table. Columns are found by their header names, so a record written
// before a column was added reads with that column as n/a.
namespace SessionFiles {

// A record read back from its files.
struct Loaded {
    QString jsonPath;
    QJsonObject json;                  // the record's description
    std::vector<SessionEvent> events;  // the events table
    SessionTotals totals;              // the description's Summary
};

// Reads the record whose JSON file is path, or, for a folder, the newest record in it.
// Returns nothing with the reason in error.
std::optional<Loaded> read(const QString& path, QString* error);

// The path of one of a loaded record's files, as its description names it under Files (key:
// Events, EventsSidecar or Frames), from the folder of the description.
QString filePath(const Loaded& loaded, QLatin1String key);

// One row of the frames table as read back.
struct FrameRow {
    double due = SessionEvent::NotApplicable;  // NaN: not paced
    double called = 0;
    double returned = 0;
    int result = 0;
    QString lead;     // "SOH" or "STX"
    int address = 0;  // the address byte
    QString colour;   // RRGGBB
    int lit = -1;     // 1 lit, 0 dark, -1 not the player's
    int hz = 0;       // the frequency asked, 0: none
    int line = 0;     // the program line, 0: none
};

// Reads the frames table of a loaded record (gzipped or not). Returns nothing with the reason
// in error.
std::optional<std::vector<FrameRow>> readFrames(const Loaded& loaded, QString* error);

}  // namespace SessionFiles
