// COM port naming on Windows: COM n is the native name COMn, the DOS device names list the
// ports present, and the device manager tells what each is.
#include <qt_windows.h>

#include <devguid.h>
#include <setupapi.h>

#include <QHash>
#include <QRegularExpression>
#include <algorithm>
#include <vector>

#include "device/ComPorts.h"

namespace ComPorts {

namespace {

// A text property of a device in the device manager, or an empty text.
QString deviceProperty(HDEVINFO devices, SP_DEVINFO_DATA& device, DWORD property) {
    wchar_t text[256] = {};
    if (!SetupDiGetDeviceRegistryPropertyW(devices, &device, property, nullptr,
                                           reinterpret_cast<BYTE*>(text), sizeof text - 2,
                                           nullptr)) {
        return {};
    }
    return QString::fromWCharArray(text).trimmed();
}

// What the device manager says of each serial port present, by its COM name: its description
// and maker, "USB Serial Port (FTDI)". Ports it does not list (Wine's, a virtual port without
// a driver entry) are missing.
QHash<QString, QString> adapterNames() {
    QHash<QString, QString> names;
    HDEVINFO devices = SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (devices == INVALID_HANDLE_VALUE) {
        return names;
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; SetupDiEnumDeviceInfo(devices, index, &device); ++index) {
        HKEY key = SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE) {
            continue;
        }
        wchar_t portName[64] = {};
        DWORD size = sizeof portName - 2;
        DWORD type = 0;
        const bool named =
            RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(portName),
                             &size) == ERROR_SUCCESS &&
            type == REG_SZ;
        RegCloseKey(key);
        if (!named) {
            continue;
        }
        const QString description = deviceProperty(devices, device, SPDRP_DEVICEDESC);
        const QString maker = deviceProperty(devices, device, SPDRP_MFG);
        if (description.isEmpty()) {
            continue;
        }
        names.insert(QString::fromWCharArray(portName).toUpper(),
                     maker.isEmpty() || maker.startsWith(u'(')
                         ? description
                         : QStringLiteral("%1 (%2)").arg(description, maker));
    }
    SetupDiDestroyDeviceInfoList(devices);
    return names;
}

}  // namespace

QString devicePath(int comNumber) {
    if (!isComNumber(comNumber)) {
        return {};
    }
    return QStringLiteral("COM%1").arg(comNumber);
}

QString resolve(const QString& path) {
    return path;
}

QString stableName(const QString&, const QString&) {
    return {};
}

QList<Info> presentIn(const QString&, const QString&) {
    // The DOS device names include one COMn entry for every serial port Windows knows.
    std::vector<wchar_t> names(64 * 1024);
    const DWORD length = QueryDosDeviceW(nullptr, names.data(), DWORD(names.size()));
    static const QRegularExpression pattern(QStringLiteral("^COM([1-9][0-9]{0,2})$"));
    const QHash<QString, QString> adapters = adapterNames();
    QList<Info> ports;
    for (DWORD start = 0; start < length && names[start] != 0;) {
        const QString name = QString::fromWCharArray(&names[start]);
        start += DWORD(name.size()) + 1;
        const QRegularExpressionMatch match = pattern.match(name);
        if (!match.hasMatch() || !isComNumber(match.captured(1).toInt())) {
            continue;
        }
        wchar_t target[512] = {};
        const DWORD targetLength =
            QueryDosDeviceW(reinterpret_cast<const wchar_t*>(name.utf16()), target, 512);
        // "USB Serial Port (FTDI) - \Device\VCP0" where the device manager knows the port,
        // else what the DOS device name stands for.
        const QString kernelName = targetLength > 0 ? QString::fromWCharArray(target) : name;
        const QString adapter = adapters.value(name.toUpper());
        ports.append(
            {match.captured(1).toInt(), name,
             adapter.isEmpty() ? kernelName : QStringLiteral("%1 - %2").arg(adapter, kernelName)});
    }
    std::sort(ports.begin(), ports.end(),
              [](const Info& a, const Info& b) { return a.number < b.number; });
    return ports;
}

}  // namespace ComPorts
