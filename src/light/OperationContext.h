#pragma once

class ClockPump;
class FlashTimer;
class PortConnection;
class WindowServices;
struct LightState;
struct Settings;

// What every operation of the controller works with: the light state and the settings, the
// device link, and the outside services. The controller owns all of them; operations hold
// this bundle of references for their lifetime.
struct OperationContext {
    LightState& state;
    Settings& settings;
    PortConnection& port;
    FlashTimer& timer;
    ClockPump& clock;
    WindowServices& window;
};
