// The history of a folder of records written with chosen dates: rows by start, the time played
// with pauses left out, and the totals per local day and ISO week, in several time zones.
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

#include "records/SessionHistory.h"
#include "support/DatedRecords.h"
#include "support/TestFiles.h"

namespace {

QDateTime utc(const char* text) {
    return QDateTime::fromString(QLatin1String(text), Qt::ISODate).toUTC();
}

// Each total as "name sessions seconds".
QStringList named(const std::vector<HistoryTotal>& totals) {
    QStringList names;
    for (const HistoryTotal& total : totals) {
        names << QStringLiteral("%1 %2 %3")
                     .arg(total.name)
                     .arg(total.sessions)
                     .arg(total.playedSeconds);
    }
    return names;
}

}  // namespace

class TestSessionHistory : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void totals_data();
    void totals();

  private:
    QTemporaryDir m_dir;
};

void TestSessionHistory::initTestCase() {
    QVERIFY(m_dir.isValid());
    using How = SessionEnding::How;
    // A Sunday evening, a Monday with ten minutes paused, the Sunday ending ISO week 53 of
    // 2026 and the Monday after it; the names sort in another order than the starts.
    const DatedRecord records[] = {
        {QStringLiteral("z-evening.csv"), utc("2026-12-27T23:30:00Z"), 1800, 0, How::Finished, 1},
        {QStringLiteral("y-morning.csv"), utc("2026-12-28T10:00:00Z"), 3600, 600, How::Stopped,
         0.999},
        {QStringLiteral("x-late.csv"), utc("2027-01-03T22:30:00Z"), 2700, 0, How::Signal, 1},
        {QStringLiteral("w-broken.csv"), utc("2027-01-04T08:00:00Z"), 5, 0, How::Failed, NAN},
    };
    QString error;
    for (const DatedRecord& record : records) {
        QVERIFY2(!writeDatedRecord(m_dir.path(), record, &error).isEmpty(), qPrintable(error));
    }
    putFile(m_dir.filePath(QStringLiteral("junk_record.json")), "{");
    putFile(m_dir.filePath(QStringLiteral("notes.txt")), "not a record");
}

void TestSessionHistory::totals_data() {
    QTest::addColumn<int>("offset");  // the zone's offset from UTC, seconds
    QTest::addColumn<QStringList>("days");
    QTest::addColumn<QStringList>("weeks");
    QTest::newRow("UTC") << 0
                         << QStringList{"2026-12-27 1 1800", "2026-12-28 1 3000",
                                        "2027-01-03 1 2700", "2027-01-04 1 5"}
                         << QStringList{"2026-W52 1 1800", "2026-W53 2 5700", "2027-W01 1 5"};
    QTest::newRow("UTC+1: both evenings pass midnight")
        << 3600 << QStringList{"2026-12-28 2 4800", "2027-01-03 1 2700", "2027-01-04 1 5"}
        << QStringList{"2026-W53 3 7500", "2027-W01 1 5"};
    QTest::newRow("UTC-11: the mornings fall back a day")
        << -11 * 3600 << QStringList{"2026-12-27 2 4800", "2027-01-03 2 2705"}
        << QStringList{"2026-W52 2 4800", "2026-W53 2 2705"};
}

void TestSessionHistory::totals() {
    QFETCH(int, offset);
    QFETCH(QStringList, days);
    QFETCH(QStringList, weeks);
    QString error;
    const std::optional<SessionHistory> history =
        readHistory(m_dir.path(), &error, QTimeZone(offset));
    QVERIFY2(history, qPrintable(error));
    QCOMPARE(named(history->days), days);
    QCOMPARE(named(history->weeks), weeks);

    QStringList rows;
    for (const HistoryRow& row : history->rows) {
        QCOMPARE(row.start.offsetFromUtc(), offset);
        rows << QStringLiteral("%1 %2 %3 %4")
                    .arg(row.program)
                    .arg(row.playedSeconds)
                    .arg(row.ended, std::isnan(row.ratio) ? QStringLiteral("n/a")
                                                          : QString::number(row.ratio));
    }
    QCOMPARE(rows, (QStringList{"z-evening.csv 1800 finished 1", "y-morning.csv 3000 stopped 0.999",
                                "x-late.csv 2700 signal 1", "w-broken.csv 5 failed n/a"}));
    QCOMPARE(history->rows.back().endedText, QStringLiteral("Line 2: the start frequency is 0"));
    QCOMPARE(history->unreadable.size(), 1);
    QVERIFY(history->unreadable.first().contains(QStringLiteral("junk_record.json")));
}

QTEST_GUILESS_MAIN(TestSessionHistory)
#include "tst_SessionHistory.moc"
