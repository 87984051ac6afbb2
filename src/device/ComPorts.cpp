// The COM port rules every platform shares: the number range, the ports folder and its link
// names. ComPortsUnix.cpp and ComPortsWindows.cpp map numbers to devices.
#include <QRegularExpression>
#include <QStandardPaths>

#include "device/ComPorts.h"
#include "settings/InstallLocation.h"

namespace ComPorts {

QString portsFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QLatin1Char('/') + InstallLocation::VendorFolder + QStringLiteral("/ports");
}

QString displayName(int comNumber) {
    return QStringLiteral("Com%1").arg(comNumber);
}

QString linkName(int comNumber) {
    return QStringLiteral("com") + QString::number(comNumber);
}

int linkNumber(const QString& name) {
    static const QRegularExpression pattern(QStringLiteral("^com([1-9][0-9]{0,2})$"));
    const QRegularExpressionMatch match = pattern.match(name);
    if (!match.hasMatch()) {
        return 0;
    }
    const int number = match.captured(1).toInt();
    return isComNumber(number) ? number : 0;
}

QString describe(const QList<Info>& listed, int comNumber) {
    for (const Info& port : listed) {
        if (port.number == comNumber) {
            return port.description.isEmpty() ? port.devicePath : port.description;
        }
    }
    return devicePath(comNumber);
}

QList<Info> present() {
    return presentIn(QStringLiteral("/dev"), QStringLiteral("/sys/class/tty"));
}

}  // namespace ComPorts
