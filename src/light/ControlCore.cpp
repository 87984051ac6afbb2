#include "light/ControlCore.h"

#include "core/FlashTimer.h"

ControlCore::ControlCore(Wsc32& serial, FlashTimer& timer, ClockPump& clock, WindowServices& window)
    : m_port(m_state, m_settings, serial, window), m_context{m_state, m_settings, m_port,  timer,
                                                             clock,   window,     m_stalls} {
    // Only a tick that can reach the device needs to be exact; with no port open an idle
    // window costs next to no processor time.
    timer.setPrecisionWanted([this] { return m_port.isOpenOrOpening(); });
    m_port.setLinkChangeHandler([this, &timer] {
        timer.refreshPrecision();
        if (m_onPrecision) {
            m_onPrecision(m_port.isOpenOrOpening());
        }
    });
}

ControlCore::~ControlCore() {
    m_context.timer.setPrecisionWanted({});
    m_port.setLinkChangeHandler({});
}
