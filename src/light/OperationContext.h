#pragma once

#include "core/Pacing.h"

class ClockPump;
class FlashTimer;
class PortConnection;
class WindowServices;
struct LightState;
struct Settings;

// What every operation of the controller works with: the light state and the settings, the
// device link, the outside services, and the stall counts of the paced loops. The controller
// owns all of them; operations hold this bundle of references for their lifetime.
struct OperationContext {
    LightState& state;
    Settings& settings;
    PortConnection& port;
    FlashTimer& timer;
    ClockPump& clock;
    WindowServices& window;
    Pacing::Stalls& stalls;  // the stalls of spin and light programs, since the start
};
