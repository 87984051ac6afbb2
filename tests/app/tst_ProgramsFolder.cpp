#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include "app/ProgramsFolder.h"
#include "settings/ProcessINIFile.h"
#include "support/TestFiles.h"

namespace {

// In the table: a folder that does not exist, and a file where the per-user folder should be.
const QStringList Missing{"<missing>"};
const QStringList InTheWay{"<file>"};

}  // namespace

// Which folder Start Program's dialog opens, and what a first use puts in the per-user folder.
// Whether the program folder can be written is decided by the injected check, since the tests
// may run with rights that ignore permission bits; an installed program's folder opens the
// per-user folder even when it can be written.
class TestProgramsFolder : public QObject {
    Q_OBJECT

  private slots:
    void opensTheRightFolder_data();
    void opensTheRightFolder();
};

void TestProgramsFolder::opensTheRightFolder_data() {
    QTest::addColumn<bool>("installed");  // the program folder is the install folder
    QTest::addColumn<bool>("programWritable");
    QTest::addColumn<QStringList>("userFiles");  // the per-user folder before
    QTest::addColumn<QStringList>("examples");   // "x/" is a folder
    QTest::addColumn<QString>("expected");       // "program" or "user"
    QTest::addColumn<QStringList>("userAfter");  // the per-user folder afterwards

    const QStringList examples{"fade.csv", "PULSE.CSV", "readme.txt", "old.csv/"};
    const QStringList seeded{"PULSE.CSV", "fade.csv"};
    QTest::newRow("portable") << false << true << Missing << examples << "program" << Missing;
    QTest::newRow("read-only, first use")
        << false << false << Missing << examples << "user" << seeded;
    QTest::newRow("installed, writable (root), first use")
        << true << true << Missing << examples << "user" << seeded;
    QTest::newRow("installed, folder exists") << true << false << QStringList{"mine.csv"}
                                              << examples << "user" << QStringList{"mine.csv"};
    QTest::newRow("installed, emptied by the user")
        << true << false << QStringList{""} << examples << "user" << QStringList{};
    QTest::newRow("installed, no examples")
        << true << false << Missing << Missing << "user" << QStringList{};
    QTest::newRow("per-user folder cannot be made")
        << false << false << InTheWay << examples << "program" << Missing;
}

void TestProgramsFolder::opensTheRightFolder() {
    QFETCH(bool, installed);
    QFETCH(bool, programWritable);
    QFETCH(QStringList, userFiles);
    QFETCH(QStringList, examples);
    QFETCH(QString, expected);
    QFETCH(QStringList, userAfter);

    QTemporaryDir root;
    const QString programFolder = root.filePath("bin");
    const QString examplesFolder = root.filePath("share/orlesse/programs");
    const QString userFolder = root.filePath("data/Corvexa/Orlesse/programs");
    QVERIFY(QDir().mkpath(programFolder));
    if (examples != Missing) {
        QVERIFY(QDir().mkpath(examplesFolder));
    }
    for (const QString& name : examples != Missing ? examples : QStringList()) {
        const QString path = QDir(examplesFolder).filePath(name);
        if (name.endsWith(u'/')) {
            QVERIFY(QDir().mkpath(path));
            continue;
        }
        putFile(path, name.toUtf8());
        // Installed files are read-only.
        QVERIFY(
            QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    }
    if (userFiles == InTheWay) {
        // Something that is no folder stands in the way of the per-user folder.
        QVERIFY(QDir().mkpath(root.filePath("data/Corvexa")));
        putFile(root.filePath("data/Corvexa/Orlesse"), "in the way");
    } else if (userFiles != Missing) {
        QVERIFY(QDir().mkpath(userFolder));
        for (const QString& name : userFiles) {
            if (!name.isEmpty()) {
                putFile(QDir(userFolder).filePath(name), "the user's own");
            }
        }
    }

    const ProcessINIFile settings(
        programFolder, root.filePath("config"),
        [programWritable](const QString&) { return programWritable; },
        installed ? programFolder : QString());
    const ProgramsFolder programs(userFolder, examplesFolder);
    QCOMPARE(programs.dialogFolder(settings), expected == "user" ? userFolder : programFolder);

    const QDir user(userFolder);
    QCOMPARE(user.exists(), userAfter != Missing);
    if (userAfter == Missing) {
        return;
    }
    QCOMPARE(user.entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name), userAfter);
    if (userFiles == Missing) {
        for (const QString& name : userAfter) {
            QCOMPARE(fileBytes(user.filePath(name)), name.toUtf8());
        }
    }
}

QTEST_GUILESS_MAIN(TestProgramsFolder)
#include "tst_ProgramsFolder.moc"
