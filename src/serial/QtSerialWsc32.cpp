#include "serial/QtSerialWsc32.h"

#include <QFileInfo>
#include <QSerialPort>
#include <algorithm>
#include <cerrno>
#include <iterator>

#include "core/DeadlineAlarm.h"
#include "device/ComPorts.h"
#include "serial/SerialLibrary.h"

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>

#include <vector>
#endif
#ifdef Q_OS_LINUX
#include <linux/serial.h>
#include <sys/ioctl.h>
#endif

namespace {

constexpr int PortCount = 256;

// Speeds of baud codes 0 to 9.
constexpr qint32 BaudRates[] = {110, 300, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

// Parity codes 0 to 4.
constexpr QSerialPort::Parity Parities[] = {QSerialPort::NoParity, QSerialPort::OddParity,
                                            QSerialPort::EvenParity, QSerialPort::MarkParity,
                                            QSerialPort::SpaceParity};

// Data-bits codes 0 to 3.
constexpr QSerialPort::DataBits DataBits[] = {QSerialPort::Data5, QSerialPort::Data6,
                                              QSerialPort::Data7, QSerialPort::Data8};

bool validIndex(int port) {
    return port >= 0 && port < PortCount;
}

// A write that failed only because the device's buffer is full: the bytes stay queued in
// QSerialPort and go out when the device takes them again. QSerialPort reports it as a
// resource error; the error number of the failed write (EAGAIN) tells it from a device that
// is gone (EIO and the like).
bool transientWriteFailure(QSerialPort::SerialPortError error, int errorNumber) {
    return error == QSerialPort::ResourceError &&
           (errorNumber == EAGAIN || errorNumber == EWOULDBLOCK);
}

// A failure after which the port is of no further use: the device is gone or refuses writes.
// Such a port must be closed, or its write notifier would fire again and again.
bool deviceLost(QSerialPort::SerialPortError error, int errorNumber) {
    if (error == QSerialPort::WriteError) {
        return true;
    }
    return error == QSerialPort::ResourceError && !transientWriteFailure(error, errorNumber);
}

// Why a mapped name leads to no device, naming what it points at.
QString missingDeviceText(const QString& mapped) {
    const QFileInfo info(mapped);
    return QStringLiteral("%1: %2").arg(qt_error_string(ENOENT),
                                        info.isSymLink() ? info.symLinkTarget() : mapped);
}

// USB-serial adapters hold small writes back for a few milliseconds unless asked not to.
// Drivers without the setting refuse the request, which changes nothing.
void requestLowLatency([[maybe_unused]] QSerialPort& serial) {
#ifdef Q_OS_LINUX
    serial_struct settings{};
    const int fd = serial.handle();
    if (::ioctl(fd, TIOCGSERIAL, &settings) == 0 && (settings.flags & ASYNC_LOW_LATENCY) == 0) {
        settings.flags |= ASYNC_LOW_LATENCY;
        ::ioctl(fd, TIOCSSERIAL, &settings);
    }
#endif
}

#ifdef Q_OS_UNIX
// The errno of a permission refusal for writing to device, or 0 when the permissions allow it.
int permissionRefusal(const QString& device) {
    if (::faccessat(AT_FDCWD, QFile::encodeName(device).constData(), W_OK, AT_EACCESS) == 0) {
        return 0;
    }
    const int error = errno;
    return (error == EACCES || error == EPERM) ? error : 0;
}

// The name of the group that owns device, or an empty text.
QString owningGroup(const QString& device) {
    struct stat status {};
    if (::stat(QFile::encodeName(device).constData(), &status) != 0) {
        return {};
    }
    std::vector<char> buffer(16384);
    group entry{};
    group* found = nullptr;
    if (::getgrgid_r(status.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found) {
        return {};
    }
    return QString::fromLocal8Bit(found->gr_name);
}

QString permissionText(int error, const QString& device) {
    const QString group = owningGroup(device);
    QString hint;
    if (group.isEmpty()) {
        hint = QStringLiteral("the user must belong to the group that owns it, usually dialout");
    } else if (group == QLatin1String("dialout")) {
        hint = QStringLiteral("the user must belong to group dialout, which owns it");
    } else {
        hint = QStringLiteral("the user must belong to group %1, which owns it (usually dialout)")
                   .arg(group);
    }
    return QStringLiteral("%1: %2; %3").arg(qt_error_string(error), device, hint);
}
#endif

}  // namespace

std::unique_ptr<Wsc32> makeSerialLibrary() {
    return std::make_unique<QtSerialWsc32>();
}

QtSerialWsc32::QtSerialWsc32()
    : QtSerialWsc32(steadySeconds, QLatin1String(ComPorts::StableNameFolder)) {}

QtSerialWsc32::QtSerialWsc32(std::function<double()> clock, QString stableNameFolder)
    : m_clock(std::move(clock)), m_stableNameFolder(std::move(stableNameFolder)) {}

QtSerialWsc32::~QtSerialWsc32() = default;

QtSerialWsc32::PortSlot* QtSerialWsc32::portSlot(int port) {
    const auto found = m_ports.find(port);
    if (found == m_ports.end() || !found->second.serial->isOpen()) {
        return nullptr;
    }
    return &found->second;
}

int QtSerialWsc32::systemError(const QString& text) {
    m_lastError = text;
    return SioCode::SystemError;
}

int QtSerialWsc32::openFailure(const QSerialPort& serial, const QString& device) {
    if (serial.error() == QSerialPort::PermissionError) {
        // QSerialPort reports a lock file held by another program, an exclusive open
        // elsewhere (EBUSY) and missing rights all the same way; the device's permissions
        // tell them apart.
#ifdef Q_OS_UNIX
        if (const int refusal = permissionRefusal(device); refusal != 0) {
            return systemError(permissionText(refusal, device));
        }
#endif
        return SioCode::AlreadyOpen;
    }
    return systemError(QStringLiteral("%1: %2").arg(serial.errorString(), device));
}

int QtSerialWsc32::settingFailure(const PortSlot& open, int unsupportedCode) {
    if (open.serial->error() == QSerialPort::UnsupportedOperationError) {
        return unsupportedCode;
    }
    return systemError(QStringLiteral("%1: %2").arg(open.serial->errorString(), open.device));
}

int QtSerialWsc32::SioReset(int port, int rxQueue, int txQueue) {
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

    const int comNumber = port + 1;
    const QString mapped = ComPorts::devicePath(comNumber);
    if (mapped.isEmpty()) {
        return systemError(
            QStringLiteral("COM%1 does not exist: no device is assigned to it").arg(comNumber));
    }
    // Links are followed, so the lock file and error texts name the real device.
    const QString device = ComPorts::resolve(mapped);
    if (device.isEmpty()) {
        return systemError(missingDeviceText(mapped));
    }

    auto serial = std::make_unique<QSerialPort>();
    if (const int code = openDevice(*serial, mapped, device); code != 0) {
        return code;
    }
    PortSlot& open = m_ports[port];
    open.serial = std::move(serial);
    open.mapped = mapped;
    open.device = device;
    open.stableName = ComPorts::stableName(device, m_stableNameFolder);
    open.txQueue = txQueue;
    open.reconnection = Reconnection(m_clock, ReturnCheckInterval);
    return 0;
}

int QtSerialWsc32::openDevice(QSerialPort& serial, const QString& mapped, const QString& device) {
    serial.setPortName(device);
    // Write-only: the device never answers, and a read notifier on a hung-up terminal would
    // fire without end.
    if (!serial.open(QIODevice::WriteOnly)) {
        return openFailure(serial, device);
    }
    // A simulator that ended between the lookup and the opening may have left its terminal's
    // number to another terminal; the lookup repeated now would no longer lead there.
    if (ComPorts::resolve(mapped) != device) {
        serial.close();
        return systemError(missingDeviceText(mapped));
    }
    requestLowLatency(serial);

    QSerialPort* raw = &serial;
    QObject::connect(raw, &QSerialPort::errorOccurred, raw,
                     [this, raw, device](QSerialPort::SerialPortError error) {
                         // QSerialPort reports an error right after the system call that
                         // failed, so errno is still that call's error number.
                         m_lastErrorNumber = errno;
                         if (!deviceLost(error, m_lastErrorNumber)) {
                             return;
                         }
                         m_lastError = QStringLiteral("%1: %2").arg(raw->errorString(), device);
                         // Closed from the event loop: the error may be reported from inside
                         // the port's own write notifier, which closing deletes.
                         QMetaObject::invokeMethod(
                             raw,
                             [raw] {
                                 if (raw->isOpen()) {
                                     raw->close();
                                 }
                             },
                             Qt::QueuedConnection);
                     });
    return 0;
}

bool QtSerialWsc32::reopenReturned(PortSlot& open) {
    if (!open.reconnection.lookDue()) {
        return false;
    }
    // An adapter with a stable name is that adapter wherever it is now, and no other device
    // that took its old node meanwhile.
    const QString lookup = Reconnection::lookupPath(open.stableName, open.mapped);
    const QString device = ComPorts::resolve(lookup);
    if (device.isEmpty()) {
        return false;
    }
    const QSerialPort& old = *open.serial;
    auto serial = std::make_unique<QSerialPort>();
    // Settings made before opening are applied by the opening.
    serial->setBaudRate(old.baudRate());
    serial->setParity(old.parity());
    serial->setStopBits(old.stopBits());
    serial->setDataBits(old.dataBits());
    serial->setFlowControl(old.flowControl());
    if (openDevice(*serial, lookup, device) != 0) {
        return false;
    }
    if (open.dtr) {
        serial->setDataTerminalReady(*open.dtr);
    }
    if (open.rts) {
        serial->setRequestToSend(*open.rts);
    }
    open.serial = std::move(serial);
    open.device = device;
    open.reconnection.deviceBack();
    return true;
}

int QtSerialWsc32::SioBaud(int port, int baudCode) {
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
    open->serial->clearError();
    if (open->serial->setBaudRate(BaudRates[baudCode])) {
        return 0;
    }
    return settingFailure(*open, SioCode::BadBaudRate);
}

int QtSerialWsc32::SioParms(int port, int parity, int stopBits, int dataBits) {
    if (!validIndex(port)) {
        return SioCode::InvalidPort;
    }
    PortSlot* open = portSlot(port);
    if (!open) {
        return SioCode::CannotOpen;
    }
    if (dataBits < 0 || dataBits >= int(std::size(DataBits))) {
        return SioCode::BadByteSize;
    }
    if (parity < 0 || parity >= int(std::size(Parities))) {
        return SioCode::OutOfRange;
    }
    QSerialPort::StopBits stop = QSerialPort::OneStop;
    switch (stopBits) {
        case 0:
            stop = QSerialPort::OneStop;
            break;
#ifdef Q_OS_WIN
        case 1:  // termios has no one-and-a-half stop bits
            stop = QSerialPort::OneAndHalfStop;
            break;
#endif
        case 2:
            stop = QSerialPort::TwoStop;
            break;
        default:
            return SioCode::OutOfRange;
    }

    QSerialPort& serial = *open->serial;
    serial.clearError();
    if (!serial.setParity(Parities[parity]) || !serial.setStopBits(stop)) {
        return settingFailure(*open, SioCode::OutOfRange);
    }
    if (!serial.setDataBits(DataBits[dataBits])) {
        return settingFailure(*open, SioCode::BadByteSize);
    }
    return 0;
}

int QtSerialWsc32::setModemLine(int port, char command, bool dtr) {
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
    QSerialPort& serial = *open->serial;
    serial.clearError();
    (dtr ? open->dtr : open->rts) = raise;
    if (dtr ? serial.setDataTerminalReady(raise) : serial.setRequestToSend(raise)) {
        return 0;
    }
    // A port without modem lines (a pseudo-terminal) has nothing to set.
    return settingFailure(*open, 0);
}

int QtSerialWsc32::SioDTR(int port, char command) {
    return setModemLine(port, command, true);
}

int QtSerialWsc32::SioRTS(int port, char command) {
    return setModemLine(port, command, false);
}

int QtSerialWsc32::SioPuts(int port, const char* bytes, int count) {
    if (!validIndex(port)) {
        return SioCode::InvalidPort;
    }
    const auto found = m_ports.find(port);
    if (found == m_ports.end()) {
        return SioCode::CannotOpen;
    }
    PortSlot* open = &found->second;
    if (!open->serial->isOpen() && !reopenReturned(*open)) {
        return SioCode::CannotOpen;
    }
    if (count < 0 || (count > 0 && !bytes)) {
        return SioCode::OutOfRange;
    }
    if (count == 0) {
        return 0;
    }

    QSerialPort& serial = *open->serial;
    // Bytes pile up here only while the device does not take them; past the transmit queue
    // size a frame is refused whole rather than letting the backlog grow without end. The
    // refusal is a failure: the frame never goes out.
    if (const qint64 waiting = serial.bytesToWrite(); waiting + count > open->txQueue) {
        return systemError(QStringLiteral("%1: %2 (%3 bytes wait to be sent)")
                               .arg(qt_error_string(EAGAIN), open->device)
                               .arg(waiting));
    }
    serial.clearError();
    m_lastErrorNumber = 0;
    const bool written = serial.write(bytes, count) == count && serial.flush();
    if (written || transientWriteFailure(serial.error(), m_lastErrorNumber)) {
        return count;
    }

    const QString text = QStringLiteral("%1: %2").arg(serial.errorString(), open->device);
    serial.close();
    open->reconnection.deviceLost();
    return systemError(text);
}

int QtSerialWsc32::SioDone(int port) {
    if (!validIndex(port)) {
        return SioCode::InvalidPort;
    }
    m_ports.erase(port);
    return 0;
}

QString QtSerialWsc32::SioWinError(int maxChars) {
    return m_lastError.left(std::max(maxChars, 0));
}
