#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include "settings/ProfileFile.h"
#include "support/TestFiles.h"

using namespace ProfileFile;

#ifdef Q_OS_WIN
// The system's own profile functions, the reference the reader and writer keep to. Declared
// here rather than through windows.h, whose macros would rename ProfileFile's functions.
extern "C" {
__declspec(dllimport) unsigned long __stdcall GetPrivateProfileStringA(const char*, const char*,
                                                                       const char*, char*,
                                                                       unsigned long, const char*);
__declspec(dllimport) unsigned int __stdcall GetPrivateProfileIntA(const char*, const char*, int,
                                                                   const char*);
__declspec(dllimport) int __stdcall WritePrivateProfileStringA(const char*, const char*,
                                                               const char*, const char*);
__declspec(dllimport) unsigned int __stdcall GetACP();
}
#endif

namespace {

const QString Vantorb = QStringLiteral("Vantorb");
const QString FlashRate = QStringLiteral("FlashRate");

#ifdef Q_OS_WIN
// What the system's reader makes of content: the value of key in section "Vantorb", or a null
// text when it is missing; *number is what the system's number reader gives (-1 when missing).
QString systemRead(const QByteArray& content, const QString& key, int* number) {
    QTemporaryDir dir;
    const QByteArray path = QDir::toNativeSeparators(dir.filePath("reference.ini")).toLocal8Bit();
    putFile(QString::fromLocal8Bit(path), content);
    char buffer[MaxValueLength + 1] = {};
    const unsigned long length = GetPrivateProfileStringA(
        "Vantorb", key.toLatin1().constData(), "\x01", buffer, sizeof buffer, path.constData());
    *number =
        int(GetPrivateProfileIntA("Vantorb", key.toLatin1().constData(), -1, path.constData()));
    if (length == 1 && buffer[0] == '\x01') {
        return {};
    }
    return QString::fromLatin1(buffer, int(length));
}

// What the system's writer makes of content when FlashRate in section "Vantorb" is set to value.
QByteArray systemWrite(const QByteArray& content, const QString& value) {
    QTemporaryDir dir;
    const QString path = dir.filePath("reference.ini");
    putFile(path, content);
    WritePrivateProfileStringA("Vantorb", "FlashRate", value.toLatin1().constData(),
                               QDir::toNativeSeparators(path).toLocal8Bit().constData());
    return fileBytes(path);
}

// Rows on which this reader and the system's differ, on purpose. The system matches the case
// of ASCII letters only (as the C runtime's case-blind comparison in the C locale does); this
// reader matches Latin-1 letters too, which makes a difference only to names that no Orlesse
// file holds.
const QList<QByteArray> ReadsUnlikeTheSystem = {"Latin-1"};
// Rows whose bytes the system reads as Latin-1 only where its code page is Windows-1252.
const QList<QByteArray> ReadsInWindows1252 = {"Latin-1", "Latin-1 in its own case"};
#endif

}  // namespace

class TestProfileFile : public QObject {
    Q_OBJECT

  private slots:
    void readsValues_data();
    void readsValues();
    void writesValues_data();
    void writesValues();
    void refusesWhatCannotBeReadBack_data();
    void refusesWhatCannotBeReadBack();
    void writeThenReadKeepsOtherKeys();
    void fileFunctions();
    void oddPaths();
};

// Section "Vantorb", key as given; a null expected text means the key is not found.
void TestProfileFile::readsValues_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");
    const auto row = [](const char* name, const QByteArray& content, const QString& expected,
                        const QString& key = FlashRate) {
        QTest::newRow(name) << content << key << expected;
    };

    row("LF", "[Vantorb]\nFlashRate=7\n", "7");
    row("CRLF", "[Vantorb]\r\nFlashRate=7\r\n", "7");
    row("CR", "[Vantorb]\rFlashRate=7\r", "7");
    row("names in other case", "[VANTORB]\nflashrate=7\n", "7");
    row("asked in other case", "[Vantorb]\nFlashRate=7\n", "7", " FLASHRATE\t");
    row("blanks around value", "[Vantorb]\nFlashRate=   7 \t\n", "7");
    row("blanks around names", " \t[ Vantorb ]\t\n  FlashRate \t= 7\n", "7");
    row("double quotes", "[Vantorb]\nFlashRate=\" 7 \"\n", " 7 ");
    row("single quotes", "[Vantorb]\nFlashRate='7'\n", "7");
    row("one pair only", "[Vantorb]\nFlashRate=\"\"7\"\"\n", "\"7\"");
    row("quotes not matching", "[Vantorb]\nFlashRate=\"7'\n", "\"7'");
    row("lone quote", "[Vantorb]\nFlashRate=\"\n", "\"");
    row("empty value", "[Vantorb]\nFlashRate=\n", "");
    row("equals in value", "[Vantorb]\nFlashRate=a=b\n", "a=b");
    row("Latin-1", "[Vantorb]\n\xC4rger=caf\xE9\n", QString::fromUtf8("café"),
        QString::fromUtf8("äRGER"));
    row("Latin-1 in its own case", "[Vantorb]\n\xC4rger=caf\xE9\n", QString::fromUtf8("café"),
        QString::fromUtf8("Ärger"));
    row("first key wins", "[Vantorb]\nFlashRate=1\nflashrate=2\n", "1");
    row("first section wins", "[Vantorb]\nFlashRate=1\n[vantorb]\nFlashRate=2\n", "1");
    row("later section unseen", "[Vantorb]\nA=1\n[Vantorb]\nFlashRate=2\n", QString());
    row("line without equals", "[Vantorb]\nFlashRate\n", QString());
    row("comments", "[Vantorb]\n;FlashRate=1\n  ; FlashRate=2\n", QString());
    row("key before any section", "FlashRate=1\n[Vantorb]\n", QString());
    row("key of another section", "[Vantorb]\n[Other]\nFlashRate=1\n", QString());
    row("text after heading", "[Vantorb] ; lamp\nFlashRate=4\n", "4");
    row("broken heading is no heading", "[Vantorb]\n[Other\nFlashRate=4\n", "4");
    row("byte-order mark", "\xEF\xBB\xBF[Vantorb]\nFlashRate=4", "4");
    row("empty content", "", QString());
}

void TestProfileFile::readsValues() {
    QFETCH(QByteArray, content);
    QFETCH(QString, key);
    QFETCH(QString, expected);

    const std::optional<QString> result = readValue(content, Vantorb, key);
    QCOMPARE(result.has_value(), !expected.isNull());
    QCOMPARE(result.value_or(QString()), expected);
#ifdef Q_OS_WIN
    const QByteArray tag = QTest::currentDataTag();
    if (!ReadsUnlikeTheSystem.contains(tag) &&
        (GetACP() == 1252 || !ReadsInWindows1252.contains(tag))) {
        int systemNumber = 0;
        const QString system = systemRead(content, key, &systemNumber);
        QCOMPARE(system.isNull(), expected.isNull());
        QCOMPARE(system, expected);
        bool isNumber = false;
        const int number = expected.toInt(&isNumber);
        if (isNumber) {
            QCOMPARE(systemNumber, number);
        }
    }
#endif
}

// Section "Vantorb", key "FlashRate"; a new file gets CR LF line ends.
void TestProfileFile::writesValues_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("expected");
    const auto row = [](const char* name, const QByteArray& content, const QString& value,
                        const QByteArray& expected) {
        QTest::newRow(name) << content << value << expected;
    };

    row("new file", "", " 10", "[Vantorb]\r\nFlashRate= 10\r\n");
    row("rewritten in place, own spelling", "[VANTORB]\nA=1\n  flashRATE \t=   7 ; old\nB=2\n",
        " 10", "[VANTORB]\nA=1\n  flashRATE \t= 10\nB=2\n");
    row("new key after last key", "[Vantorb]\nA=1\n; note\nB=2\n\n; tail\n[Other]\nX=1\n", "5",
        "[Vantorb]\nA=1\n; note\nB=2\nFlashRate=5\n\n; tail\n[Other]\nX=1\n");
    row("new key in empty section", "; head\n[Vantorb]\n; note\n[Other]\n", "5",
        "; head\n[Vantorb]\nFlashRate=5\n; note\n[Other]\n");
    row("first of two sections", "[Vantorb]\nA=1\n[Other]\n[Vantorb]\nFlashRate=2\n", "5",
        "[Vantorb]\nA=1\nFlashRate=5\n[Other]\n[Vantorb]\nFlashRate=2\n");
    row("new section at end", "[Other]\nX=1\n\n", "5", "[Other]\nX=1\n\n[Vantorb]\nFlashRate=5\n");
    row("missing final line end added", "[Other]\r\nX=1", "5",
        "[Other]\r\nX=1\r\n[Vantorb]\r\nFlashRate=5\r\n");
    row("CR file", "[Vantorb]\rA=1", "5", "[Vantorb]\rA=1\rFlashRate=5\r");
    row("neighbour's line end", "[Other]\r\n[Vantorb]\nA=1\r\r\n", "5",
        "[Other]\r\n[Vantorb]\nA=1\rFlashRate=5\r\r\n");
    row("byte-order mark kept",
        "\xEF\xBB\xBF"
        "FlashRate=1\n[Vantorb]\n",
        "5",
        "\xEF\xBB\xBF"
        "FlashRate=1\n[Vantorb]\nFlashRate=5\n");
    row("Latin-1 value", "[Vantorb]\nFlashRate=1 ; x\n", QString::fromUtf8("é"),
        "[Vantorb]\nFlashRate=\xE9\n");
}

void TestProfileFile::writesValues() {
    QFETCH(QByteArray, content);
    QFETCH(QString, value);
    QFETCH(QByteArray, expected);

    const QByteArray written = writeValue(content, Vantorb, FlashRate, value, "\r\n");
    QCOMPARE(written, expected);
#ifdef Q_OS_WIN
    // The system's writer may lay the file out otherwise, but a reader must find the same in
    // both: the value written, and every other key as it was.
    const QByteArray system = systemWrite(content, value);
    for (const QString& key : {FlashRate, QStringLiteral("A"), QStringLiteral("B")}) {
        QCOMPARE(readValue(system, Vantorb, key), readValue(written, Vantorb, key));
    }
    QCOMPARE(readValue(system, "Other", "X"), readValue(written, "Other", "X"));
#endif
    // The blank of a Str-style value is written but is not part of the value read back.
    QCOMPARE(readValue(written, Vantorb, FlashRate).value_or(QString()), value.trimmed());
}

void TestProfileFile::refusesWhatCannotBeReadBack_data() {
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");

    QTest::newRow("bracket in section") << "Van]torb" << FlashRate << "1";
    QTest::newRow("line break in section") << "Van\ntorb" << FlashRate << "1";
    QTest::newRow("equals in key") << Vantorb << "Flash=Rate"
                                   << "1";
    QTest::newRow("comment key") << Vantorb << " ;FlashRate"
                                 << "1";
    QTest::newRow("heading key") << Vantorb << "[FlashRate"
                                 << "1";
    QTest::newRow("CR in value") << Vantorb << FlashRate << "1\r2";
    QTest::newRow("LF in value") << Vantorb << FlashRate << "1\n[Other]";
    QTest::newRow("not Latin-1") << Vantorb << FlashRate << QString::fromUtf8("€");
}

void TestProfileFile::refusesWhatCannotBeReadBack() {
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);

    const QByteArray content("[Vantorb]\nFlashRate=7\n");
    QCOMPARE(writeValue(content, section, key, value, "\n"), content);
    QTemporaryDir dir;
    const QString path = dir.filePath("corvexa.ini");
    putFile(path, content);
    QVERIFY(!WritePrivateProfileString(section, key, value, path));
    QCOMPARE(fileBytes(path), content);
}

// Random files built from lines that matter to the reader, and random writes into them: the
// written key must read back, and every other key must read as before.
void TestProfileFile::writeThenReadKeepsOtherKeys() {
    const QList<QByteArray> fragments = {"[Vantorb]", "[ vantorb ]", "[Other]",     "[]",
                                         "[broken",   "FlashRate=1", "a = 2",       "A=\"3\"",
                                         "B",         ";A=5",        "=6",          "",
                                         "  ",        "\xFF=\xFE",   "\xEF\xBB\xBF"};
    const QList<QByteArray> lineEnds = {"\n", "\r\n", "\r", ""};
    const QStringList sections = {Vantorb, "Other", "", "New"};
    const QStringList keys = {FlashRate, "A", "b", "", QString::fromLatin1("\xFF")};

    QRandomGenerator random(20240611);
    for (int round = 0; round < 2000; ++round) {
        QByteArray content;
        for (int i = random.bounded(8); i > 0; --i) {
            content += fragments.at(random.bounded(fragments.size())) +
                       lineEnds.at(random.bounded(lineEnds.size()));
        }
        const QString section = sections.at(random.bounded(sections.size()));
        const QString key = keys.at(random.bounded(keys.size()));
        const QString value = QString::number(random.bounded(1000));

        const QByteArray written = writeValue(content, section, key, value, "\n");
        const QByteArray context =
            content.toPercentEncoding() + " [" + section.toLatin1() + "] " + key.toLatin1();
        QVERIFY2(readValue(written, section, key) == value, context.constData());
        for (const QString& otherSection : sections) {
            for (const QString& otherKey : keys) {
                if (otherSection.compare(section, Qt::CaseInsensitive) != 0 ||
                    otherKey.compare(key, Qt::CaseInsensitive) != 0) {
                    QVERIFY2(readValue(written, otherSection, otherKey) ==
                                 readValue(content, otherSection, otherKey),
                             context.constData());
                }
            }
        }
    }
}

void TestProfileFile::fileFunctions() {
    QTemporaryDir dir;
    const QString path = dir.filePath("corvexa.ini");
    QCOMPARE(GetPrivateProfileString(Vantorb, FlashRate, "10", path), QString("10"));
    QVERIFY(WritePrivateProfileString(Vantorb, FlashRate, " 10", path));
    QCOMPARE(fileBytes(path),
             "[Vantorb]" + platformLineEnd() + "FlashRate= 10" + platformLineEnd());

    putFile(path, "; mine\r\n[vantorb]\r\nflashrate=1\r\n[Other]\r\nX=" + QByteArray(300, 'x'));
    QVERIFY(WritePrivateProfileString(Vantorb, FlashRate, " 25", path));
    QVERIFY(WritePrivateProfileString(Vantorb, "Brightness", " 3", path));
    QCOMPARE(fileBytes(path),
             "; mine\r\n[vantorb]\r\nflashrate= 25\r\nBrightness= 3\r\n[Other]\r\nX=" +
                 QByteArray(300, 'x'));
    QCOMPARE(GetPrivateProfileString(Vantorb, FlashRate, "10", path), QString("25"));
    QCOMPARE(GetPrivateProfileString(Vantorb, "Missing", "10", path), QString("10"));
    // A default loses its trailing blanks, not its leading ones; a value found keeps its own.
    QCOMPARE(GetPrivateProfileString(Vantorb, "Missing", " 10  ", path), QString(" 10"));
    QCOMPARE(GetPrivateProfileString(Vantorb, "Missing", "   ", path), QString(""));
    QCOMPARE(GetPrivateProfileString("Other", "X", "  ", path), QString(MaxValueLength, u'x'));
    QCOMPARE(GetPrivateProfileString("Other", "X", "", path), QString(MaxValueLength, u'x'));
    // The temporary file of each save is gone.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"corvexa.ini"});
}

void TestProfileFile::oddPaths() {
    QTemporaryDir dir;
    const QString folder = dir.filePath("corvexa.ini");
    QVERIFY(QDir().mkdir(folder));
    QCOMPARE(GetPrivateProfileString(Vantorb, FlashRate, "10", folder), QString("10"));
    QVERIFY(!WritePrivateProfileString(Vantorb, FlashRate, "5", folder));
    QVERIFY(QFileInfo(folder).isDir());

    QVERIFY(!WritePrivateProfileString(Vantorb, FlashRate, "5", dir.filePath("no/corvexa.ini")));
    QVERIFY(!QFileInfo::exists(dir.filePath("no")));
    QCOMPARE(GetPrivateProfileString(Vantorb, FlashRate, "10", QString()), QString("10"));
    QVERIFY(!WritePrivateProfileString(Vantorb, FlashRate, "5", QString()));
}

QTEST_GUILESS_MAIN(TestProfileFile)
#include "tst_ProfileFile.moc"
