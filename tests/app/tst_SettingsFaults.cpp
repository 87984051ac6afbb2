// Start-up against settings files that are broken in the ways hand-edited files and odd file
// systems break them: the controller starts with the defaults and flashes, a save that cannot
// finish leaves the previous file as it was, and a program folder that cannot be written sends
// the settings to the per-user folder.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTest>
#include <csignal>

#include "settings/ProfileFile.h"
#include "support/Harness.h"
#include "support/TestFiles.h"

namespace {

// Writes bytes as the whole file at path; whether that worked.
bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The four settings as a list, for comparing in one go.
using Values = QList<int>;  // ComPortNumber, FlashRate, FlashColourIndex, BrightnessIndex

Values valuesOf(const Settings& settings) {
    return {settings.ComPortNumber, settings.FlashRate, settings.FlashColourIndex,
            settings.BrightnessIndex};
}

const Values Defaults{0, 10, 2, 3};

// The controller works: "Flash the Orlesse" opens the port and one second of virtual time
// brings rate lit frames of colour for the whole device, each followed by a dark one.
void verifyFlashing(Harness& h, Controller& controller, int rate, const QString& colour) {
    controller.cmdFlashOrlesse_Click();
    QVERIFY(controller.state().PortOpen);
    h.serial.clearCalls();
    h.clock.runFor(1.0 + 1e-9);
    const QList<QByteArray> frames = h.delivered();
    QCOMPARE(frames.size(), 2 * rate);
    QCOMPARE(frames.count(Harness::soh("00", colour)), rate);
    QCOMPARE(frames.count(Harness::soh("00", "000000")), rate);
}

// Names of the folder's entries, hidden ones included, so a left-over temporary file shows.
QStringList entriesOf(const QString& folder) {
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// While it lives, no file of this process may grow past limit bytes: a write that would is cut
// short and then fails with EFBIG, exactly at that byte, whoever runs the test (the limit binds
// root too, unlike permission bits). The signal such a write raises is ignored for the time.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t limit) {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        m_savedHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = m_saved;
        limited.rlim_cur = limit;
        m_active = setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_savedHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    // Whether the limit is in force.
    bool active() const { return m_active; }

  private:
    rlimit m_saved{};
    void (*m_savedHandler)(int) = SIG_DFL;
    bool m_active = false;
};

// Ways the settings path can be something other than a readable settings file.
enum class Odd {
    NoPermissions,  // a file with mode 000
    Folder,         // a folder
    Fifo,           // a named pipe, which would block a reader for ever
    Device,         // a link to /dev/zero, which never ends
    LinkLoop,       // a link to itself, which no one can open
    Garbage,        // random bytes with NUL bytes and stray brackets
    TooLarge,       // a valid beginning, but larger than any settings file
};

}  // namespace

Q_DECLARE_METATYPE(Odd)

class SettingsFaultsTest : public QObject {
    Q_OBJECT

  private slots:
    void oddSettingsFileStartsWithDefaults_data();
    void oddSettingsFileStartsWithDefaults();
    void valuesOutsideTheListsStartWithDefaults_data();
    void valuesOutsideTheListsStartWithDefaults();
    void failedSaveKeepsThePreviousFile_data();
    void failedSaveKeepsThePreviousFile();
    void readOnlyProgramFolderUsesThePerUserFolder_data();
    void readOnlyProgramFolderUsesThePerUserFolder();
};

// savedTo: where start-up's save of the defaults lands: "program" (the settings path itself:
// garbage keeps its bytes in front, a link that leads nowhere counts as no file and gives way
// to a real one), "per-user" (the program folder is given up), or "" (nowhere: a file too large
// to be settings is not replaced, and there is no reason to move away from it). Every path
// that does not take the save is left exactly as it was.
void SettingsFaultsTest::oddSettingsFileStartsWithDefaults_data() {
    QTest::addColumn<Odd>("odd");
    QTest::addColumn<QString>("savedTo");

    QTest::newRow("mode 000") << Odd::NoPermissions << "per-user";
    QTest::newRow("folder") << Odd::Folder << "per-user";
    QTest::newRow("named pipe") << Odd::Fifo << "per-user";
    QTest::newRow("link to a device") << Odd::Device << "per-user";
    QTest::newRow("link to itself") << Odd::LinkLoop << "program";
    QTest::newRow("binary garbage") << Odd::Garbage << "program";
    QTest::newRow("larger than a settings file") << Odd::TooLarge << "";
}

void SettingsFaultsTest::oddSettingsFileStartsWithDefaults() {
    QFETCH(Odd, odd);
    QFETCH(QString, savedTo);

    Harness h;
    const QString path = h.controller->settingsFile().path();
    const QString perUser = h.dir.filePath("config/corvexa.ini");
    // Values a reader that got through would load instead of the defaults.
    const QByteArray valid("[Vantorb]\nFlashRate=40\nFlashColour=1\nBrightness=0\n");
    QByteArray garbage;
    switch (odd) {
        case Odd::NoPermissions:
            if (geteuid() == 0) {
                QSKIP("permission bits do not keep root out; the other rows cover it");
            }
            QVERIFY(writeBytes(path, valid));
            QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions()));
            break;
        case Odd::Folder:
            QVERIFY(QDir().mkpath(path));
            break;
        case Odd::Fifo:
            QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0644), 0);
            break;
        case Odd::Device:
            QVERIFY(QFile::link("/dev/zero", path));
            break;
        case Odd::LinkLoop:
            QVERIFY(QFile::link(path, path));
            break;
        case Odd::Garbage: {
            QRandomGenerator random(20240611);
            garbage = QByteArray("\x00[Vantorb\x00]\nFlash\x00Rate=40\n\xFF\xFE[\r=\n", 27);
            for (int i = 0; i < 4096; ++i) {
                garbage.append(char(random.bounded(256)));
            }
            QVERIFY(writeBytes(path, garbage));
            break;
        }
        case Odd::TooLarge: {
            QVERIFY(writeBytes(path, valid));
            QFile file(path);
            QVERIFY(file.resize(ProfileFile::MaxFileSize + 1));  // sparse: costs no disk space
            break;
        }
    }
    // What the path is now; QFileInfo only looks when first asked, so ask at once.
    const QFileInfo info(path);
    const bool wasLink = info.isSymLink();
    const bool wasDir = info.isDir();
    const bool wasFile = info.isFile();
    const qint64 sizeBefore = info.size();
    const QByteArray bytesBefore = wasFile ? fileBytes(path).left(4096) : QByteArray();

    h.controller->Form_Load();
    QCOMPARE(valuesOf(h.settings), Defaults);
    QCOMPARE(h.window.selected.value(ListId::FlashRate), 9);
    verifyFlashing(h, *h.controller, 10, "00FF00");

    const QFileInfo after(path);
    if (savedTo == "program") {
        QVERIFY(after.isFile());
        QVERIFY(!after.isSymLink());
        if (odd == Odd::Garbage) {
            QVERIFY(fileBytes(path).startsWith(garbage));
            QCOMPARE(ProfileFile::GetPrivateProfileString("Vantorb", "FlashRate", "", path), "10");
        } else {
            // The loop gave way to a settings file of its own.
            QCOMPARE(fileBytes(path),
                     QByteArray("[communications]\nVantorbComPort= 0\n[Vantorb]\nFlashRate= 10\n"
                                "FlashColour= 2\nBrightness= 3\n"));
        }
    } else {
        QCOMPARE(after.isSymLink(), wasLink);
        QCOMPARE(after.isDir(), wasDir);
        QCOMPARE(after.isFile(), wasFile);
        if (wasFile) {
            QCOMPARE(after.size(), sizeBefore);
            QCOMPARE(fileBytes(path).left(4096), bytesBefore);
        }
    }
    QCOMPARE(QFileInfo::exists(perUser), savedTo == "per-user");
    if (savedTo == "per-user") {
        QCOMPARE(ProfileFile::GetPrivateProfileString("Vantorb", "FlashRate", "", perUser), "10");
    }
}

// Every value lies just outside its list, or would land inside it only by wrapping round 16
// bits; the ones just inside are kept. colour is the lit frame start-up's choices give.
void SettingsFaultsTest::valuesOutsideTheListsStartWithDefaults_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<Values>("expected");
    QTest::addColumn<QString>("colour");

    QTest::newRow("rate 0, colour 5, brightness 4")
        << QByteArray("[Vantorb]\nFlashRate=0\nFlashColour=5\nBrightness=4\n") << Defaults
        << "00FF00";
    QTest::newRow("rate 51, colour -1, brightness -1")
        << QByteArray("[Vantorb]\nFlashRate=51\nFlashColour=-1\nBrightness=-1\n") << Defaults
        << "00FF00";
    QTest::newRow("rate 50, colour 4, brightness 0 kept")
        << QByteArray("[Vantorb]\nFlashRate=50\nFlashColour=4\nBrightness=0\n")
        << Values{0, 50, 4, 0} << "222222";
    QTest::newRow("rate 1, colour 0, brightness 3 kept")
        << QByteArray("[Vantorb]\nFlashRate=1\nFlashColour=0\nBrightness=3\n") << Values{0, 1, 0, 3}
        << "FF0000";
    QTest::newRow("wrapping to 1, 4 and 0 is no way in")
        << QByteArray("[Vantorb]\nFlashRate=65537\nFlashColour=65540\nBrightness=-65536\n")
        << Defaults << "00FF00";
    QTest::newRow("rate rounds to 0 or past 50")
        << QByteArray("[Vantorb]\nFlashRate=0.5\nFlashColour=4.6\nBrightness=3.5\n") << Defaults
        << "00FF00";
    QTest::newRow("numbers in other notations")
        << QByteArray("[Vantorb]\nFlashRate=0x19\nFlashColour=1e0\nBrightness=\"\"\n") << Defaults
        << "00FF00";
}

void SettingsFaultsTest::valuesOutsideTheListsStartWithDefaults() {
    QFETCH(QByteArray, file);
    QFETCH(Values, expected);
    QFETCH(QString, colour);

    Harness h;
    const QString path = h.controller->settingsFile().path();
    QVERIFY(writeBytes(path, file));
    h.controller->Form_Load();
    QCOMPARE(valuesOf(h.settings), expected);
    QCOMPARE(h.window.selected.value(ListId::FlashRate), expected[1] - 1);
    QCOMPARE(h.window.selected.value(ListId::FlashColour), expected[2]);
    QCOMPARE(h.window.selected.value(ListId::Brightness), expected[3]);
    // What start-up saved is what it runs with, so the next start-up agrees.
    QCOMPARE(ProfileFile::GetPrivateProfileString("Vantorb", "FlashRate", "", path),
             QString::number(expected[1]));
    verifyFlashing(h, *h.controller, expected[1], colour);
}

// A save whose new file is larger than the old one, with every file limited to the old size:
// writing the new file breaks off part-way. when says which save fails: start-up's own (the
// file holds a rate outside the list, which start-up rewrites), or the rate list's.
void SettingsFaultsTest::failedSaveKeepsThePreviousFile_data() {
    QTest::addColumn<QString>("when");
    QTest::addColumn<QByteArray>("file");

    const QByteArray comments = "; kept by hand\n" + QByteArray(2000, ';') + "\n";
    QTest::newRow("start-up") << "start-up"
                              << comments + "[Vantorb]\nFlashRate=99\nFlashColour= 2\n";
    QTest::newRow("rate chosen") << "rate chosen"
                                 << comments +
                                        "[communications]\nVantorbComPort= 0\n[Vantorb]\n"
                                        "FlashRate= 5\nFlashColour= 2\nBrightness= 3\n";
}

void SettingsFaultsTest::failedSaveKeepsThePreviousFile() {
    QFETCH(QString, when);
    QFETCH(QByteArray, file);

    Harness h;
    const QString path = h.controller->settingsFile().path();
    QVERIFY(writeBytes(path, file));
    const QStringList entries = entriesOf(h.dir.path());
    int expectedRate = 10;
    bool limited = false;
    {
        // Nothing is checked while the limit holds: a failure message could not be written to
        // a log file either.
        std::unique_ptr<FileSizeLimit> limit;
        if (when == "start-up") {
            limit = std::make_unique<FileSizeLimit>(file.size());
            h.controller->Form_Load();
        } else {
            h.controller->Form_Load();
            limit = std::make_unique<FileSizeLimit>(file.size());
            h.controller->ComboFlashRate_Click(24);
            expectedRate = 25;
        }
        limited = limit->active();
    }
    QVERIFY(limited);
    // Not a byte of the previous file lost, and no half-written file left beside it.
    QCOMPARE(fileBytes(path), file);
    QCOMPARE(entriesOf(h.dir.path()), entries);

    // The controller runs on with what it chose, and saves it once saving works again.
    QCOMPARE(h.settings.FlashRate, int16_t(expectedRate));
    verifyFlashing(h, *h.controller, expectedRate, "00FF00");
    h.controller->Form_Unload();
    QCOMPARE(ProfileFile::GetPrivateProfileString("Vantorb", "FlashRate", "", path),
             QString::number(expectedRate));
    QVERIFY(fileBytes(path).startsWith(file.left(2000)));
}

// The program folder cannot be written (the injected check says so: as root no permission bit
// would keep the file out). preset is a settings file shipped in the program folder ("" for
// none); perUserUsable false puts a file where the per-user folder should be, so the settings
// cannot be saved anywhere. firstRate is the rate the first start-up loads; the user then
// picks rate 25, and secondRate is what the next start-up loads.
void SettingsFaultsTest::readOnlyProgramFolderUsesThePerUserFolder_data() {
    QTest::addColumn<QByteArray>("preset");
    QTest::addColumn<bool>("perUserUsable");
    QTest::addColumn<int>("firstRate");
    QTest::addColumn<int>("secondRate");

    const QByteArray preset("[Vantorb]\nFlashRate=20\n");
    QTest::newRow("no settings file") << QByteArray() << true << 10 << 25;
    QTest::newRow("shipped settings file") << preset << true << 20 << 25;
    QTest::newRow("per-user folder unusable") << preset << false << 20 << 20;
    QTest::newRow("nothing anywhere") << QByteArray() << false << 10 << 10;
}

void SettingsFaultsTest::readOnlyProgramFolderUsesThePerUserFolder() {
    QFETCH(QByteArray, preset);
    QFETCH(bool, perUserUsable);
    QFETCH(int, firstRate);
    QFETCH(int, secondRate);

    Harness h;
    const QString programFile = h.dir.filePath("corvexa.ini");
    const QString perUserFolder = h.dir.filePath("user/Corvexa/Orlesse");
    if (!preset.isEmpty()) {
        QVERIFY(writeBytes(programFile, preset));
    }
    if (!perUserUsable) {
        QVERIFY(QDir().mkpath(h.dir.filePath("user/Corvexa")));
        QVERIFY(writeBytes(perUserFolder, "in the way"));
    }
    const auto startUp = [&] {
        auto controller = std::make_unique<Controller>(
            h.serial, h.timer, h.clock, h.window, h.ports,
            ProcessINIFile(h.dir.path(), perUserFolder, [](const QString&) { return false; }),
            h.dir.path());
        controller->Form_Load();
        return controller;
    };

    std::unique_ptr<Controller> first = startUp();
    QCOMPARE(first->settings().FlashRate, int16_t(firstRate));
    verifyFlashing(h, *first, firstRate, "00FF00");
    first->ComboFlashRate_Click(24);
    first->Form_Unload();
    first.reset();

    QCOMPARE(fileBytes(programFile), preset);
    QCOMPARE(QFileInfo::exists(programFile), !preset.isEmpty());
    QCOMPARE(QFileInfo(perUserFolder + "/corvexa.ini").isFile(), perUserUsable);

    std::unique_ptr<Controller> second = startUp();
    QCOMPARE(second->settings().FlashRate, int16_t(secondRate));
    verifyFlashing(h, *second, secondRate, "00FF00");
}

QTEST_GUILESS_MAIN(SettingsFaultsTest)
#include "tst_SettingsFaults.moc"
