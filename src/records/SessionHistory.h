#pragma once

#include <QDate>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QTimeZone>
#include <optional>
#include <vector>

// The history of the sessions recorded in a folder: a row per record, and the time played per
// day and per ISO week, for plans such as an hour a day for six weeks. It reads only the
// records' descriptions (_record.json), which hold the start, the program, the totals and how
// the run ended, so a folder of a thousand records reads in well under a second.

// One record, as a row of the history.
struct HistoryRow {
    QString recordPath;  // its _record.json
    QDateTime start;     // the first frame, in the history's time zone
    QString program;     // the program file's name
    // From the first frame to the end of the records, paused time left out (seconds).
    double playedSeconds = 0;
    QString ended;      // how the run ended, as the record names it: finished, stopped ...
    QString endedText;  // the same in words: "played to the end", "Line 3: ..."
    double ratio = 0;   // cycles delivered over cycles asked over the run; NaN: n/a
};

// The time played in one day or one ISO week.
struct HistoryTotal {
    QDate first;   // the day, or the Monday of the week
    QString name;  // "2026-12-08", or "2026-W50" (the ISO week's year and number)
    int sessions = 0;
    double playedSeconds = 0;
};

// What a folder of records holds, ready for a table: rows by start, then the totals of each
// day and week that has a record (a session counts on the day and week it started).
struct SessionHistory {
    QString folder;
    QTimeZone zone;  // the zone the dates and times are in
    std::vector<HistoryRow> rows;
    std::vector<HistoryTotal> days;
    std::vector<HistoryTotal> weeks;
    QStringList unreadable;  // records that could not be read: "path: reason"
};

// Reads the history of the records in folder, dated in zone (the computer's own by default).
// Returns nothing, with the reason in error, for a folder that cannot be listed.
std::optional<SessionHistory> readHistory(const QString& folder, QString* error,
                                          const QTimeZone& zone = QTimeZone::systemTimeZone());

// A row's ratio as the history shows it: six decimals, or "n/a".
QString historyRatioText(double ratio);

// The history as text: the table of records, then the totals per day and per week.
QStringList historyLines(const SessionHistory& history);

// The history as JSON (Records, Days, Weeks, Unreadable), for scripts.
QJsonObject historyJson(const SessionHistory& history);
