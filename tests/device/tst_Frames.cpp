// Frames on the wire: golden frames byte for byte, the framing every frame has whatever its
// fields hold, segment addresses, and SendToVantorb's address rule.
#include <QTest>

#include "device/Frames.h"
#include "support/Harness.h"

class FramesTest : public QObject {
    Q_OBJECT

  private slots:
    void goldenFrames_data();
    void goldenFrames();
    void everyFrameIsElevenBytesFramed();
    void segmentAddresses_data();
    void segmentAddresses();
    void sendToVantorb_data();
    void sendToVantorb();
    void writerKeepsTextAndCodeAndIgnoresPortState();
};

void FramesTest::goldenFrames_data() {
    QTest::addColumn<int>("lead");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("colour");
    QTest::addColumn<QByteArray>("bytes");  // \001 is SOH, \002 STX
    const auto row = [](const char* name, int lead, const char* address, const char* colour,
                        const char* bytes) {
        QTest::newRow(name) << lead << QString::fromLatin1(address) << QString::fromLatin1(colour)
                            << QByteArray(bytes);
    };
    row("address before colour", 1, "80", "12AB3F", "\0018012AB3F\r\n");
    row("STX lead", 2, "04", "FE0000", "\00204FE0000\r\n");
    // A colour worked out before any brightness was applied is shorter than six digits.
    row("short colour padded on the left", 1, "00", "FF00", "\0010000FF00\r\n");
    row("empty colour", 1, "80", "", "\00180000000\r\n");
    row("long colour keeps its last digits", 1, "00", "12FF0000", "\00100FF0000\r\n");
    row("one-digit address", 1, "4", "FF0000", "\00104FF0000\r\n");
}

void FramesTest::goldenFrames() {
    QFETCH(int, lead);
    QFETCH(QString, address);
    QFETCH(QString, colour);
    QFETCH(QByteArray, bytes);
    QCOMPARE(Frames::toBytes(Frames::build(static_cast<Frames::Lead>(lead), address, colour)),
             bytes);
}

// What the device needs of every frame, whatever the fields hold: 11 bytes, the lead byte
// first, CR LF last and nowhere else.
void FramesTest::everyFrameIsElevenBytesFramed() {
    for (const Frames::Lead lead : {Frames::Lead::SOH, Frames::Lead::STX}) {
        for (const char* address : {"", "4", "84", "123"}) {
            for (const char* colour : {"", "F", "FF0000", "1234567", "123456789"}) {
                const QString text = Frames::build(lead, address, colour);
                const QByteArray bytes = Frames::toBytes(text);
                const QByteArray fields = bytes.mid(1, 8);
                const QByteArray where = "[" + QByteArray(address) + "] [" + colour + ']';
                QVERIFY2(text.size() == Frames::Length && bytes.size() == 11, where.constData());
                QVERIFY2(bytes.startsWith(char(lead)) && bytes.endsWith("\r\n"), where.constData());
                QVERIFY2(!fields.contains('\r') && !fields.contains('\n'), where.constData());
            }
        }
    }
}

void FramesTest::segmentAddresses_data() {
    QTest::addColumn<int>("segment");
    QTest::addColumn<bool>("white");
    QTest::addColumn<QString>("address");
    QTest::newRow("1") << 1 << false << "01";
    QTest::newRow("4") << 4 << false << "04";
    QTest::newRow("1 white") << 1 << true << "81";
    QTest::newRow("4 white") << 4 << true << "84";
    QTest::newRow("whole white") << 0 << true << "80";
}

void FramesTest::segmentAddresses() {
    QFETCH(int, segment);
    QFETCH(bool, white);
    QFETCH(QString, address);
    QCOMPARE(Frames::segmentAddress(segment, white), address);
}

void FramesTest::sendToVantorb_data() {
    QTest::addColumn<QString>("whiteCode");
    QTest::addColumn<QString>("colour");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("black never lights white")
        << "80" << QString("000000") << QByteArray("\00100000000\r\n");
    QTest::newRow("colour takes white code")
        << "80" << QString("FF0000") << QByteArray("\00180FF0000\r\n");
    QTest::newRow("lower case is not black")
        << "80" << QString("ff0000") << QByteArray("\00180ff0000\r\n");
    QTest::newRow("white off") << "00" << QString("222200") << QByteArray("\00100222200\r\n");
}

void FramesTest::sendToVantorb() {
    QFETCH(QString, whiteCode);
    QFETCH(QString, colour);
    QFETCH(QByteArray, bytes);
    Harness h;
    h.openPortAndClear();
    h.state.WhiteCode = whiteCode;
    h.controller->port().SendToVantorb(colour);
    QCOMPARE(h.written(), QList<QByteArray>{bytes});
    QCOMPARE(h.state.FrameText, QString::fromLatin1(bytes));
}

void FramesTest::writerKeepsTextAndCodeAndIgnoresPortState() {
    Harness h;
    // The port was never opened: the write still happens and its failure code is kept.
    h.controller->port().sendFrame(Frames::Lead::SOH, "00", "FF0000");
    QCOMPARE(h.written().size(), 1);
    QVERIFY(h.state.LastResult < 0);
    QCOMPARE(h.state.FrameText.size(), 11);

    h.openPortAndClear();
    h.controller->port().sendFrame(Frames::Lead::STX, "01", "FF0000");
    QCOMPARE(h.state.LastResult, int16_t(11));
    QCOMPARE(h.serial.writes().first().args, (QList<int>{h.state.PortIndex, 11}));
}

QTEST_GUILESS_MAIN(FramesTest)
#include "tst_Frames.moc"
