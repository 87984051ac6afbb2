#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include "settings/ProcessINIFile.h"
#include "settings/ProfileFile.h"
#include "support/TestFiles.h"

namespace {

// The file's lines joined with this platform's line end, as a new file is written.
QByteArray platformLines(const QList<QByteArray>& lines) {
    QByteArray bytes;
    for (const QByteArray& line : lines) {
        bytes += line + ProfileFile::platformLineEnd();
    }
    return bytes;
}

using Values = QList<int>;  // ComPortNumber, FlashRate, FlashColourIndex, BrightnessIndex

Values valuesOf(const Settings& settings) {
    return {settings.ComPortNumber, settings.FlashRate, settings.FlashColourIndex,
            settings.BrightnessIndex};
}

// A settings value the file never holds, so a test sees which fields the load set.
Settings scrambled() {
    return Settings{-99, -99, -99, -99};
}

}  // namespace

class TestProcessINIFile : public QObject {
    Q_OBJECT

  private slots:
    void cintReadsWholeNumbers_data();
    void cintReadsWholeNumbers();
    void strWritesWholeNumbers();
    void loadsSettings_data();
    void loadsSettings();
    void firstRunWritesSixLines();
    void saveKeepsEverythingElse_data();
    void saveKeepsEverythingElse();
    void valuesSurviveSaveAndLoad();
    void unusableProgramFolderFallsBack_data();
    void unusableProgramFolderFallsBack();
    void readOnlyPresetLoadsUntilFallbackExists();
    void writableProgramFolderIgnoresFallback();
    void installFolderNeverTakesTheFile_data();
    void installFolderNeverTakesTheFile();
    void oddSettingsFilesGiveDefaults();
    void applicationFoldersIgnoreApplicationNames();
#ifdef Q_OS_WIN
    void installedCopyUsesAppData();
#endif
};

// A null expected value means the text is not such a number.
void TestProcessINIFile::cintReadsWholeNumbers_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QVariant>("expected");
    const auto row = [](const char* text, const QVariant& expected) {
        QTest::addRow("\"%s\"", text) << QString::fromLatin1(text) << expected;
    };

    row(" 10", 10);
    row(" \t 7\t ", 7);
    row("010", 10);
    row("+5", 5);
    row("-5", -5);
    row("2.5", 2);
    row("3.5", 4);
    row("-2.5", -2);
    row("-3.5", -4);
    row("0.5", 0);
    row("2.5000001", 3);
    row("2.5000", 2);
    row("2.6", 3);
    row(".5", 0);
    row("5.", 5);
    row("32767", 32767);
    row("-32768.5", -32768);
    row("32767.5", QVariant());
    row("-32769", QVariant());
    row("40000", QVariant());
    row("123456789012345678901234567890", QVariant());
    row("", QVariant());
    row("   ", QVariant());
    row("abc", QVariant());
    row("12ab", QVariant());
    row("1 2", QVariant());
    row("-", QVariant());
    row(".", QVariant());
    row("1.2.3", QVariant());
}

void TestProcessINIFile::cintReadsWholeNumbers() {
    QFETCH(QString, text);
    QFETCH(QVariant, expected);

    const std::optional<int16_t> result = CInt(text);
    QCOMPARE(result.has_value(), expected.isValid());
    QCOMPARE(int(result.value_or(0)), expected.toInt());
}

void TestProcessINIFile::strWritesWholeNumbers() {
    QCOMPARE(Str(0), QString(" 0"));
    QCOMPARE(Str(10), QString(" 10"));
    QCOMPARE(Str(-32768), QString("-32768"));
}

void TestProcessINIFile::loadsSettings_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<Values>("expected");
    const auto row = [](const char* name, const QByteArray& file, const Values& expected) {
        QTest::newRow(name) << file << expected;
    };

    const Values defaults{0, 10, 2, 3};
    row("empty file", "", defaults);
    row("all four",
        "[communications]\nVantorbComPort= 3\n[Vantorb]\nFlashRate= 25\nFlashColour= 4\n"
        "Brightness= 0\n",
        {3, 25, 4, 0});
    row("blanks before digits", "[Vantorb]\nFlashRate=   7\n", {0, 7, 2, 3});
    row("halves to even", "[Vantorb]\nFlashRate=2.5\nBrightness=3.5\n", {0, 2, 2, 4});
    row("lower-case names",
        "[vantorb]\nflashrate=12\nflashcolour=1\n[COMMUNICATIONS]\nvantorbcomport=5\n",
        {5, 12, 1, 3});
    row("out of table kept", "[Vantorb]\nFlashColour=7\n", {0, 10, 7, 3});
    row("not numbers use defaults",
        "[communications]\nVantorbComPort=\n[Vantorb]\nFlashRate=fast\nFlashColour=40000\n"
        "Brightness=1,5\n",
        defaults);
    row("keys in wrong section", "[communications]\nFlashRate=20\n[Vantorb]\nVantorbComPort=4\n",
        defaults);
}

void TestProcessINIFile::loadsSettings() {
    QFETCH(QByteArray, file);
    QFETCH(Values, expected);

    QTemporaryDir program;
    QTemporaryDir fallback;
    putFile(QDir(program.path()).filePath("corvexa.ini"), file);
    const ProcessINIFile ini(program.path(), fallback.path());
    Settings settings = scrambled();
    ini.LoadSettings(settings);
    QCOMPARE(valuesOf(settings), expected);
}

void TestProcessINIFile::firstRunWritesSixLines() {
    QTemporaryDir program;
    QTemporaryDir fallback;
    const ProcessINIFile ini(program.path(), fallback.path());
    Settings settings = scrambled();
    ini.LoadSettings(settings);
    QCOMPARE(valuesOf(settings), (Values{0, 10, 2, 3}));
    QVERIFY(ini.SaveSettings(settings));

    const QString path = QDir(program.path()).filePath("corvexa.ini");
    QCOMPARE(ini.path(), path);
    QCOMPARE(fileBytes(path), platformLines({"[communications]", "VantorbComPort= 0", "[Vantorb]",
                                             "FlashRate= 10", "FlashColour= 2", "Brightness= 3"}));
    QVERIFY(QDir(fallback.path()).isEmpty());
}

void TestProcessINIFile::saveKeepsEverythingElse_data() {
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");

    QTest::newRow("only FlashRate")
        << QByteArray("[Vantorb]\nFlashRate=25\n")
        << QByteArray(
               "[Vantorb]\nFlashRate= 25\nFlashColour= 2\nBrightness= 3\n"
               "[communications]\nVantorbComPort= 0\n");
    QTest::newRow("comments and foreign sections")
        << QByteArray(
               "; Orlesse settings\r\n\r\n[Other]\r\nFlashRate=1\r\n  odd line\r\n"
               "[communications]\r\n; chosen port\r\nVantorbComPort = 4 \r\nBaud=9600\r\n"
               "\r\n[Vantorb]\r\nBrightness=\"1\"\r\n; end\r\n")
        << QByteArray(
               "; Orlesse settings\r\n\r\n[Other]\r\nFlashRate=1\r\n  odd line\r\n"
               "[communications]\r\n; chosen port\r\nVantorbComPort = 4\r\nBaud=9600\r\n"
               "\r\n[Vantorb]\r\nBrightness= 1\r\nFlashRate= 10\r\nFlashColour= 2\r\n"
               "; end\r\n");
    QTest::newRow("CR file") << QByteArray("[communications]\rVantorbComPort=2\r[Vantorb]\r")
                             << QByteArray(
                                    "[communications]\rVantorbComPort= 2\r[Vantorb]\r"
                                    "FlashRate= 10\rFlashColour= 2\rBrightness= 3\r");
    QTest::newRow("CRLF file without final line end")
        << QByteArray("[communications]\r\nVantorbComPort=2")
        << QByteArray(
               "[communications]\r\nVantorbComPort= 2\r\n[Vantorb]\r\nFlashRate= 10\r\n"
               "FlashColour= 2\r\nBrightness= 3\r\n");
}

// Load then save, as a start-up does: the four keys are rewritten in the program's own form and
// nothing else in the file changes.
void TestProcessINIFile::saveKeepsEverythingElse() {
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);

    QTemporaryDir program;
    QTemporaryDir fallback;
    const QString path = QDir(program.path()).filePath("corvexa.ini");
    putFile(path, before);
    const ProcessINIFile ini(program.path(), fallback.path());
    Settings settings;
    ini.LoadSettings(settings);
    QVERIFY(ini.SaveSettings(settings));
    QCOMPARE(fileBytes(path), after);
}

void TestProcessINIFile::valuesSurviveSaveAndLoad() {
    QTemporaryDir program;
    QTemporaryDir fallback;
    const ProcessINIFile ini(program.path(), fallback.path());
    for (const Settings& saved : {Settings{0, 1, 0, 0}, Settings{-32768, 32767, -1, 4}}) {
        QVERIFY(ini.SaveSettings(saved));
        Settings loaded = scrambled();
        ini.LoadSettings(loaded);
        QCOMPARE(valuesOf(loaded), valuesOf(saved));
    }
    QCOMPARE(ini.ReadIniValue("Vantorb", "FlashRate", "10"), QString("32767"));
}

void TestProcessINIFile::unusableProgramFolderFallsBack_data() {
    QTest::addColumn<bool>("programFolderIsFile");
    QTest::addColumn<bool>("settingsFileIsFolder");

    QTest::newRow("program folder missing") << false << false;
    QTest::newRow("program folder is a file") << true << false;
    QTest::newRow("settings file is a folder") << false << true;
}

void TestProcessINIFile::unusableProgramFolderFallsBack() {
    QFETCH(bool, programFolderIsFile);
    QFETCH(bool, settingsFileIsFolder);

    QTemporaryDir root;
    QString programFolder = root.filePath("program");
    if (programFolderIsFile) {
        putFile(programFolder, "not a folder");
    }
    if (settingsFileIsFolder) {
        QVERIFY(QDir().mkpath(programFolder + "/corvexa.ini"));
    }
    // The fallback folder does not exist yet: the first write creates it.
    const QString fallbackFolder = root.filePath("config/Corvexa/Orlesse");
    const ProcessINIFile ini(programFolder, fallbackFolder);
    const QString fallbackPath = fallbackFolder + "/corvexa.ini";
    QCOMPARE(ini.path(), fallbackPath);

    Settings settings = scrambled();
    ini.LoadSettings(settings);
    QCOMPARE(valuesOf(settings), (Values{0, 10, 2, 3}));
    settings.FlashRate = 33;
    QVERIFY(ini.SaveSettings(settings));
    QVERIFY(QFileInfo(fallbackPath).isFile());
    QCOMPARE(ini.readPath(), fallbackPath);

    Settings loaded;
    ini.LoadSettings(loaded);
    QCOMPARE(loaded.FlashRate, int16_t(33));
    QCOMPARE(QFileInfo(programFolder).isFile(), programFolderIsFile);
    QCOMPARE(QFileInfo(programFolder).isDir(), settingsFileIsFolder);
}

// A program folder that cannot be written (decided by the injected check, since the tests may
// run with rights that ignore permission bits) holding a shipped settings file.
void TestProcessINIFile::readOnlyPresetLoadsUntilFallbackExists() {
    QTemporaryDir program;
    QTemporaryDir root;
    const QString preset = QDir(program.path()).filePath("corvexa.ini");
    const QByteArray presetBytes("[Vantorb]\nFlashRate=40\nFlashColour=4\n");
    putFile(preset, presetBytes);
    const QString fallbackFolder = root.filePath("Corvexa/Orlesse");
    const ProcessINIFile ini(program.path(), fallbackFolder, [](const QString&) { return false; });

    Settings settings = scrambled();
    ini.LoadSettings(settings);
    QCOMPARE(valuesOf(settings), (Values{0, 40, 4, 3}));

    settings.FlashColourIndex = 1;
    QVERIFY(ini.SaveSettings(settings));
    QCOMPARE(fileBytes(preset), presetBytes);
    QCOMPARE(fileBytes(fallbackFolder + "/corvexa.ini"),
             platformLines({"[communications]", "VantorbComPort= 0", "[Vantorb]", "FlashRate= 40",
                            "FlashColour= 1", "Brightness= 3"}));

    Settings loaded = scrambled();
    ini.LoadSettings(loaded);
    QCOMPARE(valuesOf(loaded), (Values{0, 40, 1, 3}));
}

void TestProcessINIFile::writableProgramFolderIgnoresFallback() {
    QTemporaryDir program;
    QTemporaryDir fallback;
    putFile(QDir(fallback.path()).filePath("corvexa.ini"), "[Vantorb]\nFlashRate=44\n");
    const ProcessINIFile ini(program.path(), fallback.path());
    QCOMPARE(ini.readPath(), QDir(program.path()).filePath("corvexa.ini"));
    Settings settings = scrambled();
    ini.LoadSettings(settings);
    QCOMPARE(settings.FlashRate, int16_t(10));
}

void TestProcessINIFile::installFolderNeverTakesTheFile_data() {
    QTest::addColumn<QString>("programFolder");  // under the test's root; "link" -> "bin"
    QTest::addColumn<QString>("installFolder");  // likewise; "" for none
    QTest::addColumn<bool>("writable");          // what the injected check answers
    QTest::addColumn<bool>("inProgramFolder");   // whether the file lies beside the program
    const auto row = [](const char* name, const char* program, const char* install, bool writable,
                        bool inProgramFolder) {
        QTest::newRow(name) << program << install << writable << inProgramFolder;
    };

    row("copy elsewhere, writable", "copy", "bin", true, true);
    row("copy elsewhere, read-only", "copy", "bin", false, false);
    row("installed, writable (root)", "bin", "bin", true, false);
    row("installed, read-only", "bin", "bin", false, false);
#ifndef Q_OS_WIN  // Windows' links are shortcut files, which no path follows
    row("installed, run through a link", "link", "bin", true, false);
    row("install folder given through a link", "bin", "link", true, false);
#endif
    row("install folder not cleaned", "bin", "copy/../bin/", true, false);
    row("install folder above the program", "bin", ".", true, true);
    row("install folder does not exist", "bin", "gone", true, true);
    row("no install folder", "bin", "", true, true);
}

void TestProcessINIFile::installFolderNeverTakesTheFile() {
    QFETCH(QString, programFolder);
    QFETCH(QString, installFolder);
    QFETCH(bool, writable);
    QFETCH(bool, inProgramFolder);

    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkdir("bin") && QDir(root.path()).mkdir("copy"));
    QVERIFY(QFile::link(root.filePath("bin"), root.filePath("link")));
    const QString program = root.filePath(programFolder);
    const QString fallback = root.filePath("config");
    const ProcessINIFile ini(
        program, fallback, [writable](const QString&) { return writable; },
        installFolder.isEmpty() ? QString() : root.filePath(installFolder));

    QCOMPARE(ini.savesInProgramFolder(), inProgramFolder);
    QVERIFY(ini.SaveSettings(Settings{}));
    const QString beside = QDir(program).filePath("corvexa.ini");
    const QString perUser = fallback + "/corvexa.ini";
    QCOMPARE(ini.path(), inProgramFolder ? beside : perUser);
    QCOMPARE(QFileInfo::exists(beside), inProgramFolder);
    QCOMPARE(QFileInfo::exists(perUser), !inProgramFolder);
}

void TestProcessINIFile::oddSettingsFilesGiveDefaults() {
    // Binary garbage: bytes that look almost like settings, and NUL bytes.
    QTemporaryDir program;
    QTemporaryDir fallback;
    const QString path = QDir(program.path()).filePath("corvexa.ini");
    static const char garbage[] = "\x00[Vantorb\x00]\nFlash\x00Rate=5\n\xFF\xFE[\r\r\n=\n";
    putFile(path, QByteArray(garbage, sizeof(garbage) - 1));
    const ProcessINIFile ini(program.path(), fallback.path());
    Settings settings = scrambled();
    ini.LoadSettings(settings);
    QCOMPARE(valuesOf(settings), (Values{0, 10, 2, 3}));

    // No folders at all: nothing to read, nowhere to write.
    const ProcessINIFile nowhere{QString(), QString()};
    settings = scrambled();
    nowhere.LoadSettings(settings);
    QCOMPARE(valuesOf(settings), (Values{0, 10, 2, 3}));
    QVERIFY(!nowhere.SaveSettings(settings));
}

void TestProcessINIFile::applicationFoldersIgnoreApplicationNames() {
    QCoreApplication::setOrganizationName("SomeoneElse");
    QCoreApplication::setApplicationName("tst_ProcessINIFile");
    const ProcessINIFile ini = ProcessINIFile::forApplication();
    QCOMPARE(ini.programFolder(), QCoreApplication::applicationDirPath());
#ifdef Q_OS_WIN
    // %APPDATA%, the roaming folder, not the local one Qt calls the configuration folder.
    QCOMPARE(ini.fallbackFolder(),
             QDir::fromNativeSeparators(qEnvironmentVariable("APPDATA")) + "/Corvexa/Orlesse");
#else
    QCOMPARE(ini.fallbackFolder(),
             QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                 "/Corvexa/Orlesse");
#endif
}

#ifdef Q_OS_WIN
// The installer records the folder it chose; a copy there never writes its own folder, and any
// other copy in a folder it can write keeps its settings beside itself.
void TestProcessINIFile::installedCopyUsesAppData() {
    QSettings key(QStringLiteral("HKEY_CURRENT_USER\\Software\\Corvexa\\Orlesse"),
                  QSettings::NativeFormat);
    const auto forget = qScopeGuard([&key] { key.remove(QStringLiteral("InstallFolder")); });
    const QString here = QCoreApplication::applicationDirPath();
    const QTemporaryDir other;
    const QString elsewhere = other.path();

    key.setValue(QStringLiteral("InstallFolder"), QDir::toNativeSeparators(here));
    key.sync();
    ProcessINIFile installed = ProcessINIFile::forApplication();
    QVERIFY(!installed.savesInProgramFolder());
    QVERIFY(installed.path().startsWith(installed.fallbackFolder()));

    key.setValue(QStringLiteral("InstallFolder"), QDir::toNativeSeparators(elsewhere));
    key.sync();
    ProcessINIFile portable = ProcessINIFile::forApplication();
    QVERIFY(portable.savesInProgramFolder());
    QCOMPARE(portable.path(), here + "/corvexa.ini");
}
#endif

QTEST_GUILESS_MAIN(TestProcessINIFile)
#include "tst_ProcessINIFile.moc"
