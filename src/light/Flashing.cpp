#include "light/Flashing.h"

#include <algorithm>

#include "core/FlashTimer.h"
#include "core/Rounding.h"
#include "device/PortConnection.h"
#include "light/LightState.h"

Flashing::Flashing(const OperationContext& context) : m_context(context) {}

int Flashing::intervalForRate(int rate) {
    const double flashes = std::max(rate, 1);
    return static_cast<int>(roundHalfEven(1000.0 / flashes / 2.0));
}

void Flashing::start() {
    m_context.state.StopFlashing = false;
    ApplyFlashColour(m_context.state, m_context.settings);
    m_context.port.OpenPort();
    // The same interval the rate list sets, so the device flashes at the chosen rate.
    m_context.timer.setInterval(intervalForRate(m_context.settings.FlashRate));
    m_context.timer.setEnabled(true);
}

void Flashing::tick() {
    if (m_context.state.StopFlashing) {
        m_context.timer.setInterval(0);
        return;
    }
    // Ticks skipped in a stall are turns of the flash all the same: after an odd number the
    // device takes up the phase it would have had.
    if (m_context.timer.skippedTicks() % 2 != 0) {
        m_context.state.FlashLit = !m_context.state.FlashLit;
    }
    if (m_context.state.FlashLit) {
        m_context.port.SendToVantorb(Frames::Black);
        m_context.state.FlashLit = false;
    } else {
        m_context.port.SendToVantorb(m_context.state.CurrentColour);
        m_context.state.FlashLit = true;
    }
}

void Flashing::stop() {
    if (!m_context.state.PortOpen) {
        return;
    }
    m_context.timer.setInterval(0);
    m_context.port.sendFrame(Frames::Lead::SOH, Frames::WholeDevice, m_context.state.CurrentColour);
    m_context.port.closePort();
    m_context.state.PortOpen = false;
    m_context.state.StopFlashing = false;
}

void Flashing::switchOff() {
    if (!m_context.state.PortOpen) {
        m_context.port.OpenPort();
        if (!m_context.state.PortOpen) {
            return;
        }
    }
    m_context.timer.setInterval(0);
    m_context.port.sendFrame(Frames::Lead::SOH, Frames::WholeDevice, Frames::Black);
    m_context.port.closePort();
    m_context.state.PortOpen = false;
}
