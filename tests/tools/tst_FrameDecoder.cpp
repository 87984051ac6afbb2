#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

#include "FrameDecoder.h"

namespace {

// One line per decoded item: "SOH 00 FF0000" for a frame, "BAD 01 30 5A" for junk.
QStringList render(const QList<DecodedItem>& items) {
    QStringList lines;
    for (const DecodedItem& item : items) {
        if (item.kind == DecodedItem::Kind::Frame) {
            lines << QStringLiteral("%1 %2 %3")
                         .arg(item.frame.leadName(), item.frame.addressText(),
                              item.frame.colourText());
        } else {
            lines << QStringLiteral("BAD ") + QString::fromLatin1(item.bytes.toHex(' ').toUpper());
        }
    }
    return lines;
}

QByteArray frame(char lead, const char* address, const char* colour) {
    return QByteArray(1, lead) + address + colour + "\r\n";
}

// Decodes stream cut into pieces at the given offsets, then flushes what is left.
QList<DecodedItem> decodeSplit(const QByteArray& stream, const QList<qsizetype>& cuts,
                               FrameDecoder& decoder) {
    QList<DecodedItem> items;
    qsizetype from = 0;
    for (const qsizetype cut : cuts) {
        items << decoder.feed(QByteArrayView(stream).sliced(from, cut - from));
        from = cut;
    }
    items << decoder.feed(QByteArrayView(stream).sliced(from));
    items << decoder.flush();
    return items;
}

}  // namespace

class TestFrameDecoder : public QObject {
    Q_OBJECT
  private slots:
    void decodesStream_data();
    void decodesStream();
    void holdsPartialFrameUntilCompleted();
    void junkNeverHidesFollowingFrame();
};

void TestFrameDecoder::decodesStream_data() {
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QStringList>("expected");

    const QByteArray red = frame(0x01, "00", "FF0000");
    const QByteArray blueWhite4 = frame(0x02, "84", "0000FF");

    QTest::newRow("empty") << QByteArray() << QStringList();
    QTest::newRow("one SOH frame") << red << QStringList{"SOH 00 FF0000"};
    QTest::newRow("STX, white bit, segment 4") << blueWhite4 << QStringList{"STX 84 0000FF"};
    QTest::newRow("every hex digit") << frame(0x01, "9A", "BCDEF1") << QStringList{"SOH 9A BCDEF1"};
    QTest::newRow("back to back") << red + blueWhite4 + frame(0x01, "00", "000000")
                                  << QStringList{"SOH 00 FF0000", "STX 84 0000FF", "SOH 00 000000"};
    QTest::newRow("wrong lead byte")
        << QByteArray(
               "\x03"
               "00FF0000\r\n") +
               red
        << QStringList{"BAD 03 30 30 46 46 30 30 30 30 0D 0A", "SOH 00 FF0000"};
    QTest::newRow("lower-case colour")
        << QByteArray(
               "\x01"
               "00ff0000\r\n") +
               red
        << QStringList{"BAD 01 30 30 66 66 30 30 30 30 0D 0A", "SOH 00 FF0000"};
    QTest::newRow("non-hex address digit") << QByteArray(
                                                  "\x01"
                                                  "0Z") +
                                                  red
                                           << QStringList{"BAD 01 30 5A", "SOH 00 FF0000"};
    QTest::newRow("missing CR LF")
        << QByteArray(
               "\x01"
               "00FF0000") +
               red
        << QStringList{"BAD 01 30 30 46 46 30 30 30 30", "SOH 00 FF0000"};
    QTest::newRow("CR without LF")
        << QByteArray(
               "\x01"
               "00FF0000\r") +
               red
        << QStringList{"BAD 01 30 30 46 46 30 30 30 30 0D", "SOH 00 FF0000"};
    QTest::newRow("LF CR swapped")
        << QByteArray(
               "\x01"
               "00FF0000\n\r") +
               red
        << QStringList{"BAD 01 30 30 46 46 30 30 30 30 0A 0D", "SOH 00 FF0000"};
    QTest::newRow("seven colour digits")
        << QByteArray(
               "\x01"
               "00FF00000\r\n") +
               red
        << QStringList{"BAD 01 30 30 46 46 30 30 30 30 30 0D 0A", "SOH 00 FF0000"};
    QTest::newRow("short frame cut by lead") << QByteArray(
                                                    "\x01"
                                                    "00FF") +
                                                    blueWhite4
                                             << QStringList{"BAD 01 30 30 46 46", "STX 84 0000FF"};
    QTest::newRow("lead byte alone")
        << QByteArray("\x02") + red << QStringList{"BAD 02", "SOH 00 FF0000"};
    QTest::newRow("garbage between frames")
        << red + "hello" + blueWhite4
        << QStringList{"SOH 00 FF0000", "BAD 68 65 6C 6C 6F", "STX 84 0000FF"};
    QTest::newRow("extra line end after frame")
        << red + "\r\n" + red << QStringList{"SOH 00 FF0000", "BAD 0D 0A", "SOH 00 FF0000"};
    QTest::newRow("NUL bytes before frame")
        << QByteArray(3, '\0') + red << QStringList{"BAD 00 00 00", "SOH 00 FF0000"};
    QTest::newRow("high bytes before frame")
        << QByteArray("\xff\x81") + red << QStringList{"BAD FF 81", "SOH 00 FF0000"};
    QTest::newRow("trailing partial frame") << red + QByteArray(
                                                         "\x01"
                                                         "80FF")
                                            << QStringList{"SOH 00 FF0000", "BAD 01 38 30 46 46"};
    QTest::newRow("trailing junk") << red + "zz" << QStringList{"SOH 00 FF0000", "BAD 7A 7A"};

    const QString x64 = QStringList(64, QStringLiteral("78")).join(QLatin1Char(' '));
    const QString x36 = QStringList(36, QStringLiteral("78")).join(QLatin1Char(' '));
    QTest::newRow("long junk in pieces")
        << QByteArray(100, 'x') + red << QStringList{"BAD " + x64, "BAD " + x36, "SOH 00 FF0000"};
}

void TestFrameDecoder::decodesStream() {
    QFETCH(QByteArray, stream);
    QFETCH(QStringList, expected);

    // In one piece.
    {
        FrameDecoder decoder;
        QCOMPARE(render(decodeSplit(stream, {}, decoder)), expected);
        const auto bad = expected.filter(QRegularExpression(QStringLiteral("^BAD"))).size();
        QCOMPARE(decoder.malformedCount(), quint64(bad));
        QCOMPARE(decoder.frameCount(), quint64(expected.size() - bad));
        QCOMPARE(decoder.pendingSize(), 0);
    }
    // Byte by byte.
    {
        FrameDecoder decoder;
        QList<qsizetype> cuts;
        for (qsizetype i = 1; i < stream.size(); ++i) {
            cuts << i;
        }
        QCOMPARE(render(decodeSplit(stream, cuts, decoder)), expected);
    }
    // In two pieces, cut at every position.
    for (qsizetype cut = 1; cut < stream.size(); ++cut) {
        FrameDecoder decoder;
        const QStringList got = render(decodeSplit(stream, {cut}, decoder));
        if (got != expected) {
            QFAIL(qPrintable(QStringLiteral("cut at %1: %2").arg(cut).arg(got.join(" | "))));
        }
    }
}

void TestFrameDecoder::holdsPartialFrameUntilCompleted() {
    // Nothing is reported for a frame that is still arriving, and its remainder completes it.
    FrameDecoder decoder;
    QVERIFY(decoder
                .feed(QByteArray("\x01"
                                 "80FF"))
                .isEmpty());
    QCOMPARE(decoder.pendingSize(), 5);
    QCOMPARE(render(decoder.feed(QByteArray("FFFF\r\n"))), QStringList{"SOH 80 FFFFFF"});
    QCOMPARE(decoder.pendingSize(), 0);
    QVERIFY(decoder.flush().isEmpty());
}

void TestFrameDecoder::junkNeverHidesFollowingFrame() {
    // Random junk (biased towards bytes that look like frame parts), then a good frame, fed
    // in random chunk sizes: the frame must always come out last, whole.
    QRandomGenerator rng(20240611);
    const QByteArray alphabet("\x01\x02\r\n0123456789ABCDEFabZ \xff", 21);
    const QByteArray good = frame(0x02, "83", "12AB9F");
    for (int round = 0; round < 2000; ++round) {
        QByteArray junk;
        const int length = rng.bounded(0, 40);
        for (int i = 0; i < length; ++i) {
            junk += rng.bounded(4) == 0 ? char(rng.bounded(256))
                                        : alphabet.at(rng.bounded(int(alphabet.size())));
        }
        const QByteArray stream = junk + good;
        QList<qsizetype> cuts;
        for (qsizetype at = rng.bounded(1, 12); at < stream.size(); at += rng.bounded(1, 12)) {
            cuts << at;
        }
        FrameDecoder decoder;
        const QList<DecodedItem> items = decodeSplit(stream, cuts, decoder);
        QVERIFY2(!items.isEmpty(), junk.toHex(' ').constData());
        QVERIFY2(render({items.last()}) == QStringList{"STX 83 12AB9F"},
                 junk.toHex(' ').constData());
        // Every byte of the stream is accounted for in exactly one item.
        qsizetype total = 0;
        for (const DecodedItem& item : items) {
            total +=
                item.kind == DecodedItem::Kind::Frame ? FrameDecoder::FrameSize : item.bytes.size();
        }
        QCOMPARE(total, stream.size());
    }
}

QTEST_APPLESS_MAIN(TestFrameDecoder)
#include "tst_FrameDecoder.moc"
