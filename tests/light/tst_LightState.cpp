// The colour model: flash colour and brightness to colour text and full-level RGB value.
#include <QTest>

#include "light/LightState.h"

namespace {

LightState applied(int colour, int brightness) {
    LightState state;
    Settings settings;
    settings.FlashColourIndex = static_cast<int16_t>(colour);
    settings.BrightnessIndex = static_cast<int16_t>(brightness);
    ApplyBrightness(state, settings);
    return state;
}

}  // namespace

class LightStateTest : public QObject {
    Q_OBJECT

  private slots:
    void choicesByTheirListTexts_data();
    void choicesByTheirListTexts();
    void textAndValueLightTheSameChannels_data();
    void textAndValueLightTheSameChannels();
    void indexesOutsideTheTables();
    void whiteCode();
};

void LightStateTest::choicesByTheirListTexts_data() {
    QTest::addColumn<int>("colour");
    QTest::addColumn<int>("brightness");
    QTest::addColumn<QString>("text");  // what the device is sent, RRGGBB
    QTest::addColumn<int>("value");     // the full-level colour, 0x00BBGGRR
    // Each row is named by the two list texts that the user sees for its indexes.
    QTest::newRow("Red 25%") << 0 << 0 << QString("220000") << 0x0000FF;
    QTest::newRow("Yellow 50%") << 1 << 1 << QString("444400") << 0x00FFFF;
    QTest::newRow("Green 75%") << 2 << 2 << QString("008800") << 0x00FF00;
    QTest::newRow("Blue 100%") << 3 << 3 << QString("0000FF") << 0xFF0000;
    QTest::newRow("White 25%") << 4 << 0 << QString("222222") << 0xFFFFFF;
}

void LightStateTest::choicesByTheirListTexts() {
    QFETCH(int, colour);
    QFETCH(int, brightness);
    QFETCH(QString, text);
    QFETCH(int, value);
    QCOMPARE(flashColourName(colour) + ' ' + brightnessName(brightness),
             QString::fromLatin1(QTest::currentDataTag()));
    const LightState state = applied(colour, brightness);
    QCOMPARE(state.CurrentColour, text);
    QCOMPARE(state.CurrentColourValue, value);
}

void LightStateTest::textAndValueLightTheSameChannels_data() {
    QTest::addColumn<int>("colour");
    QTest::addColumn<int>("brightness");
    for (int c = 0; c < FlashColourCount; ++c) {
        for (int b = 0; b < BrightnessCount; ++b) {
            QTest::newRow(qPrintable(flashColourName(c) + ' ' + brightnessName(b))) << c << b;
        }
    }
}

// The text lights, at the chosen level, exactly the channels that the full-level value has at
// full; a brighter row gives a higher level.
void LightStateTest::textAndValueLightTheSameChannels() {
    QFETCH(int, colour);
    QFETCH(int, brightness);
    const LightState state = applied(colour, brightness);
    const auto level = [](const LightState& s) { return s.LevelHex.toInt(nullptr, 16); };
    QCOMPARE(state.LevelHex.size(), 2);
    QVERIFY(level(state) > (brightness > 0 ? level(applied(colour, brightness - 1)) : 0));
    QCOMPARE(state.CurrentColour.size(), 6);
    QVERIFY(state.CurrentColourValue != 0);
    for (int channel = 0; channel < 3; ++channel) {  // red, green, blue
        const int full = (state.CurrentColourValue >> (8 * channel)) & 0xFF;
        QVERIFY(full == 0 || full == 0xFF);
        QCOMPARE(state.CurrentColour.mid(2 * channel, 2),
                 full == 0 ? QStringLiteral("00") : state.LevelHex);
    }
}

void LightStateTest::indexesOutsideTheTables() {
    LightState state = applied(1, 0);
    QCOMPARE(state.CurrentColour, QString("222200"));

    Settings settings;
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
