#pragma once

#include <QString>
#include <cstdint>

// The four user settings. They persist in the settings file (ProcessINIFile) and are changed
// by the window's lists.
struct Settings {
    int16_t ComPortNumber = 0;     // COM port of the device (3 means COM3); 0 before one is chosen
    int16_t FlashRate = 10;        // flashes per second, 1 to 50
    int16_t FlashColourIndex = 2;  // row of the flash-colour table (0 Red ... 4 White)
    int16_t BrightnessIndex = 3;   // row of the brightness table (0 "25%" ... 3 "100%")
};

// The controller's record of the port, the flags and the colours. Every field starts at zero,
// false or the empty text.
struct LightState {
    int16_t PortIndex = 0;           // port as the serial library counts: ComPortNumber - 1
    QString FrameText;               // the last frame built for sending (11 characters)
    int16_t LastResult = 0;          // code of the last serial-library call; negative = failure
    int32_t BaudCode = 0;            // baud-rate code for the serial library
    int16_t DataBitsCode = 0;        // data-bits code for the serial library
    int16_t StopBitsCode = 0;        // stop-bits code for the serial library
    int16_t ParityCode = 0;          // parity code for the serial library
    bool FlashLit = false;           // flash phase: true while the flash colour shows
    bool PortOpen = false;           // true while the serial port is open for the device
    QString CurrentColour;           // flash colour at the chosen brightness, RRGGBB
    QString LevelHex;                // brightness level, two hexadecimal digits
    bool StopFlashing = false;       // asks the flash timer to stop at its next tick
    int32_t CurrentColourValue = 0;  // flash colour at full level, RGB value 0x00BBGGRR
    QString WhiteCode;               // white-LED address code, "80" or "00"
    bool ProgramRunning = false;     // a light program plays only while this is true
    bool Unloading = false;          // the window is going away: running effects end at once
};

// Number of rows in the colour tables, for the window's lists.
inline constexpr int FlashColourCount = 5;
inline constexpr int BrightnessCount = 4;

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
