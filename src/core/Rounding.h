#pragma once

#include <cmath>

// Rounds to the nearest whole number, an exact half going to the even neighbour (2.5 gives 2,
// 3.5 gives 4), as the controller's interval, gradient and settings arithmetic requires.
inline double roundHalfEven(double value) {
    const double down = std::floor(value);
    const double diff = value - down;
    if (diff < 0.5) {
        return down;
    }
    if (diff > 0.5) {
        return down + 1.0;
    }
    return std::fmod(down, 2.0) == 0.0 ? down : down + 1.0;
}
