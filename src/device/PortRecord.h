#pragma once

#include <QString>
#include <cstdint>

// The device link's record: the port as the serial library counts it, its line settings, the
// last frame and result, whether the port is open for the device, and the address whole-device
// colours go to. PortConnection keeps it; the light state holds it, so every operation sees
// the same fields. Every field starts at zero, false or the empty text.
struct PortRecord {
    int16_t PortIndex = 0;     // port as the serial library counts: ComPortNumber - 1
    QString FrameText;         // the last frame built for sending (11 characters)
    int16_t LastResult = 0;    // code of the last serial-library call; negative = failure
    int32_t BaudCode = 0;      // baud-rate code for the serial library
    int16_t DataBitsCode = 0;  // data-bits code for the serial library
    int16_t StopBitsCode = 0;  // stop-bits code for the serial library
    int16_t ParityCode = 0;    // parity code for the serial library
    bool PortOpen = false;     // true while the serial port is open for the device
    QString WhiteCode;         // white-LED address code, "80" or "00"
};
