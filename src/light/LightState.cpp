#include "light/LightState.h"

#include <array>

namespace {

struct FlashColourRow {
    const char* name;
    int32_t value;  // full-level colour, 0x00BBGGRR
};

// Which channels of each flash colour are lit, in RRGGBB order, and its full-level value.
constexpr std::array<FlashColourRow, FlashColourCount> FlashColours{{
    {"Red", 255},
    {"Yellow", 65535},
    {"Green", 65280},
    {"Blue", 16711680},
    {"White", 16777215},
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
    const QString& level = state.LevelHex;
    const QString off = QStringLiteral("00");
    QString colour;
    switch (settings.FlashColourIndex) {
        case 0:
            colour = level + off + off;
            break;
        case 1:
            colour = level + level + off;
            break;
        case 2:
            colour = off + level + off;
            break;
        case 3:
            colour = off + off + level;
            break;
        case 4:
            colour = level + level + level;
            break;
        default:
            return;  // outside the table: keep the previous colour
    }
    state.CurrentColour = colour;
    state.CurrentColourValue = FlashColours[settings.FlashColourIndex].value;
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
