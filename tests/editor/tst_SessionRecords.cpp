// The editor's views of the session records: the Sessions window's tables over a folder of
// records (what `report --list` prints, a row per record and the totals per day and week, read
// again on Refresh), and filing a record into a BIDS dataset from its report.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

#include "BidsFilingDialog.h"
#include "SessionHistoryModel.h"
#include "SessionsWindow.h"
#include "support/DatedRecords.h"

namespace {

QDateTime utc(const char* text) {
    return QDateTime::fromString(QLatin1String(text), Qt::ISODate).toUTC();
}

// The model's rows as text, cells separated by "|".
QStringList cells(const QAbstractItemModel& model) {
    QStringList rows;
    for (int row = 0; row < model.rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < model.columnCount(); ++column) {
            cells << model.index(row, column).data().toString();
        }
        rows << cells.join(QLatin1Char('|'));
    }
    return rows;
}

// Writes the record in folder; the path of its description, or empty.
QString write(const QString& folder, const DatedRecord& record) {
    QString error;
    const QString path = writeDatedRecord(folder, record, &error);
    if (path.isEmpty()) {
        qWarning("%s", qPrintable(error));
    }
    return path;
}

}  // namespace

class SessionRecordsTest : public QObject {
    Q_OBJECT

  private slots:
    void sessionsWindowListsAndRefreshes();
    void bidsFilingChecksLabelsFilesAndRemembers();
};

void SessionRecordsTest::sessionsWindowListsAndRefreshes() {
    QTemporaryDir dir;
    using How = SessionEnding::How;
    // Written newest first: the table is by start. Ten minutes of the Monday were paused.
    write(dir.path(), {QStringLiteral("b.csv"), utc("2026-12-28T10:00:00Z"), 3600, 600,
                       How::Stopped, 0.999917});
    write(dir.path(),
          {QStringLiteral("a.csv"), utc("2026-12-27T23:30:00Z"), 1800, 0, How::Finished, 1});
    QSettings settings(dir.filePath(QStringLiteral("editor.ini")), QSettings::IniFormat);
    SessionsWindow window(settings, nullptr, QTimeZone::utc());
    window.showFolder(dir.path());

    QCOMPARE(cells(window.records()),
             (QStringList{"2026-12-27|23:30:00|a.csv|0:30:00|finished|1.000000",
                          "2026-12-28|10:00:00|b.csv|0:50:00|stopped|0.999917"}));
    QCOMPARE(window.records().index(1, HistoryRowsModel::Ended).data(Qt::ToolTipRole),
             QVariant(QStringLiteral("stopped by End Program")));
    QCOMPARE(cells(window.days()), (QStringList{"2026-12-27|1|0:30:00", "2026-12-28|1|0:50:00"}));
    QCOMPARE(cells(window.weeks()), (QStringList{"2026-W52|1|0:30:00", "2026-W53|1|0:50:00"}));

    // A session recorded since, and one whose ratio is n/a, show after Refresh.
    write(dir.path(),
          {QStringLiteral("c.csv"), utc("2026-12-29T08:00:00Z"), 5, 0, How::Failed, NAN});
    QCOMPARE(window.records().rowCount(), 2);
    window.findChild<QPushButton*>(QStringLiteral("refresh"))->click();
    QCOMPARE(cells(window.records()).last(),
             QStringLiteral("2026-12-29|08:00:00|c.csv|0:00:05|failed|n/a"));
    QCOMPARE(cells(window.weeks()).last(), QStringLiteral("2026-W53|2|0:50:05"));
    QVERIFY(window.findChild<QLabel*>(QStringLiteral("summary"))
                ->text()
                .startsWith(QStringLiteral("3 record(s), 1:20:05 played")));
}

void SessionRecordsTest::bidsFilingChecksLabelsFilesAndRemembers() {
    QTemporaryDir dir;
    QString error;
    const auto record = SessionFiles::read(
        write(dir.path(), {QStringLiteral("a.csv"), utc("2026-12-27T23:30:00Z"), 60}), &error);
    QVERIFY2(record, qPrintable(error));
    QSettings settings(dir.filePath(QStringLiteral("editor.ini")), QSettings::IniFormat);
    const QString dataset = dir.filePath(QStringLiteral("study"));
    {
        BidsFilingDialog dialog(*record, settings);
        auto* file = dialog.findChild<QPushButton*>(QStringLiteral("file"));
        const auto set = [&](const char* name, const QString& text) {
            dialog.findChild<QLineEdit*>(QLatin1String(name))->setText(text);
        };
        set("dataset", dataset);
        set("subject", QStringLiteral("01"));
        set("task", QStringLiteral("light"));
        set("session", QStringLiteral("1_a"));
        // The library's reason stands in the dialog while a label is not allowed.
        QVERIFY(!file->isEnabled());
        QVERIFY2(dialog.findChild<QLabel*>(QStringLiteral("problem"))
                     ->text()
                     .contains(QStringLiteral("\"1_a\" holds other characters")),
                 qPrintable(dialog.findChild<QLabel*>(QStringLiteral("problem"))->text()));
        set("session", QString());
        dialog.findChild<QSpinBox*>(QStringLiteral("run"))->setValue(2);
        file->click();
        QVERIFY2(dialog.outcome().startsWith(QStringLiteral("filed: ")),
                 qPrintable(dialog.outcome()));
        QVERIFY(QFileInfo::exists(
            dataset + QStringLiteral("/sub-01/beh/sub-01_task-light_run-2_events.tsv")));
        // The same run again is the library's refusal, shown.
        QVERIFY(!dialog.fileRecord());
        QVERIFY2(dialog.outcome().startsWith(QStringLiteral("Not filed: ")),
                 qPrintable(dialog.outcome()));
    }
    // The next record's dialog starts from the folder and labels of the last filing.
    BidsFilingDialog next(*record, settings);
    QCOMPARE(next.findChild<QLineEdit*>(QStringLiteral("dataset"))->text(),
             QDir::toNativeSeparators(dataset));
    QCOMPARE(next.findChild<QLineEdit*>(QStringLiteral("subject"))->text(), QStringLiteral("01"));
    QCOMPARE(next.findChild<QSpinBox*>(QStringLiteral("run"))->value(), 2);
}

QTEST_MAIN(SessionRecordsTest)
#include "tst_SessionRecords.moc"
