#pragma once

#include <cmath>

// Pacing of the effects that send a frame and then wait (spin, light programs).
namespace Pacing {

// When the frame after the current one is due. The current frame was due at previousDue (NaN
// for the first frame of a run) and now is a clock reading taken around its sending. Counting
// from the due time rather than from now keeps whatever happens between two frames (the write,
// the title, ramp steps, a late wake-up) out of the period, so the rate holds frame after
// frame. After a stall of a whole period or more the count starts again from now, so the
// frames that were missed are not sent in a burst.
inline double nextDue(double previousDue, double now, double period) {
    if (std::isnan(previousDue) || now - previousDue >= period) {
        return now + period;
    }
    return previousDue + period;
}

}  // namespace Pacing
