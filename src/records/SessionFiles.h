#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "records/SessionRecord.h"

// The files of a session record, side by side in one folder, named <program>_<start>_... with
// <start> the UTC time of the first frame (20261208T142530Z):
//   _events.tsv   the events table in the BIDS layout: a row per segment, device loss and
//                 return, stall, and the end;
//   _frames.tsv   a row per frame written; gzipped (_frames.tsv.gz) past GzipAbove bytes;
//   _record.json  what played where, on what, and how the run ended, with the totals.
// Times in the tables are seconds of the monotonic clock from the first frame.
namespace SessionFiles {

// The frames table is gzipped when its text would be larger than this.
inline constexpr qsizetype GzipAbove = 4 * 1024 * 1024;

// The columns of the events table and of the frames table, in order.
const QStringList& eventColumns();
const QStringList& frameColumns();

// What TimestampMeaning says in every record.
QString timestampMeaning();

// Makes folder when it is missing and checks that a file can be created in it, so that a run
// is refused before it starts rather than losing its record at the end. On failure returns
// false with the reason in error.
bool prepareFolder(const QString& folder, QString* error);

// The paths of a record's three files.
struct Paths {
    QString events;
    QString frames;
    QString json;
};

// Writes the record's three files in folder, under a name of their own (a suffix -2, -3 ...
// when a record of the same program and second is there already). Returns the paths, or
// nothing with the reason in error.
std::optional<Paths> write(const SessionRecord& record, const SessionSummary& summary,
                           const QString& folder, QString* error);

// The record's description as written to its JSON file.
QJsonObject describe(const SessionRecord& record, const SessionSummary& summary,
                     const Paths& paths);

// The events table's text.
QByteArray eventsText(const std::vector<SessionEvent>& events);
// The frames table's text (before any gzip).
QByteArray framesText(const SessionRecord& record);

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

// The totals as JSON (NaN as null), as in the description's Summary.
QJsonObject totalsJson(const SessionTotals& totals);
// One event as JSON, with the column names as keys (n/a as null).
QJsonObject eventJson(const SessionEvent& event);

// gzip of bytes, and bytes of a gzip or zlib stream (nothing when it is broken).
QByteArray gzip(const QByteArray& bytes);
std::optional<QByteArray> gunzip(const QByteArray& bytes);

}  // namespace SessionFiles
