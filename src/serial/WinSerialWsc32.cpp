#include "serial/WinSerialWsc32.h"

#include <windows.h>

#include <algorithm>
#include <iterator>

#include "serial/SerialLibrary.h"

namespace {

constexpr int PortCount = 256;

// Speeds of baud codes 0 to 9.
constexpr DWORD BaudRates[] = {110, 300, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

// Parity codes 0 to 4.
constexpr BYTE Parities[] = {NOPARITY, ODDPARITY, EVENPARITY, MARKPARITY, SPACEPARITY};

// Stop-bits codes 0 to 2.
constexpr BYTE StopBits[] = {ONESTOPBIT, ONE5STOPBITS, TWOSTOPBITS};

// Data-bits codes 0 to 3 are 5 to 8 data bits.
constexpr int DataBitsCodes = 4;

bool validIndex(int port) {
    return port >= 0 && port < PortCount;
}

HANDLE handleOf(void* handle) {
    return static_cast<HANDLE>(handle);
}

// Errors after which a handle is of no further use: the device has gone. A USB adapter pulled
// out reports one of these at the next write, depending on its driver.
bool deviceLost(DWORD error) {
    switch (error) {
        case ERROR_ACCESS_DENIED:
        case ERROR_BAD_COMMAND:
        case ERROR_GEN_FAILURE:
        case ERROR_DEVICE_REMOVED:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_FILE_NOT_FOUND:
        case ERROR_INVALID_HANDLE:
        case ERROR_NOT_READY:
        case ERROR_OPERATION_ABORTED:
        case ERROR_BROKEN_PIPE:
            return true;
        default:
            return false;
    }
}

}  // namespace

std::unique_ptr<Wsc32> makeSerialLibrary() {
    return std::make_unique<WinSerialWsc32>();
}

WinSerialWsc32::WinSerialWsc32() : WinSerialWsc32(steadySeconds) {}

WinSerialWsc32::WinSerialWsc32(std::function<double()> clock) : m_clock(std::move(clock)) {}

WinSerialWsc32::~WinSerialWsc32() {
    for (auto& [index, open] : m_ports) {
        closeHandle(open);
    }
}

QString WinSerialWsc32::systemText(unsigned long errorNumber) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, errorNumber, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    QString text = length > 0 ? QString::fromWCharArray(buffer, int(length)).trimmed()
                              : QStringLiteral("System error %1").arg(errorNumber);
    LocalFree(buffer);
    // FormatMessage ends sentences with a full stop; the device's name follows it here.
    if (text.endsWith(u'.')) {
        text.chop(1);
    }
    return text;
}

int WinSerialWsc32::systemError(const QString& text) {
    m_lastError = text;
    return SioCode::SystemError;
}

int WinSerialWsc32::systemError(unsigned long errorNumber, const QString& name) {
    return systemError(QStringLiteral("%1: %2").arg(systemText(errorNumber), name));
}

void WinSerialWsc32::closeHandle(PortSlot& open) {
    if (open.handle) {
        CloseHandle(handleOf(open.handle));
        open.handle = nullptr;
    }
}

WinSerialWsc32::PortSlot* WinSerialWsc32::portSlot(int port) {
    const auto found = m_ports.find(port);
    if (found == m_ports.end() || !found->second.handle) {
        return nullptr;
    }
    return &found->second;
}

int WinSerialWsc32::openHandle(PortSlot& open) {
    const QString path = QStringLiteral("\\\\.\\") + open.name;
    // Read access too: some drivers refuse a COM port opened for writing only. Nothing is read.
    HANDLE handle =
        CreateFileW(reinterpret_cast<const wchar_t*>(path.utf16()), GENERIC_READ | GENERIC_WRITE, 0,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        // A COM port is opened exclusively: another program (or this one) holds it.
        if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) {
            return SioCode::AlreadyOpen;
        }
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            return systemError(
                QStringLiteral("%1 does not exist: %2").arg(open.name, systemText(error)));
        }
        return systemError(error, open.name);
    }
    open.handle = handle;
    // The queue sizes are a request the driver may round or ignore.
    SetupComm(handle, DWORD(std::max(open.rxQueue, 0)), DWORD(open.txQueue));
    COMMTIMEOUTS timeouts{};
    // Reads return at once with what is there (nothing is read, but a read must not hang).
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.WriteTotalTimeoutConstant = WriteTimeoutMs;
    if (!SetCommTimeouts(handle, &timeouts)) {
        const DWORD error = GetLastError();
        closeHandle(open);
        return systemError(error, open.name);
    }
    if (const int code = applySettings(open, SioCode::OutOfRange); code != 0) {
        closeHandle(open);
        return code;
    }
    return 0;
}

int WinSerialWsc32::applySettings(PortSlot& open, int unsupportedCode) {
    HANDLE handle = handleOf(open.handle);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(handle, &dcb)) {
        return systemError(GetLastError(), open.name);
    }
    const LineSettings& s = open.settings;
    dcb.BaudRate = BaudRates[s.baudCode];
    dcb.ByteSize = BYTE(5 + s.dataBits);
    dcb.Parity = Parities[s.parity];
    dcb.StopBits = StopBits[s.stopBits];
    dcb.fBinary = TRUE;
    dcb.fParity = s.parity != 0;
    // No flow control of any kind: the device never answers, and a frame must not wait for a
    // line the adapter may not even wire.
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fNull = FALSE;
    // DTR and RTS as SioDTR and SioRTS left them; untouched lines stay as the driver has them.
    if (s.dtr >= 0) {
        dcb.fDtrControl = s.dtr ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    }
    if (s.rts >= 0) {
        dcb.fRtsControl = s.rts ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
    }
    // A line error must not stop all later writes until someone clears it.
    dcb.fAbortOnError = FALSE;
    if (!SetCommState(handle, &dcb)) {
        const DWORD error = GetLastError();
        if (error == ERROR_INVALID_PARAMETER || error == ERROR_NOT_SUPPORTED) {
            return unsupportedCode;
        }
        return systemError(error, open.name);
    }
    return 0;
}

int WinSerialWsc32::SioReset(int port, int rxQueue, int txQueue) {
    if (!validIndex(port)) {
        return SioCode::InvalidPort;
    }
    if (rxQueue < 0 || txQueue <= 0) {
        return SioCode::OutOfRange;
    }
    if (portSlot(port)) {
        return SioCode::AlreadyOpen;
    }
    m_ports.erase(port);

    PortSlot open;
    open.name = QStringLiteral("COM%1").arg(port + 1);
    open.rxQueue = rxQueue;
    open.txQueue = txQueue;
    open.reconnection = Reconnection(m_clock, ReturnCheckInterval);
    if (const int code = openHandle(open); code != 0) {
        return code;
    }
    m_ports.emplace(port, std::move(open));
    return 0;
}

bool WinSerialWsc32::reopenReturned(PortSlot& open) {
    if (!open.reconnection.lookDue()) {
        return false;
    }
    if (openHandle(open) != 0) {
        return false;
    }
    open.reconnection.deviceBack();
    return true;
}

int WinSerialWsc32::SioBaud(int port, int baudCode) {
    if (!validIndex(port)) {
        return SioCode::InvalidPort;
    }
    PortSlot* open = portSlot(port);
    if (!open) {
        return SioCode::CannotOpen;
    }
    if (baudCode < 0 || baudCode >= int(std::size(BaudRates))) {
        return SioCode::BadBaudRate;
    }
    const LineSettings before = open->settings;
    open->settings.baudCode = baudCode;
    const int code = applySettings(*open, SioCode::BadBaudRate);
    if (code != 0) {
        open->settings = before;
    }
    return code;
}

int WinSerialWsc32::SioParms(int port, int parity, int stopBits, int dataBits) {
    if (!validIndex(port)) {
        return SioCode::InvalidPort;
    }
    PortSlot* open = portSlot(port);
    if (!open) {
        return SioCode::CannotOpen;
    }
    if (dataBits < 0 || dataBits >= DataBitsCodes) {
        return SioCode::BadByteSize;
    }
    if (parity < 0 || parity >= int(std::size(Parities)) || stopBits < 0 ||
        stopBits >= int(std::size(StopBits))) {
        return SioCode::OutOfRange;
    }
    const LineSettings before = open->settings;
    open->settings.parity = parity;
    open->settings.stopBits = stopBits;
    open->settings.dataBits = dataBits;
    const int code = applySettings(*open, SioCode::OutOfRange);
    if (code != 0) {
        open->settings = before;
    }
    return code;
}

int WinSerialWsc32::setModemLine(int port, char command, bool dtr) {
    if (!validIndex(port)) {
        return SioCode::InvalidPort;
    }
    PortSlot* open = portSlot(port);
    if (!open) {
        return SioCode::CannotOpen;
    }
    if (command != SioArg::SetLine && command != SioArg::ClearLine) {
        return SioCode::OutOfRange;
    }
    const bool raise = command == SioArg::SetLine;
    (dtr ? open->settings.dtr : open->settings.rts) = raise ? 1 : 0;
    const DWORD function = dtr ? (raise ? SETDTR : CLRDTR) : (raise ? SETRTS : CLRRTS);
    if (EscapeCommFunction(handleOf(open->handle), function)) {
        return 0;
    }
    return systemError(GetLastError(), open->name);
}

int WinSerialWsc32::SioDTR(int port, char command) {
    return setModemLine(port, command, true);
}

int WinSerialWsc32::SioRTS(int port, char command) {
    return setModemLine(port, command, false);
}

int WinSerialWsc32::SioPuts(int port, const char* bytes, int count) {
    if (!validIndex(port)) {
        return SioCode::InvalidPort;
    }
    const auto found = m_ports.find(port);
    if (found == m_ports.end()) {
        return SioCode::CannotOpen;
    }
    PortSlot& open = found->second;
    if (!open.handle && !reopenReturned(open)) {
        return SioCode::CannotOpen;
    }
    if (count < 0 || (count > 0 && !bytes)) {
        return SioCode::OutOfRange;
    }
    if (count == 0) {
        return 0;
    }
    // More than the transmit queue at once is refused whole, as on Linux.
    if (count > open.txQueue) {
        return SioCode::OutOfRange;
    }

    DWORD written = 0;
    if (WriteFile(handleOf(open.handle), bytes, DWORD(count), &written, nullptr) &&
        written == DWORD(count)) {
        return count;
    }
    const DWORD error = GetLastError();
    if (written != DWORD(count) && error == ERROR_SUCCESS) {
        // The write timed out: the device does not take bytes. The frame is not reported as
        // sent; the port stays open for the next one.
        return systemError(QStringLiteral("%1 of %2 bytes sent in %3 ms: %4")
                               .arg(written)
                               .arg(count)
                               .arg(WriteTimeoutMs)
                               .arg(open.name));
    }
    const int code = systemError(error, open.name);
    if (deviceLost(error)) {
        closeHandle(open);
        open.reconnection.deviceLost();
    } else {
        // Line errors hold later writes back until they are cleared.
        DWORD errors = 0;
        ClearCommError(handleOf(open.handle), &errors, nullptr);
    }
    return code;
}

int WinSerialWsc32::SioDone(int port) {
    if (!validIndex(port)) {
        return SioCode::InvalidPort;
    }
    if (const auto found = m_ports.find(port); found != m_ports.end()) {
        closeHandle(found->second);
        m_ports.erase(found);
    }
    return 0;
}

QString WinSerialWsc32::SioWinError(int maxChars) {
    return m_lastError.left(std::max(maxChars, 0));
}
