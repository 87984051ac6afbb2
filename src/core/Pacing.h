#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

// Pacing of the effects that send a frame at fixed steps (flash ticks, spin, light programs).
// Every paced effect keeps its frames on the grid it started: frame k is due at
// start + k x step, so a late frame does not move the ones after it, and the number of cycles
// over a stretch of time is the one asked for even when the machine pauses now and then.
namespace Pacing {

// The shortest stall after which a grid starts again from the clock instead of going on: past
// it the pause is something a user notices anyway (a suspended machine, a debugger), and
// keeping the old phase would gain nothing. A flash cycle longer than this is the bound instead.
inline constexpr double RestartAfter = 1.0;

// The restart bound for an effect whose cycle (a lit and a dark frame, or one revolution of the
// spin) lasts cycle seconds.
inline double restartBound(double cycle) {
    return std::max(RestartAfter, cycle);
}

// What a paced effect does when it wakes at now for the frame due at due.
struct Wake {
    double due = 0;          // the due time of the frame to send now
    int64_t skipped = 0;     // frames before it whose time has wholly passed: not sent
    bool restarted = false;  // the stall passed the bound: the grid counts from now
    double late = 0;         // how late the wake came after the first frame's due time, seconds
    double step = 0;         // the grid's step, seconds
};

// Where an effect with frames every step seconds stands at now, woken for the frame due at
// due. On time, or late by less than a step, it sends that frame. Later, the frames whose time
// has wholly passed are skipped and the latest one due is sent, so the device shows the phase
// of the grid at once and the frames after it keep to the grid; nothing is sent in a burst.
// Late by more than bound, the frame goes out now and the grid starts again from now.
inline Wake wake(double due, double now, double step, double bound) {
    const double late = now - due;
    if (!(late >= step)) {
        return {due, 0, false, std::max(late, 0.0), step};
    }
    const auto passed = static_cast<int64_t>(std::floor(late / step));
    if (late > bound) {
        return {now, passed, true, late, step};
    }
    return {due + static_cast<double>(passed) * step, passed, false, late, step};
}

// The stalls a paced effect went through: wakes that came so late that frames were skipped.
struct Stalls {
    int64_t stalls = 0;    // wakes that skipped at least one frame
    int64_t skipped = 0;   // frames not sent because their time had wholly passed
    int64_t restarts = 0;  // stalls past the bound, after which the grid counted from the clock
    double longest = 0;    // the latest of those wakes after its due time, seconds
    int64_t brief = 0;     // stalls shorter than two steps: lateness of our own rather than a
                           // pause of the machine

    // Counts a wake in.
    void add(const Wake& wake) {
        if (wake.skipped == 0) {
            return;
        }
        ++stalls;
        skipped += wake.skipped;
        restarts += wake.restarted ? 1 : 0;
        longest = std::max(longest, wake.late);
        brief += wake.late < 2 * wake.step ? 1 : 0;
    }
    // Adds the counts of another effect.
    void add(const Stalls& other) {
        stalls += other.stalls;
        skipped += other.skipped;
        restarts += other.restarts;
        longest = std::max(longest, other.longest);
        brief += other.brief;
    }
};

}  // namespace Pacing
