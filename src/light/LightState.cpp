#include "light/LightState.h"

#include <array>

namespace {

struct FlashColourRow {
    const char* name;
    std::array<bool, 3> lit;  // which channels carry the level: red, green, blue
    int32_t value;            // full-level colour, 0x00BBGGRR
};

// The flash colours in list order: the channels each lights, and its full-level value.
constexpr std::array<FlashColourRow, FlashColourCount> FlashColours{{
    {"Red", {true, false, false}, 255},
    {"Yellow", {true, true, false}, 65535},
    {"Green", {false, true, false}, 65280},
    {"Blue", {false, false, true}, 16711680},
    {"White", {true, true, true}, 16777215},
}};

constexpr std::array<const char*, BrightnessCount> BrightnessNames{"25%", "50%", "75%", "100%"};
constexpr std::array<const char*, BrightnessCount> BrightnessLevels{"22", "44", "88", "FF"};

}  // namespace

QString flashColourName(int index) {
    if (index < 0 || index >= FlashColourCount) {
        return {};
    }
    return QString::fromLatin1(FlashColours[index].name);
}

QString brightnessName(int index) {
    if (index < 0 || index >= BrightnessCount) {
        return {};
    }
    return QString::fromLatin1(BrightnessNames[index]);
}

void ApplyFlashColour(LightState& state, const Settings& settings) {
    const int index = settings.FlashColourIndex;
    if (index < 0 || index >= FlashColourCount) {
        return;  // outside the table: keep the previous colour
    }
    const FlashColourRow& row = FlashColours[index];
    QString colour;
    for (const bool lit : row.lit) {
        colour += lit ? state.LevelHex : QStringLiteral("00");
    }
    state.CurrentColour = colour;
    state.CurrentColourValue = row.value;
}

void ApplyBrightness(LightState& state, const Settings& settings) {
    const int index = settings.BrightnessIndex;
    if (index >= 0 && index < BrightnessCount) {
        state.LevelHex = QString::fromLatin1(BrightnessLevels[index]);
    }
    ApplyFlashColour(state, settings);
}

QString WhiteCodeFor(int checkBoxValue) {
    return checkBoxValue == 1 ? QStringLiteral("80") : QStringLiteral("00");
}
