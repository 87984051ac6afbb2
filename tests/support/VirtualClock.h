#pragma once

#include "core/SimulatedClock.h"

// The tests' clock is the simulated clock: it starts at SimulatedClock::DefaultStart, and a
// test that looks at its sleeps and waits turns recording on (the harness does).
using VirtualClock = SimulatedClock;
