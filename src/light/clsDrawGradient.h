#pragma once

#include <QString>
#include <cstdint>

// Colour of step k of an n-step linear fade between two RGB values (0x00BBGGRR, red in the
// low byte), and the colour text of an RGB value. The first DrawGradient call of an instance
// fixes the colours and the per-step increments; later calls only choose the step.
class clsDrawGradient {
  public:
    // The colour of step nStepNumber. The first call on an instance fixes the fade from
    // nFromColour to nToColour in nNumberOfSteps steps; later calls ignore those three.
    // Channels are rounded half to even and kept within 0..255. A step count below 1 makes
    // every step the start colour.
    int32_t DrawGradient(const int32_t& nFromColour, const int32_t& nToColour,
                         const int16_t& nNumberOfSteps, const int16_t& nStepNumber);

    // The colour text RRGGBB (upper-case hexadecimal, red first) of an RGB value.
    static QString ConvertRGBToHex(const int32_t& nColour);

  private:
    int32_t nFromRed = 0;
    int32_t nFromGreen = 0;
    int32_t nFromBlue = 0;
    int32_t nToRed = 0;
    int32_t nToGreen = 0;
    int32_t nToBlue = 0;
    float sngRedIncrement = 0;
    float sngGreenIncrement = 0;
    float sngBlueIncrement = 0;
    bool bIncrementsSet = false;
};
