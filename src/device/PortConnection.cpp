#include "device/PortConnection.h"

#include <utility>

#include "core/ClockPump.h"
#include "core/WindowServices.h"
#include "device/Errors32.h"
#include "device/Wsc32.h"
#include "settings/Settings.h"

PortConnection::PortConnection(PortRecord& state, const Settings& settings, Wsc32& serial,
                               WindowServices& window)
    : m_state(state), m_settings(settings), m_serial(serial), m_window(window) {}

void PortConnection::linkChanged() {
    if (m_onLinkChange) {
        m_onLinkChange();
    }
}

void PortConnection::storeResult(int code) {
    m_state.LastResult = static_cast<int16_t>(code);
}

void PortConnection::writeFrame(const QString& frameText) {
    m_state.FrameText = frameText;
    const QByteArray bytes = Frames::toBytes(frameText);
    if (m_writeObservers.empty()) {
        storeResult(
            m_serial.SioPuts(m_state.PortIndex, bytes.constData(), static_cast<int>(bytes.size())));
        return;
    }
    const double called = m_writeClock->now();
    const int result =
        m_serial.SioPuts(m_state.PortIndex, bytes.constData(), static_cast<int>(bytes.size()));
    const double returned = m_writeClock->now();
    storeResult(result);
    const FrameWrite write{called, returned, result, frameText};
    for (const WriteObserver& entry : m_writeObservers) {
        entry.observer(write);
    }
}

int PortConnection::addWriteObserver(ClockPump& clock,
                                     std::function<void(const FrameWrite&)> observer) {
    m_writeClock = &clock;
    const int key = m_nextObserverKey++;
    m_writeObservers.push_back({key, std::move(observer)});
    return key;
}

void PortConnection::removeWriteObserver(int key) {
    std::erase_if(m_writeObservers, [key](const WriteObserver& entry) { return entry.key == key; });
}

void PortConnection::sendFrame(Frames::Lead lead, const QString& address, const QString& colour) {
    writeFrame(Frames::build(lead, address, colour));
}

void PortConnection::SendToVantorb(const QString& sHexValue) {
    const QString& address = sHexValue == Frames::Black ? Frames::WholeDevice : m_state.WhiteCode;
    sendFrame(Frames::Lead::SOH, address, sHexValue);
}

void PortConnection::OpenPort() {
    // A port still open under an earlier COM number would otherwise stay open until the
    // program ends; close it before switching.
    const int16_t newIndex = static_cast<int16_t>(m_settings.ComPortNumber - 1);
    if (m_openIndex && *m_openIndex != newIndex) {
        storeResult(m_serial.SioDone(*m_openIndex));
        m_openIndex.reset();
        linkChanged();
    }

    m_state.PortIndex = newIndex;
    m_state.BaudCode = SioArg::Baud115200;
    m_state.StopBitsCode = SioArg::OneStopBit;
    m_state.ParityCode = SioArg::NoParity;
    // Eight data bits: the frames are 8-bit text and five bits would corrupt every one.
    m_state.DataBitsCode = SioArg::DataBits8;

    closePort();

    // From here until the opening ends, whatever waits for a port to open treats the link as
    // up: the flash timer delivers the ticks it held back now, while no frame can reach a
    // device, and from then on only ticks that come on time. Ticks that fall due while the
    // port opens are then left to the event loop, so the first frame the device gets is the
    // dark frame below, and the next one the tick due after it.
    m_opening = true;
    linkChanged();
    int code = m_serial.SioReset(m_state.PortIndex, SioArg::RxQueue, SioArg::TxQueue);
    storeResult(code);
    if (code < 0) {
        openingFailed(static_cast<int16_t>(code));
        return;
    }
    m_openIndex = m_state.PortIndex;

    storeResult(m_serial.SioBaud(m_state.PortIndex, m_state.BaudCode));
    storeResult(m_serial.SioParms(m_state.PortIndex, m_state.ParityCode, m_state.StopBitsCode,
                                  m_state.DataBitsCode));
    storeResult(m_serial.SioDTR(m_state.PortIndex, SioArg::SetLine));

    code = m_serial.SioRTS(m_state.PortIndex, SioArg::SetLine);
    storeResult(code);
    if (code < 0) {
        // A port whose opening failed is closed before the message: the message box runs the
        // event loop, and a flash tick meanwhile would otherwise reach the device undarkened.
        // LastResult keeps the code of the failure.
        m_serial.SioDone(m_state.PortIndex);
        m_openIndex.reset();
        openingFailed(static_cast<int16_t>(code));
        return;
    }

    SendToVantorb(Frames::Black);
    m_state.PortOpen = true;
    m_opening = false;
    linkChanged();
}

void PortConnection::openingFailed(int16_t code) {
    m_opening = false;
    linkChanged();
    ShowSerialError(code);
    m_state.PortOpen = false;
}

void PortConnection::closePort() {
    storeResult(m_serial.SioDone(m_state.PortIndex));
    if (m_openIndex && *m_openIndex == m_state.PortIndex) {
        m_openIndex.reset();
        linkChanged();
    }
}

void PortConnection::ShowSerialError(int16_t code) {
    m_window.showMessage(SerialErrorText(code, m_serial));
}
