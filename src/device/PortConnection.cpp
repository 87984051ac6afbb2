#include "device/PortConnection.h"

#include "core/WindowServices.h"
#include "device/Errors32.h"
#include "device/Wsc32.h"
#include "light/LightState.h"

PortConnection::PortConnection(LightState& state, const Settings& settings, Wsc32& serial,
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
    storeResult(
        m_serial.SioPuts(m_state.PortIndex, bytes.constData(), static_cast<int>(bytes.size())));
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

    // Whatever waits for a port to open learns it now, while no frame can reach a device yet.
    linkChanged();
    int code = m_serial.SioReset(m_state.PortIndex, SioArg::RxQueue, SioArg::TxQueue);
    storeResult(code);
    if (code < 0) {
        ShowSerialError(static_cast<int16_t>(code));
        m_state.PortOpen = false;
        return;
    }
    m_openIndex = m_state.PortIndex;
    linkChanged();

    storeResult(m_serial.SioBaud(m_state.PortIndex, m_state.BaudCode));
    storeResult(m_serial.SioParms(m_state.PortIndex, m_state.ParityCode, m_state.StopBitsCode,
                                  m_state.DataBitsCode));
    storeResult(m_serial.SioDTR(m_state.PortIndex, SioArg::SetLine));

    code = m_serial.SioRTS(m_state.PortIndex, SioArg::SetLine);
    storeResult(code);
    if (code < 0) {
        ShowSerialError(static_cast<int16_t>(code));
        m_state.PortOpen = false;
        return;
    }

    SendToVantorb(Frames::Black);
    m_state.PortOpen = true;
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
