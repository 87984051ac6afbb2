#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <optional>
#include <vector>

#include "records/RecordFolder.h"
#include "records/SessionRecord.h"
#include "records/SessionSummary.h"

// Writes a session record's files (their layout is RecordSchema's):
//   _events.tsv   the events table in the BIDS layout: a row per segment, pause, device loss
//                 and return, stall, and the end;
//   _events.json  the events table's data dictionary (BIDS): each column's long name,
//                 description and units, and the kinds of rows;
//   _frames.tsv   a row per frame written; gzipped (_frames.tsv.gz) past GzipAbove bytes;
//   _record.json  what played where, on what, and how the run ended, with the totals.
// Times in the tables are seconds of the monotonic clock from the first frame.
namespace SessionFiles {

// The frames table is gzipped when its text would be larger than this.
inline constexpr qsizetype GzipAbove = 4 * 1024 * 1024;

// What TimestampMeaning says in every record.
QString timestampMeaning();

// Writes the record's files in folder, under a name of their own (newPaths). Returns the
// paths, or nothing with the reason in error.
std::optional<Paths> write(const SessionRecord& record, const SessionSummary& summary,
                           const QString& folder, QString* error);

// The record's description as written to its JSON file.
QJsonObject describe(const SessionRecord& record, const SessionSummary& summary,
                     const Paths& paths);

// The events table's text.
QByteArray eventsText(const std::vector<SessionEvent>& events);
// The events table's data dictionary: an entry per column of the table.
QJsonObject eventsSidecar();
// The frames table's text (before any gzip).
QByteArray framesText(const SessionRecord& record);

// The totals as JSON (NaN as null), as in the description's Summary.
QJsonObject totalsJson(const SessionTotals& totals);
// One event as JSON, with the column names as keys and the values as the table has them
// (n/a as null).
QJsonObject eventJson(const SessionEvent& event);

}  // namespace SessionFiles
