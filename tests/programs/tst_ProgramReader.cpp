// The program-file reader on whole files: records in order, shifted records, line ends, and
// the line and reason of every failure.
#include <QTest>

#include "programs/ProgramError.h"
#include "programs/ProgramReader.h"

namespace {

// Reads a file as the runner does and describes it: each record as its six values and the
// lines they came from ("1 10 10 255 255 30 @2", "@2-3" when it spans lines), then the error.
QString describe(const QByteArray& bytes) {
    ProgramReader reader(bytes);
    if (!reader.skipHeader()) {
        return QStringLiteral("no header");
    }
    QStringList parts;
    try {
        while (!reader.atEnd()) {
            const ProgramRecord r = reader.readRecord();
            QString text = QStringLiteral("%1 %2 %3 %4 %5 %6 @%7")
                               .arg(r.nSegmentID)
                               .arg(r.nStartFrequency)
                               .arg(r.nEndFrequency)
                               .arg(r.nStartBrightness)
                               .arg(r.nEndBrightness)
                               .arg(r.nDuration)
                               .arg(r.line());
            if (r.lines.back() != r.line()) {
                text += QStringLiteral("-%1").arg(r.lines.back());
            }
            parts.append(text);
        }
    } catch (const ProgramError& error) {
        parts.append(error.message());
    }
    return parts.join(QStringLiteral("; "));
}

}  // namespace

class ProgramReaderTest : public QObject {
    Q_OBJECT

  private slots:
    void readsFile_data();
    void readsFile();
};

void ProgramReaderTest::readsFile_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");

    const QByteArray h = "Segment,F1,F2,B1,B2,Seconds\r\n";
    const QString two = QStringLiteral("1 10 10 255 255 30 @2; 2 10 4 255 40 60 @3");

    QTest::newRow("empty file") << QByteArray() << "no header";
    QTest::newRow("header only") << h << "";
    QTest::newRow("header without line end") << QByteArray("Segment,F1") << "";
    QTest::newRow("empty header line")
        << QByteArray("\r\n1,10,10,255,255,30") << "1 10 10 255 255 30 @2";
    QTest::newRow("CR LF") << h + "1,10,10,255,255,30\r\n2,10,4,255,40,60\r\n" << two;
    QTest::newRow("LF") << QByteArray("h\n1,10,10,255,255,30\n2,10,4,255,40,60\n") << two;
    QTest::newRow("lone CR") << QByteArray("h\r1,10,10,255,255,30\r2,10,4,255,40,60\r") << two;
    QTest::newRow("no final line end") << h + "1,10,10,255,255,30\r\n2,10,4,255,40,60" << two;
    QTest::newRow("trailing empty lines")
        << h + "1,10,10,255,255,30\r\n2,10,4,255,40,60\r\n\r\n\n\r\n"
        << two;
    QTest::newRow("trailing blank lines")
        << h + "1,10,10,255,255,30\r\n2,10,4,255,40,60\r\n  \r\n\t\r\n"
        << two;
    QTest::newRow("no header: first record is lost")
        << QByteArray("1,10,10,255,255,30\r\n2,10,4,255,40,60\r\n") << "2 10 4 255 40 60 @2";
    QTest::newRow("blanks, signs, extremes") << h + " -32768 ,+5,\t32767\t, 0 ,-0,7 \r\n"
                                             << "-32768 5 32767 0 0 7 @2";
    QTest::newRow("record over three lines") << h + "1,10\r\n10,255\r\n255,30\r\n"
                                             << "1 10 10 255 255 30 @2-4";
    QTest::newRow("short line shifts the rest")
        << h + "1,10,10,255,255\r\n2,10,10,255,255,30\r\n3,5,5,0,0,1\r\n"
        << "1 10 10 255 255 2 @2-3; 10 10 255 255 30 3 @3-4; "
           "Line 4: the record has only 5 of its 6 values";
    QTest::newRow("long line shifts the rest") << h + "1,10,10,255,255,30,7\r\n2,10,10,255,255\r\n"
                                               << "1 10 10 255 255 30 @2; 7 2 10 10 255 255 @2-3";
    QTest::newRow("last record short") << h + "1,10,10,255,255,30\r\n2,10,10\r\n"
                                       << "1 10 10 255 255 30 @2; "
                                          "Line 3: the record has only 3 of its 6 values";
    QTest::newRow("short record before empty lines")
        << h + "1,10,10\r\n\r\n\r\n"
        << "Line 2: the record has only 3 of its 6 values";
    QTest::newRow("trailing comma ends the record") << h + "1,10,10,255,255,30,\r\n"
                                                    << "1 10 10 255 255 30 @2";
    QTest::newRow("trailing comma mid-file") << h + "1,10,10,255,255,30,\r\n2,10,10,255,255,30\r\n"
                                             << "1 10 10 255 255 30 @2; Line 2: a value is missing";
    QTest::newRow("empty line mid-file") << h + "1,10,10,255,255,30\r\n\r\n2,10,10,255,255,30\r\n"
                                         << "1 10 10 255 255 30 @2; Line 3: a value is missing";
    QTest::newRow("LF CR is two line ends")
        << QByteArray("h\n\r1,1,1,1,1,1\n") << "Line 2: a value is missing";
    QTest::newRow("empty field") << h + "1,,10,255,255,30\r\n"
                                 << "Line 2: a value is missing";
    QTest::newRow("word") << h + "1,10,10,255,255,30\r\n2,abc,10,255,255,30\r\n"
                          << "1 10 10 255 255 30 @2; Line 3: \"abc\" is not a whole number";
    QTest::newRow("fraction") << h + "1,10,10,255,255,1.5\r\n"
                              << "Line 2: \"1.5\" is not a whole number";
    QTest::newRow("exponent") << h + "1,1e3,10,255,255,30\r\n"
                              << "Line 2: \"1e3\" is not a whole number";
    QTest::newRow("lone sign") << h + "1,-,10,255,255,30\r\n"
                               << "Line 2: \"-\" is not a whole number";
    QTest::newRow("quoted") << h + "\"1\",10,10,255,255,30\r\n"
                            << "Line 2: \"\"1\"\" is not a whole number";
    QTest::newRow("blank inside") << h + "1,1 0,10,255,255,30\r\n"
                                  << "Line 2: \"1 0\" is not a whole number";
    QTest::newRow("NUL byte") << h + QByteArray("1,10,10,2\0005,255,30\r\n", 20)
                              << QStringLiteral("Line 2: \"2") + QChar(0) +
                                     "5\" is not a whole number";
    QTest::newRow("too large in line 7")
        << h + QByteArray("1,1,1,1,1,1\r\n").repeated(5) + "1,1,1,1,40000,1\r\n"
        << "1 1 1 1 1 1 @2; 1 1 1 1 1 1 @3; 1 1 1 1 1 1 @4; 1 1 1 1 1 1 @5; 1 1 1 1 1 1 @6; "
           "Line 7: 40000 is outside -32768 to 32767";
    QTest::newRow("too small") << h + "1,1,1,1,1,-32769\r\n"
                               << "Line 2: -32769 is outside -32768 to 32767";
    QTest::newRow("leading zeros") << h + "1,1,1,1,1,000000000000000000000000000000007\r\n"
                                   << "1 1 1 1 1 7 @2";
    QTest::newRow("many digits") << h + "1,1,1,1,1,123456789012345678901234567890\r\n"
                                 << "Line 2: 12345678901234567890... is outside -32768 to 32767";
}

void ProgramReaderTest::readsFile() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    QCOMPARE(describe(bytes), expected);
}

QTEST_APPLESS_MAIN(ProgramReaderTest)
#include "tst_ProgramReader.moc"
