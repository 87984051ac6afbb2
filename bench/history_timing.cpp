// history_timing: how long the history of a folder of session records takes to read.
//
// Writes a folder of records (1000 unless --records says otherwise: a session a day for almost
// three years) with the session writer, then times, five times each on the real clock, what
// the history must do at least and the history itself, and prints the medians:
//   list   listing the folder's record descriptions (*_record.json)
//   read   reading the bytes of every description
//   history  readHistory: every description parsed, the rows, the totals per day and week
//   history_timing [--records N]
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <functional>
#include <vector>

#include "records/RecordSchema.h"
#include "records/SessionHistory.h"
#include "support/DatedRecords.h"

namespace {

constexpr int Repetitions = 5;

// The median of Repetitions runs of work, in milliseconds.
double medianMs(const std::function<void()>& work) {
    std::vector<double> times;
    for (int i = 0; i < Repetitions; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const QStringList args = app.arguments();
    int count = 1000;
    if (const qsizetype at = args.indexOf(QStringLiteral("--records")); at > 0) {
        count = at + 1 < args.size() ? args[at + 1].toInt() : 0;
    }
    if (count < 1) {
        out << "usage: history_timing [--records N]\n";
        return 2;
    }

    // A program of thirty segments, as the description of each record holds it whole.
    QByteArray program = "Segment,Start Hz,End Hz,Start level,End level,Seconds\r\n";
    for (int segment = 1; segment <= 30; ++segment) {
        program += QByteArray::number(segment) + ",40,40,255,255,120\r\n";
    }
    QTemporaryDir dir;
    const QDateTime first = QDateTime(QDate(2026, 1, 5), QTime(18, 0), QTimeZone::utc());
    QString error;
    for (int i = 0; i < count; ++i) {
        DatedRecord record;
        record.program = QStringLiteral("plan-%1.csv").arg(i % 7);
        record.text = program;
        record.start = first.addDays(i).addSecs((i % 5) * 600);
        record.seconds = 3600;
        record.held = (i % 3) * 60;
        if (writeDatedRecord(dir.path(), record, &error).isEmpty()) {
            out << "cannot write the records: " << error << '\n';
            return 1;
        }
    }

    const QStringList filter{QLatin1Char('*') + RecordSchema::Suffix::Record};
    qsizetype listed = 0;
    const double listMs = medianMs(
        [&] { listed = QDir(dir.path()).entryList(filter, QDir::Files, QDir::Name).size(); });
    qint64 bytes = 0;
    const double readMs = medianMs([&] {
        bytes = 0;
        const QDir folder(dir.path());
        for (const QString& name : folder.entryList(filter, QDir::Files, QDir::Name)) {
            QFile file(folder.filePath(name));
            if (file.open(QIODevice::ReadOnly)) {
                bytes += file.readAll().size();
            }
        }
    });
    size_t rows = 0;
    const double historyMs = medianMs([&] {
        const std::optional<SessionHistory> history = readHistory(dir.path(), &error);
        rows = history ? history->rows.size() : 0;
    });
    if (listed != count || rows != static_cast<size_t>(count)) {
        out << "the history has " << rows << " of " << count << " records\n";
        return 1;
    }

    out << QStringLiteral("%1 records, %2 KiB of descriptions; median of %3 runs\n")
               .arg(count)
               .arg(bytes / 1024)
               .arg(Repetitions);
    out << QStringLiteral("list      %1 ms\n").arg(listMs, 8, 'f', 2);
    out << QStringLiteral("read      %1 ms  (%2 x list)\n")
               .arg(readMs, 8, 'f', 2)
               .arg(readMs / listMs, 0, 'f', 1);
    out << QStringLiteral("history   %1 ms  (%2 x list, %3 x read)\n")
               .arg(historyMs, 8, 'f', 2)
               .arg(historyMs / listMs, 0, 'f', 1)
               .arg(historyMs / readMs, 0, 'f', 1);
    out << (historyMs < 1000.0 ? "under a second\n" : "a second or more: too slow\n");
    return historyMs < 1000.0 ? 0 : 1;
}
