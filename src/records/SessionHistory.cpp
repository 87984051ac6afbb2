#include "records/SessionHistory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

#include "core/ClockText.h"
#include "records/RecordSchema.h"

namespace {

using namespace RecordSchema;

// The row of one record's description; nothing, with the reason in error, for a file that
// is no record.
std::optional<HistoryRow> rowOf(const QString& path, const QTimeZone& zone, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return std::nullopt;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (!document.isObject()) {
        *error = parseError.errorString();
        return std::nullopt;
    }
    const QJsonObject json = document.object();
    const QDateTime start =
        QDateTime::fromString(json.value(Key::StartTime).toString(), Qt::ISODateWithMs);
    if (!start.isValid()) {
        *error = QStringLiteral("no %1").arg(Key::StartTime);
        return std::nullopt;
    }
    const QJsonObject summary = json.value(Key::Summary).toObject();
    const QJsonObject ended = json.value(Key::Ended).toObject();
    const QJsonValue ratio = summary.value(Key::Ratio);
    HistoryRow row;
    row.recordPath = path;
    row.start = start.toTimeZone(zone);
    row.program = json.value(Key::Program).toObject().value(Key::FileName).toString();
    row.playedSeconds = std::max(
        summary.value(Key::Seconds).toDouble() - summary.value(Key::HeldSeconds).toDouble(), 0.0);
    row.ended = ended.value(Key::How).toString();
    row.endedText = ended.value(Key::Text).toString();
    row.ratio = ratio.isDouble() ? ratio.toDouble() : std::numeric_limits<double>::quiet_NaN();
    return row;
}

// The totals of the rows, grouped by key (a date, sorted), each named by name.
template <typename KeyOf, typename NameOf>
std::vector<HistoryTotal> totals(const std::vector<HistoryRow>& rows, KeyOf keyOf, NameOf nameOf) {
    std::map<QDate, HistoryTotal> byKey;
    for (const HistoryRow& row : rows) {
        const QDate key = keyOf(row.start.date());
        HistoryTotal& total = byKey[key];
        total.first = key;
        total.name = nameOf(key);
        ++total.sessions;
        total.playedSeconds += row.playedSeconds;
    }
    std::vector<HistoryTotal> result;
    result.reserve(byKey.size());
    for (auto& [key, total] : byKey) {
        result.push_back(std::move(total));
    }
    return result;
}

QString isoWeekName(QDate monday) {
    int year = 0;
    const int week = monday.weekNumber(&year);
    return QStringLiteral("%1-W%2").arg(year).arg(week, 2, 10, QLatin1Char('0'));
}

QJsonArray totalsJson(const std::vector<HistoryTotal>& totals, QLatin1String key) {
    QJsonArray array;
    for (const HistoryTotal& total : totals) {
        array.append(QJsonObject{{key, total.name},
                                 {Key::Sessions, total.sessions},
                                 {Key::PlayedSeconds, total.playedSeconds}});
    }
    return array;
}

}  // namespace

QString historyRatioText(double ratio) {
    return std::isnan(ratio) ? QString(NotApplicable) : QString::number(ratio, 'f', 6);
}

std::optional<SessionHistory> readHistory(const QString& folder, QString* error,
                                          const QTimeZone& zone) {
    const QDir dir(folder);
    if (!QFileInfo(folder).isDir()) {
        *error = QStringLiteral("%1 is no folder").arg(folder);
        return std::nullopt;
    }
    SessionHistory history;
    history.folder = folder;
    history.zone = zone;
    const QStringList names =
        dir.entryList({QLatin1Char('*') + Suffix::Record}, QDir::Files, QDir::Name);
    history.rows.reserve(static_cast<size_t>(names.size()));
    for (const QString& name : names) {
        const QString path = dir.filePath(name);
        QString reason;
        if (std::optional<HistoryRow> row = rowOf(path, zone, &reason)) {
            history.rows.push_back(std::move(*row));
        } else {
            history.unreadable << QStringLiteral("%1: %2").arg(path, reason);
        }
    }
    std::stable_sort(history.rows.begin(), history.rows.end(),
                     [](const HistoryRow& a, const HistoryRow& b) { return a.start < b.start; });
    history.days = totals(
        history.rows, [](QDate day) { return day; },
        [](QDate day) { return day.toString(Qt::ISODate); });
    history.weeks = totals(
        history.rows, [](QDate day) { return day.addDays(1 - day.dayOfWeek()); }, isoWeekName);
    return history;
}

QStringList historyLines(const SessionHistory& history) {
    QStringList lines;
    if (history.rows.empty()) {
        lines << QStringLiteral("%1 holds no record (*%2)")
                     .arg(QDir::toNativeSeparators(history.folder), Suffix::Record);
    } else {
        qsizetype programWidth = 7;
        for (const HistoryRow& row : history.rows) {
            programWidth = std::max(programWidth, row.program.size());
        }
        lines << QStringLiteral("date        time      %1   played  ended        ratio")
                     .arg(QStringLiteral("program"), -static_cast<int>(programWidth));
        double played = 0;
        for (const HistoryRow& row : history.rows) {
            played += row.playedSeconds;
            lines << QStringLiteral("%1  %2  %3  %4  %5  %6")
                         .arg(row.start.toString(QStringLiteral("yyyy-MM-dd")),
                              row.start.toString(QStringLiteral("HH:mm:ss")))
                         .arg(row.program, -static_cast<int>(programWidth))
                         .arg(clockText(row.playedSeconds), 7)
                         .arg(row.ended, -8)
                         .arg(historyRatioText(row.ratio), 8);
        }
        lines << QStringLiteral("total: %1 record(s), %2 played")
                     .arg(history.rows.size())
                     .arg(clockText(played));
        for (const auto& [title, periods] :
             {std::pair{QStringLiteral("per day"), &history.days},
              std::pair{QStringLiteral("per ISO week (Monday to Sunday)"), &history.weeks}}) {
            lines << QString() << title + QLatin1Char(':');
            for (const HistoryTotal& total : *periods) {
                lines << QStringLiteral("%1  %2 session(s)  %3")
                             .arg(total.name, -10)
                             .arg(total.sessions, 3)
                             .arg(clockText(total.playedSeconds), 8);
            }
        }
    }
    for (const QString& unreadable : history.unreadable) {
        lines << QStringLiteral("not read: %1").arg(unreadable);
    }
    return lines;
}

QJsonObject historyJson(const SessionHistory& history) {
    QJsonArray records;
    for (const HistoryRow& row : history.rows) {
        records.append(QJsonObject{
            {Key::Record, row.recordPath},
            {Key::StartTime, row.start.toString(Qt::ISODate)},
            {Key::Program, row.program},
            {Key::PlayedSeconds, row.playedSeconds},
            {Key::Ended, row.ended},
            {Key::EndedText, row.endedText},
            {Key::Ratio, std::isnan(row.ratio) ? QJsonValue() : QJsonValue(row.ratio)},
        });
    }
    return QJsonObject{{Key::Records, records},
                       {Key::Days, totalsJson(history.days, Key::Day)},
                       {Key::Weeks, totalsJson(history.weeks, Key::Week)},
                       {Key::Unreadable, QJsonArray::fromStringList(history.unreadable)}};
}
