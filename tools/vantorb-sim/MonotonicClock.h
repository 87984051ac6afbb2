#pragma once

#include <QtGlobal>

#include <ctime>

// The system's monotonic clock (CLOCK_MONOTONIC) in nanoseconds. The frame log uses it so its
// times can be lined up with those of other processes on the same machine.
inline qint64 monotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<qint64>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}
