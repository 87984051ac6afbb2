#include "markers/ClockMapping.h"

#include <limits>

ClockMapping ClockMapping::measure(const std::function<double()>& steady,
                                   const std::function<double()>& lsl, int rounds) {
    ClockMapping mapping;
    double tightest = std::numeric_limits<double>::infinity();
    for (int round = 0; round < rounds; ++round) {
        const double before = steady();
        const double other = lsl();
        const double after = steady();
        const double width = after - before;
        if (width < tightest) {
            tightest = width;
            // The LSL read happened somewhere in [before, after]; its middle is off by at most
            // half the width.
            mapping.m_offset = other - (before + after) / 2;
            mapping.m_uncertainty = width / 2;
        }
    }
    return mapping;
}
