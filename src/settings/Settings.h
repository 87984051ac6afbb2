#pragma once

#include <cstdint>
#include <limits>

// The four user settings. They persist in the settings file (ProcessINIFile) and are changed
// by the window's lists.
struct Settings {
    // The value each setting has before the file is read, and when the file lacks it.
    static constexpr int16_t DefaultComPortNumber = 0;
    static constexpr int16_t DefaultFlashRate = 10;
    static constexpr int16_t DefaultFlashColourIndex = 2;
    static constexpr int16_t DefaultBrightnessIndex = 3;

    int16_t ComPortNumber = DefaultComPortNumber;        // COM port of the device (3 means COM3); 0
                                                         // before one is chosen
    int16_t FlashRate = DefaultFlashRate;                // flashes per second, 1 to 50
    int16_t FlashColourIndex = DefaultFlashColourIndex;  // row of the flash-colour table
    int16_t BrightnessIndex = DefaultBrightnessIndex;    // row of the brightness table
};

// One setting: where the file keeps it, its default, and the values the window's lists offer.
struct SettingEntry {
    const char* section;
    const char* key;
    int16_t Settings::*field;
    int16_t defaultValue;
    int16_t lowest;   // smallest value the lists offer
    int16_t highest;  // largest value the lists offer

    // Whether value is one the lists offer.
    constexpr bool offers(int value) const { return value >= lowest && value <= highest; }
};

// The four settings in the order the file is read and written. The COM port list shows the
// ports present, so any stored number is kept.
inline constexpr SettingEntry SettingTable[] = {
    {"communications", "VantorbComPort", &Settings::ComPortNumber, Settings::DefaultComPortNumber,
     std::numeric_limits<int16_t>::min(), std::numeric_limits<int16_t>::max()},
    {"Vantorb", "FlashRate", &Settings::FlashRate, Settings::DefaultFlashRate, 1, 50},
    {"Vantorb", "FlashColour", &Settings::FlashColourIndex, Settings::DefaultFlashColourIndex, 0,
     4},
    {"Vantorb", "Brightness", &Settings::BrightnessIndex, Settings::DefaultBrightnessIndex, 0, 3},
};

// The entry of the table for a field.
constexpr const SettingEntry& settingEntry(int16_t Settings::*field) {
    for (const SettingEntry& entry : SettingTable) {
        if (entry.field == field) {
            return entry;
        }
    }
    return SettingTable[0];
}

// Replaces every setting the lists do not offer by its default, so every list shows a choice.
constexpr void keepWithinLists(Settings& settings) {
    for (const SettingEntry& entry : SettingTable) {
        if (!entry.offers(settings.*entry.field)) {
            settings.*entry.field = entry.defaultValue;
        }
    }
}
