// COM port naming on Windows: COM n is the native name COMn, and the DOS device names list
// the ports present.
#include <qt_windows.h>
#include <QRegularExpression>
#include <algorithm>
#include <vector>

#include "device/ComPorts.h"

namespace ComPorts {

QString devicePath(int comNumber) {
    if (!isComNumber(comNumber))
        return {};
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
    QList<Info> ports;
    for (DWORD start = 0; start < length && names[start] != 0;) {
        const QString name = QString::fromWCharArray(&names[start]);
        start += DWORD(name.size()) + 1;
        const QRegularExpressionMatch match = pattern.match(name);
        if (!match.hasMatch() || !isComNumber(match.captured(1).toInt()))
            continue;
        wchar_t target[512] = {};
        const DWORD targetLength =
            QueryDosDeviceW(reinterpret_cast<const wchar_t*>(name.utf16()), target, 512);
        ports.append({match.captured(1).toInt(), name,
                      targetLength > 0 ? QString::fromWCharArray(target) : name});
    }
    std::sort(ports.begin(), ports.end(),
              [](const Info& a, const Info& b) { return a.number < b.number; });
    return ports;
}

}  // namespace ComPorts
