#include "light/clsDrawGradient.h"

#include <algorithm>
#include <cstdlib>

#include "core/Rounding.h"

namespace {

struct Channels {
    int32_t red;
    int32_t green;
    int32_t blue;
};

// Splits an RGB value: red is the remainder (with the value's sign), green and blue the
// truncated quotients masked to a byte.
Channels split(int32_t colour) {
    return {colour % 256, (colour / 256) & 255, (colour / 65536) & 255};
}

float increment(int32_t from, int32_t to, int16_t steps) {
    if (steps < 1) {
        return 0.0F;  // no steps to spread the change over: stay on the start colour
    }
    const float size = static_cast<float>(std::abs(from - to) / static_cast<double>(steps));
    return to < from ? -size : size;
}

int32_t channelAt(int16_t step, float increment, int32_t start) {
    return static_cast<int32_t>(
        roundHalfEven(static_cast<double>(step) * static_cast<double>(increment) + start));
}

}  // namespace

int32_t clsDrawGradient::DrawGradient(const int32_t& nFromColour, const int32_t& nToColour,
                                      const int16_t& nNumberOfSteps, const int16_t& nStepNumber) {
    if (!bIncrementsSet) {
        bIncrementsSet = true;
        const Channels from = split(nFromColour);
        const Channels to = split(nToColour);
        nFromRed = from.red;
        nFromGreen = from.green;
        nFromBlue = from.blue;
        nToRed = to.red;
        nToGreen = to.green;
        nToBlue = to.blue;
        sngRedIncrement = increment(nFromRed, nToRed, nNumberOfSteps);
        sngGreenIncrement = increment(nFromGreen, nToGreen, nNumberOfSteps);
        sngBlueIncrement = increment(nFromBlue, nToBlue, nNumberOfSteps);
    }
    nToRed = channelAt(nStepNumber, sngRedIncrement, nFromRed);
    nToGreen = channelAt(nStepNumber, sngGreenIncrement, nFromGreen);
    nToBlue = channelAt(nStepNumber, sngBlueIncrement, nFromBlue);
    const int32_t red = std::clamp(nToRed, 0, 255);
    const int32_t green = std::clamp(nToGreen, 0, 255);
    const int32_t blue = std::clamp(nToBlue, 0, 255);
    return red + 256 * green + 65536 * blue;
}

QString clsDrawGradient::ConvertRGBToHex(const int32_t& nColour) {
    const Channels c = split(nColour);
    // Hexadecimal with "00" in front, last two characters kept: the channel's low byte.
    return QStringLiteral("%1%2%3")
        .arg(c.red & 0xFF, 2, 16, QLatin1Char('0'))
        .arg(c.green & 0xFF, 2, 16, QLatin1Char('0'))
        .arg(c.blue & 0xFF, 2, 16, QLatin1Char('0'))
        .toUpper();
}
