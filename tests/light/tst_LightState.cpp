// The colour model: flash colour and brightness to colour text and full-level RGB value.
#include <QTest>

#include "light/LightState.h"

class LightStateTest : public QObject {
    Q_OBJECT

  private slots:
    void startValues();
    void colourTable_data();
    void colourTable();
    void indexesOutsideTheTables();
    void whiteCode();
};

void LightStateTest::startValues() {
    const Settings settings;
    QCOMPARE(settings.ComPortNumber, int16_t(0));
    QCOMPARE(settings.FlashRate, int16_t(10));
    QCOMPARE(settings.FlashColourIndex, int16_t(2));
    QCOMPARE(settings.BrightnessIndex, int16_t(3));
    const LightState state;
    QVERIFY(!state.PortOpen && !state.FlashLit && !state.StopFlashing && !state.ProgramRunning);
    QVERIFY(state.CurrentColour.isEmpty() && state.LevelHex.isEmpty() && state.WhiteCode.isEmpty());
    QCOMPARE(state.CurrentColourValue, 0);
}

void LightStateTest::colourTable_data() {
    QTest::addColumn<int>("colour");
    QTest::addColumn<int>("brightness");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    const char* levels[] = {"22", "44", "88", "FF"};
    for (int b = 0; b < 4; ++b) {
        const QString L = QString::fromLatin1(levels[b]);
        const QByteArray suffix = " at " + brightnessName(b).toLatin1();
        QTest::newRow(("Red" + suffix).constData()) << 0 << b << L + "0000" << 255;
        QTest::newRow(("Yellow" + suffix).constData()) << 1 << b << L + L + "00" << 65535;
        QTest::newRow(("Green" + suffix).constData()) << 2 << b << "00" + L + "00" << 65280;
        QTest::newRow(("Blue" + suffix).constData()) << 3 << b << "0000" + L << 16711680;
        QTest::newRow(("White" + suffix).constData()) << 4 << b << L + L + L << 16777215;
    }
}

void LightStateTest::colourTable() {
    QFETCH(int, colour);
    QFETCH(int, brightness);
    QFETCH(QString, text);
    QFETCH(int, value);
    LightState state;
    Settings settings;
    settings.FlashColourIndex = static_cast<int16_t>(colour);
    settings.BrightnessIndex = static_cast<int16_t>(brightness);
    ApplyBrightness(state, settings);
    QCOMPARE(state.CurrentColour, text);
    QCOMPARE(state.CurrentColourValue, value);
}

void LightStateTest::indexesOutsideTheTables() {
    LightState state;
    Settings settings;
    settings.FlashColourIndex = 1;
    settings.BrightnessIndex = 0;
    ApplyBrightness(state, settings);
    QCOMPARE(state.CurrentColour, QString("222200"));

    settings.FlashColourIndex = 7;  // keeps the colour
    ApplyFlashColour(state, settings);
    QCOMPARE(state.CurrentColour, QString("222200"));
    QCOMPARE(state.CurrentColourValue, 65535);

    settings.FlashColourIndex = 3;  // keeps the level, recomputes the colour from it
    settings.BrightnessIndex = 9;
    ApplyBrightness(state, settings);
    QCOMPARE(state.LevelHex, QString("22"));
    QCOMPARE(state.CurrentColour, QString("000022"));

    settings.FlashColourIndex = -1;
    ApplyFlashColour(state, settings);
    QCOMPARE(state.CurrentColour, QString("000022"));
}

void LightStateTest::whiteCode() {
    QCOMPARE(WhiteCodeFor(1), QString("80"));
    QCOMPARE(WhiteCodeFor(0), QString("00"));
    QCOMPARE(WhiteCodeFor(2), QString("00"));  // only a ticked box (1) lights the white LEDs
}

QTEST_GUILESS_MAIN(LightStateTest)
#include "tst_LightState.moc"
