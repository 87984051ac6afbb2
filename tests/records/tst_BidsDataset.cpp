// Filing session records into a BIDS dataset: the BIDS validator (the pinned bids-validator of
// tests/bids) over a dataset of runs recorded on virtual time, the filed record read back, and
// the filings refused with nothing written.
#include <QCryptographicHash>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "records/BidsDataset.h"
#include "runs/DeviceRun.h"
#include "support/Harness.h"
#include "support/TestFiles.h"

namespace {

const QByteArray Program =
    "Segment,Start Hz,End Hz,Start level,End level,Seconds\r\n"
    "1,40,40,255,255,3\r\n2,10,4,200,40,4\r\n";

// Every file under folder with a digest of its bytes: what a refused filing must leave as is.
QStringList snapshot(const QString& folder) {
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files << path + u' ' +
                     QCryptographicHash::hash(fileBytes(path), QCryptographicHash::Sha1).toHex();
    }
    files.sort();
    return files;
}

}  // namespace

class TestBidsDataset : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void validatorAccepts();
    void refuses_data();
    void refuses();

  private:
    // Plays the program on virtual time with a record kept (a pause and a lost device when
    // disturbed) and writes the record in folder; returns it read back, or nothing with the
    // reason in error.
    static std::optional<SessionFiles::Loaded> record(const QString& folder, bool disturbed,
                                                      QString* error);

    QTemporaryDir m_dir;
    std::optional<SessionFiles::Loaded> m_plain;
    std::optional<SessionFiles::Loaded> m_disturbed;
};

std::optional<SessionFiles::Loaded> TestBidsDataset::record(const QString& folder, bool disturbed,
                                                            QString* error) {
    Harness h;
    h.openPortAndClear();
    h.state.ProgramRunning = true;
    const double start = h.clock.now();
    bool holding = false;
    if (disturbed) {
        h.clock.at(start + 1.02, [&holding] { holding = true; });
        h.clock.at(start + 2.5, [&holding] { holding = false; });
        h.clock.at(start + 4.0, [&h] { h.serial.failWith(QStringLiteral("SioPuts"), -103); });
        h.clock.at(start + 4.6, [&h] { h.serial.clearFailure(QStringLiteral("SioPuts")); });
    }
    DeviceRun::Request request;
    request.bytes = Program;
    request.programPath = QStringLiteral("/programs/ramp down.csv");
    request.software = QStringLiteral("test");
    request.keepRecord = true;
    request.hooks.holding = [&holding] { return holding; };
    const DeviceRun::Outcome outcome = DeviceRun::playOn(h.controller->context(), request);
    const std::optional<SessionFiles::Paths> paths =
        outcome.record ? outcome.record->write(folder, error) : std::nullopt;
    return paths ? SessionFiles::read(paths->json, error) : std::nullopt;
}

void TestBidsDataset::initTestCase() {
    QVERIFY(m_dir.isValid());
    QString error;
    m_plain = record(m_dir.filePath(QStringLiteral("plain")), false, &error);
    QVERIFY2(m_plain, qPrintable(error));
    m_disturbed = record(m_dir.filePath(QStringLiteral("disturbed")), true, &error);
    QVERIFY2(m_disturbed, qPrintable(error));
}

void TestBidsDataset::validatorAccepts() {
    // A relative path, as one is typed: the filed record still finds its tables.
    const QDir dataset(m_dir.filePath(QStringLiteral("dataset")));
    const QString root = QDir::current().relativeFilePath(dataset.path());
    QString error;
    const BidsDataset::Entities first{QStringLiteral("01"), QStringLiteral("1"),
                                      QStringLiteral("light"), 1};
    const auto filed = BidsDataset::file(root, *m_disturbed, first, &error);
    QVERIFY2(filed, qPrintable(error));
    QVERIFY(filed->newDataset);
    BidsDataset::Entities second = first;
    second.run = 2;
    const auto again = BidsDataset::file(root, *m_plain, second, &error);
    QVERIFY2(again && !again->newDataset && again->changed.isEmpty(), qPrintable(error));
    QCOMPARE(dataset.relativeFilePath(QFileInfo(filed->events).absoluteFilePath()),
             QStringLiteral("sub-01/ses-1/beh/sub-01_ses-1_task-light_run-1_events.tsv"));
    QCOMPARE(dataset.relativeFilePath(QFileInfo(filed->frames).absoluteFilePath()),
             QStringLiteral("sourcedata/sub-01/ses-1/beh/sub-01_ses-1_task-light_run-1_"
                            "frames.tsv.gz"));
    QCOMPARE(fileBytes(dataset.filePath(QStringLiteral("participants.tsv"))),
             QByteArray("participant_id\nsub-01\n"));

    // The filed record reads back from sourcedata as the record it was, frames and all.
    const auto back = SessionFiles::read(filed->record, &error);
    QVERIFY2(back, qPrintable(error));
    QCOMPARE(back->events.size(), m_disturbed->events.size());
    QCOMPARE(SessionFiles::eventsText(back->events), SessionFiles::eventsText(m_disturbed->events));
    const auto frames = SessionFiles::readFrames(*back, &error);
    const auto original = SessionFiles::readFrames(*m_disturbed, &error);
    QVERIFY2(frames && original, qPrintable(error));
    QCOMPARE(frames->size(), original->size());

    const QString validator = qEnvironmentVariable("ORLESSE_BIDS_VALIDATOR");
    if (validator.isEmpty() || !QFileInfo(validator).isExecutable()) {
        QSKIP(qPrintable(QStringLiteral("bids-validator is not installed at \"%1\": "
                                        "scripts/install-deps --test-tools installs it")
                             .arg(validator)));
    }
    QProcess run;
    run.start(validator, {QStringLiteral("--json"), root});
    QVERIFY(run.waitForFinished(120000));
    const QByteArray output = run.readAllStandardOutput();
    const QJsonObject report = QJsonDocument::fromJson(output).object();
    QVERIFY2(!report.isEmpty(), output.constData());
    const QJsonObject issues = report.value(QStringLiteral("issues")).toObject();
    QStringList found;
    for (const QString& severity : {QStringLiteral("errors"), QStringLiteral("warnings")}) {
        for (const QJsonValue issue : issues.value(severity).toArray()) {
            found << severity + u' ' + issue.toObject().value(QStringLiteral("key")).toString();
        }
    }
    // Only what the dataset's owner has to fill in: its authors.
    QVERIFY2(found == QStringList{QStringLiteral("warnings NO_AUTHORS")},
             QJsonDocument(issues).toJson().constData());
    const QJsonObject summary = report.value(QStringLiteral("summary")).toObject();
    QCOMPARE(summary.value(QStringLiteral("subjects")).toArray(), QJsonArray{"01"});
    QCOMPARE(summary.value(QStringLiteral("totalFiles")).toInt(), 8);
}

void TestBidsDataset::refuses_data() {
    QTest::addColumn<QString>("before");  // "filed": the run is there; "foreign": a file
    QTest::addColumn<QString>("subject");
    QTest::addColumn<QString>("session");
    QTest::addColumn<QString>("task");
    QTest::addColumn<int>("run");
    QTest::addColumn<QString>("error");  // a part of the reason
    QTest::newRow("the run is there") << "filed"
                                      << "01"
                                      << ""
                                      << "light" << 1 << "holds this run already (sub-01/beh/";
    QTest::newRow("a hyphen in the subject")
        << "filed"
        << "01-a"
        << ""
        << "light" << 2 << "subject label \"01-a\" holds other";
    QTest::newRow("an underscore in the session")
        << "filed"
        << "01"
        << "a_b"
        << "light" << 1 << "session label \"a_b\" holds other";
    QTest::newRow("no task") << ""
                             << "01"
                             << ""
                             << "" << 0 << "task label is missing";
    QTest::newRow("a run below 1") << ""
                                   << "01"
                                   << ""
                                   << "light" << -1 << "whole number from 1";
    QTest::newRow("a folder that is no dataset")
        << "foreign"
        << "01"
        << ""
        << "light" << 1 << "holds files but no dataset_description";
}

void TestBidsDataset::refuses() {
    QFETCH(QString, before);
    QFETCH(QString, subject);
    QFETCH(QString, session);
    QFETCH(QString, task);
    QFETCH(int, run);
    QFETCH(QString, error);
    QTemporaryDir dir;
    QString reason;
    if (before == QLatin1String("filed")) {
        const BidsDataset::Entities there{QStringLiteral("01"), {}, QStringLiteral("light"), 1};
        QVERIFY2(BidsDataset::file(dir.path(), *m_plain, there, &reason), qPrintable(reason));
    } else if (before == QLatin1String("foreign")) {
        putFile(dir.filePath(QStringLiteral("notes.txt")), "mine");
    }
    const QStringList files = snapshot(dir.path());
    const BidsDataset::Entities entities{subject, session, task, run};
    QVERIFY(!BidsDataset::file(dir.path(), *m_disturbed, entities, &reason));
    QVERIFY2(reason.contains(error), qPrintable(reason));
    QCOMPARE(snapshot(dir.path()), files);
}

QTEST_GUILESS_MAIN(TestBidsDataset)
#include "tst_BidsDataset.moc"
