// COM port naming on Linux and other Unix systems: com<n> links in the ports folder, the fixed
// rule for the kernel's serial devices, and the simulator's handles.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <map>

#include "core/BuildInfo.h"
#include "device/ComPorts.h"

namespace ComPorts {

namespace {

// The fixed rule: each block of 32 COM numbers maps to one family of device names.
struct FixedBlock {
    int firstCom;
    const char* prefix;
};
constexpr FixedBlock FixedBlocks[] = {{1, "ttyS"}, {33, "ttyUSB"}, {65, "ttyACM"}};
constexpr int BlockSize = 32;

// The device name (ttyS0, ttyUSB3 ...) the fixed rule gives COM n, or an empty text.
QString fixedDeviceName(int comNumber) {
    for (const FixedBlock& block : FixedBlocks) {
        if (comNumber >= block.firstCom && comNumber < block.firstCom + BlockSize) {
            return QLatin1String(block.prefix) + QString::number(comNumber - block.firstCom);
        }
    }
    return {};
}

QString readLine(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(file.readLine()).trimmed();
}

// What the kernel says about a tty: for a USB adapter its product, maker and serial number
// ("FT232R USB UART (FTDI, serial A1234567)"), otherwise the name of its driver.
QString describeTty(const QString& classEntry) {
    QString dir = QFileInfo(classEntry + QStringLiteral("/device")).canonicalFilePath();
    for (int level = 0; level < 4 && !dir.isEmpty(); ++level) {
        const QString product = readLine(dir + QStringLiteral("/product"));
        if (!product.isEmpty()) {
            QStringList details;
            if (const QString maker = readLine(dir + QStringLiteral("/manufacturer"));
                !maker.isEmpty()) {
                details.append(maker);
            }
            if (const QString serial = readLine(dir + QStringLiteral("/serial"));
                !serial.isEmpty()) {
                details.append(QStringLiteral("serial ") + serial);
            }
            return details.isEmpty() ? product
                                     : QStringLiteral("%1 (%2)").arg(product, details.join(", "));
        }
        dir = QFileInfo(dir).path();
    }
    const QString driver =
        QFileInfo(classEntry + QStringLiteral("/device/driver")).canonicalFilePath();
    if (driver.isEmpty()) {
        return QStringLiteral("Serial port");
    }
    return QStringLiteral("Serial port (%1)").arg(QFileInfo(driver).fileName());
}

// A fixed-rule device counts when its node exists and, where the kernel lists ttys, the tty
// has a device behind it. The kernel keeps ttyS nodes for every possible 8250 line; those
// without a UART report type 0 and are left out.
bool fixedDevicePresent(const QString& node, const QString& classEntry, bool kernelListsTtys) {
    if (!QFileInfo::exists(node)) {
        return false;
    }
    if (!kernelListsTtys) {
        return true;
    }
    if (!QFileInfo::exists(classEntry + QStringLiteral("/device"))) {
        return false;
    }
    return readLine(classEntry + QStringLiteral("/type")) != QLatin1String("0");
}

// Most links followed one after another, as many as the kernel follows.
constexpr int MaxLinkHops = 40;

// The process whose handle a link target names (/proc/<pid>/fd/<n>), or 0 for any other path.
qint64 handleOwner(const QString& target) {
    static const QRegularExpression pattern(QStringLiteral("^/proc/([1-9][0-9]*)/fd/[0-9]+$"));
    const QRegularExpressionMatch match = pattern.match(target);
    return match.hasMatch() ? match.captured(1).toLongLong() : 0;
}

// Where a path leads: the device, and the simulator's process when the way goes through a
// simulator's handle.
struct Destination {
    QString device;        // empty when the path leads to no device
    qint64 simulator = 0;  // the simulator's process id, 0 when none is on the way
};

// Follows the links one at a time, so a simulator's handle is checked wherever it is in the
// chain. The handle's entry vanishes with the simulator; while the pid belongs to another
// process (the simulator died and the pid was reused) the entry may name anything, the other
// process's own terminal included, so the process must still be a simulator and the handle a
// pseudo-terminal.
Destination follow(const QString& path) {
    QString hop = path;
    for (int count = 0; count < MaxLinkHops; ++count) {
        const QFileInfo info(hop);
        if (!info.isSymLink()) {
            break;
        }
        const QString target = info.symLinkTarget();
        if (const qint64 pid = handleOwner(target); pid != 0) {
            const QString name = readLine(QStringLiteral("/proc/%1/comm").arg(pid));
            if (name != QLatin1String(SimulatorProcessName)) {
                return {};
            }
            const QString device = QFileInfo(target).canonicalFilePath();
            if (!device.startsWith(QLatin1String("/dev/pts/"))) {
                return {};
            }
            return {device, pid};
        }
        hop = target;
    }
    return {QFileInfo(path).canonicalFilePath(), 0};
}

// What the device a link leads to is: the simulator's terminal, another pseudo-terminal, a
// tty the kernel lists (a node in deviceFolder), or else just its path.
QString identify(const Destination& destination, const QString& deviceFolder,
                 const QString& ttyClassFolder) {
    const QString& device = destination.device;
    if (destination.simulator != 0) {
        return QStringLiteral("device simulator's pseudo-terminal %1 (process %2)")
            .arg(device)
            .arg(destination.simulator);
    }
    if (device.startsWith(QLatin1String("/dev/pts/"))) {
        return QStringLiteral("pseudo-terminal ") + device;
    }
    const QFileInfo node(device);
    const QString classEntry = ttyClassFolder + QLatin1Char('/') + node.fileName();
    if (node.path() == QFileInfo(deviceFolder).canonicalFilePath() &&
        QFileInfo::exists(classEntry)) {
        return describeTty(classEntry) + QStringLiteral(" - ") + device;
    }
    return device;
}

// The com<n> entries of the ports folder by number; an entry counts even when it is a
// dangling link.
std::map<int, QFileInfo> linkEntries() {
    std::map<int, QFileInfo> links;
    const QDir folder(portsFolder());
    const QStringList names =
        folder.entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        if (const int number = linkNumber(name); number != 0) {
            links.emplace(number, QFileInfo(folder.filePath(name)));
        }
    }
    return links;
}

}  // namespace

QString devicePath(int comNumber) {
    if (!isComNumber(comNumber)) {
        return {};
    }
    const QFileInfo link(portsFolder() + QLatin1Char('/') + linkName(comNumber));
    if (link.isSymLink() || link.exists()) {
        return link.filePath();
    }
    const QString name = fixedDeviceName(comNumber);
    return name.isEmpty() ? QString() : QStringLiteral("/dev/") + name;
}

QString resolve(const QString& path) {
    return follow(path).device;
}

QString stableName(const QString& device, const QString& folder) {
    if (device.isEmpty()) {
        return {};
    }
    const QDir names(folder);
    for (const QString& name :
         names.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        const QString path = names.filePath(name);
        if (QFileInfo(path).isSymLink() && QFileInfo(path).canonicalFilePath() == device) {
            return path;
        }
    }
    return {};
}

QList<Info> presentIn(const QString& deviceFolder, const QString& ttyClassFolder) {
    std::map<int, Info> ports;
    const std::map<int, QFileInfo> links = linkEntries();
    for (const auto& [number, link] : links) {
        const Destination destination = follow(link.filePath());
        if (destination.device.isEmpty()) {
            continue;  // whatever it pointed to, or the simulator behind it, is gone
        }
        // Where the link points, then what the device there is.
        const QString where = link.isSymLink()
                                  ? link.filePath() + QStringLiteral(" -> ") + link.symLinkTarget()
                                  : link.filePath();
        const QString what = identify(destination, deviceFolder, ttyClassFolder);
        ports.emplace(number, Info{number, link.filePath(), where + QLatin1Char('\n') + what});
    }

    const bool kernelListsTtys = QFileInfo(ttyClassFolder).isDir();
    for (const FixedBlock& block : FixedBlocks) {
        for (int offset = 0; offset < BlockSize; ++offset) {
            const int number = block.firstCom + offset;
            if (links.count(number) != 0) {
                continue;  // the link decides this number, present or not
            }
            const QString name = fixedDeviceName(number);
            const QString node = deviceFolder + QLatin1Char('/') + name;
            const QString classEntry = ttyClassFolder + QLatin1Char('/') + name;
            if (fixedDevicePresent(node, classEntry, kernelListsTtys)) {
                ports.emplace(number, Info{number, node,
                                           describeTty(classEntry) + QStringLiteral(" - ") + node});
            }
        }
    }

    QList<Info> result;
    for (const auto& entry : ports) {
        result.append(entry.second);
    }
    return result;
}

}  // namespace ComPorts
