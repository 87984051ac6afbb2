#pragma once

#include <functional>

#include "device/PortConnection.h"
#include "light/LightState.h"
#include "light/OperationContext.h"
#include "settings/Settings.h"

class ClockPump;
class FlashTimer;
class WindowServices;
class Wsc32;

// The controller's parts assembled once, for every front end: the light state and the four
// settings, the device link on the given serial library, and the operation context every
// operation works with. It also ties the flash timer to the link, so that ticks are exact
// exactly while a port is open or opening. The main window's controller, the command-line
// tool, the benchmarks and the tests all start from one of these.
class ControlCore {
  public:
    // The services are the front end's; they must outlive the core.
    ControlCore(Wsc32& serial, FlashTimer& timer, ClockPump& clock, WindowServices& window);
    ~ControlCore();
    ControlCore(const ControlCore&) = delete;
    ControlCore& operator=(const ControlCore&) = delete;

    // The light state, with the device link's record.
    LightState& state() { return m_state; }
    // The four settings.
    Settings& settings() { return m_settings; }
    // The device link.
    PortConnection& port() { return m_port; }
    // The stalls the paced loops (spin, light programs) went through since the core was made;
    // the flash timer counts its own.
    Pacing::Stalls& stalls() { return m_stalls; }
    // Installs a function told, whenever a port opens or closes, whether frames can now reach
    // the device; a front end on the real clock raises its thread's scheduling there
    // (RealtimePriority). Empty: none.
    void setPrecisionObserver(std::function<void(bool)> observer) {
        m_onPrecision = std::move(observer);
    }
    // What every operation works with.
    const OperationContext& context() const { return m_context; }

  private:
    LightState m_state;
    Settings m_settings;
    PortConnection m_port;
    Pacing::Stalls m_stalls;
    OperationContext m_context;
    std::function<void(bool)> m_onPrecision;
};
