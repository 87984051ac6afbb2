// Frames on the wire: every frame the controller sends, byte for byte, and SendToVantorb's
// address rule.
#include <QTest>

#include "device/Frames.h"
#include "support/Harness.h"

class FramesTest : public QObject {
    Q_OBJECT

  private slots:
    void everyFrameKind_data();
    void everyFrameKind();
    void oddInputsStillGiveElevenBytes_data();
    void oddInputsStillGiveElevenBytes();
    void segmentAddresses_data();
    void segmentAddresses();
    void sendToVantorb_data();
    void sendToVantorb();
    void writerKeepsTextAndCodeAndIgnoresPortState();
};

void FramesTest::everyFrameKind_data() {
    QTest::addColumn<int>("lead");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("colour");
    QTest::addColumn<QByteArray>("bytes");
    const auto row = [](const char* name, int lead, const char* address, const char* colour,
                        const char* bytes) {
        QTest::newRow(name) << lead << QString::fromLatin1(address) << QString::fromLatin1(colour)
                            << QByteArray(bytes, 11);
    };
    row("whole device red", 1, "00", "FF0000",
        "\x01"
        "00FF0000\r\n");
    row("white LEDs with colour", 1, "80", "00FF00",
        "\x01"
        "8000FF00\r\n");
    row("closing dark frame", 1, "00", "000000",
        "\x01"
        "00000000\r\n");
    row("spin segment with white", 1, "81", "FFFF00",
        "\x01"
        "81FFFF00\r\n");
    row("spin segment 4 white dark", 1, "84", "000000",
        "\x01"
        "84000000\r\n");
    row("program grey level", 1, "80", "7F7F7F",
        "\x01"
        "807F7F7F\r\n");
    row("gradient step", 2, "00", "FE0000",
        "\x02"
        "00FE0000\r\n");
    row("reset segment 4 yellow", 2, "04", "FFFF00",
        "\x02"
        "04FFFF00\r\n");
}

void FramesTest::everyFrameKind() {
    QFETCH(int, lead);
    QFETCH(QString, address);
    QFETCH(QString, colour);
    QFETCH(QByteArray, bytes);
    const QString text = Frames::build(static_cast<Frames::Lead>(lead), address, colour);
    QCOMPARE(Frames::toBytes(text), bytes);
    QCOMPARE(text.size(), Frames::Length);
}

void FramesTest::oddInputsStillGiveElevenBytes_data() {
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("colour");
    QTest::addColumn<QByteArray>("bytes");
    // A colour worked out before any brightness was applied is shorter than six digits.
    QTest::newRow("short colour") << "00"
                                  << "0000"
                                  << QByteArray(
                                         "\x01"
                                         "00000000\r\n",
                                         11);
    QTest::newRow("empty colour") << "80"
                                  << ""
                                  << QByteArray(
                                         "\x01"
                                         "80000000\r\n",
                                         11);
    QTest::newRow("long colour") << "00"
                                 << "12FF0000"
                                 << QByteArray(
                                        "\x01"
                                        "00FF0000\r\n",
                                        11);
    QTest::newRow("one-digit address") << "4"
                                       << "FF0000"
                                       << QByteArray(
                                              "\x01"
                                              "04FF0000\r\n",
                                              11);
}

void FramesTest::oddInputsStillGiveElevenBytes() {
    QFETCH(QString, address);
    QFETCH(QString, colour);
    QFETCH(QByteArray, bytes);
    QCOMPARE(Frames::toBytes(Frames::build(Frames::Lead::SOH, address, colour)), bytes);
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
    QTest::newRow("black never lights white") << "80"
                                              << "000000"
                                              << QByteArray(
                                                     "\x01"
                                                     "00000000\r\n",
                                                     11);
    QTest::newRow("colour takes white code") << "80"
                                             << "FF0000"
                                             << QByteArray(
                                                    "\x01"
                                                    "80FF0000\r\n",
                                                    11);
    QTest::newRow("lower case is not black") << "80"
                                             << "ff0000"
                                             << QByteArray(
                                                    "\x01"
                                                    "80ff0000\r\n",
                                                    11);
    QTest::newRow("white off") << "00"
                               << "222200"
                               << QByteArray(
                                      "\x01"
                                      "00222200\r\n",
                                      11);
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
