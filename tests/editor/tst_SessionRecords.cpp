// The editor's views of the session records: filing a record into a BIDS dataset from its
// report.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include "BidsFilingDialog.h"
#include "support/DatedRecords.h"

namespace {

QDateTime utc(const char* text) {
    return QDateTime::fromString(QLatin1String(text), Qt::ISODate).toUTC();
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
    void bidsFilingChecksLabelsFilesAndRemembers();
};

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
