#pragma once

#include <QString>
#include <cstdint>

#include "device/PortRecord.h"
#include "settings/Settings.h"

// The controller's record of the port, the flags and the colours: the device link's record
// (PortRecord) and the light's own fields. Every field starts at zero, false or the empty text.
struct LightState : PortRecord {
    bool FlashLit = false;           // flash phase: true while the flash colour shows
    QString CurrentColour;           // flash colour at the chosen brightness, RRGGBB
    QString LevelHex;                // brightness level, two hexadecimal digits
    bool StopFlashing = false;       // asks the flash timer to stop at its next tick
    int32_t CurrentColourValue = 0;  // flash colour at full level, RGB value 0x00BBGGRR
    bool ProgramRunning = false;     // a light program plays only while this is true
    bool Unloading = false;          // the window is going away: running effects end at once
};

// Number of rows in the colour tables, one for each choice of the window's lists.
inline constexpr int FlashColourCount = settingEntry(&Settings::FlashColourIndex).highest + 1;
inline constexpr int BrightnessCount = settingEntry(&Settings::BrightnessIndex).highest + 1;

// The list texts of the flash-colour table, by index.
QString flashColourName(int index);
// The list texts of the brightness table, by index.
QString brightnessName(int index);

// Recomputes CurrentColour and CurrentColourValue from FlashColourIndex and LevelHex; an index
// outside the table leaves both as they are.
void ApplyFlashColour(LightState& state, const Settings& settings);

// Sets LevelHex from BrightnessIndex (an index outside the table keeps the old level), then
// recomputes the colour.
void ApplyBrightness(LightState& state, const Settings& settings);

// The white-LED address code for a check-box value: "80" when ticked (1), else "00".
QString WhiteCodeFor(int checkBoxValue);
