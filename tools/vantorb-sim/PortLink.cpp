#include "PortLink.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "device/ComPorts.h"

namespace {

QString errnoText(const QString& what, int code) {
    return QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(strerror(code)));
}

// The target of the link at path, or an empty text when it is not a link.
QString readLink(const QByteArray& path) {
    char buffer[4096];
    const ssize_t n = readlink(path.constData(), buffer, sizeof buffer - 1);
    if (n < 0) {
        return {};
    }
    return QFile::decodeName(QByteArray(buffer, static_cast<qsizetype>(n)));
}

}  // namespace

PortLink::PortLink(QString folder) : m_folder(std::move(folder)) {}

PortLink::~PortLink() {
    remove();
}

QString PortLink::defaultFolder() {
    return ComPorts::portsFolder();
}

QString PortLink::linkPathFor(int comNumber) const {
    return m_folder + QLatin1Char('/') + ComPorts::linkName(comNumber);
}

PortLink::Slot PortLink::slotState(int comNumber) const {
    const QByteArray path = QFile::encodeName(linkPathFor(comNumber));
    struct stat st {};
    if (lstat(path.constData(), &st) != 0) {
        return Slot::Absent;
    }
    if (!S_ISLNK(st.st_mode)) {
        return Slot::Taken;  // something that is not ours to replace
    }
    return ComPorts::resolve(linkPathFor(comNumber)).isEmpty() ? Slot::Stale : Slot::Taken;
}

void PortLink::dropLinksToOwnPid() const {
    const QString ownEntry = QStringLiteral("/proc/%1/").arg(getpid());
    const QStringList entries =
        QDir(m_folder).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        const QByteArray path = QFile::encodeName(m_folder + QLatin1Char('/') + entry);
        if (ComPorts::linkNumber(entry) != 0 && readLink(path).startsWith(ownEntry)) {
            unlink(path.constData());
        }
    }
}

bool PortLink::publish(int comNumber, const QString& target, QString* error) {
    if (!QDir().mkpath(m_folder)) {
        *error = QStringLiteral("cannot create %1").arg(m_folder);
        return false;
    }
    dropLinksToOwnPid();
    if (comNumber != 0) {
        const Slot state = slotState(comNumber);
        if (state == Slot::Taken) {
            *error = QStringLiteral("COM%1 is already in use (%2)")
                         .arg(comNumber)
                         .arg(linkPathFor(comNumber));
            return false;
        }
        return claim(comNumber, state, target, error) == 0;
    }
    for (int n = HighestNumber; n >= 1; --n) {
        const Slot state = slotState(n);
        if (state == Slot::Taken) {
            continue;
        }
        const int code = claim(n, state, target, error);
        if (code == 0) {
            return true;
        }
        if (code != EEXIST) {
            return false;
        }
        // Another simulator took this number a moment ago; try the next one.
    }
    *error = QStringLiteral("no free COM number in %1").arg(m_folder);
    return false;
}

int PortLink::claim(int comNumber, Slot state, const QString& target, QString* error) {
    const QByteArray finalPath = QFile::encodeName(linkPathFor(comNumber));
    const QByteArray tempPath = QFile::encodeName(
        QStringLiteral("%1/.com%2.%3.tmp").arg(m_folder).arg(comNumber).arg(getpid()));
    const QByteArray targetPath = QFile::encodeName(target);

    unlink(tempPath.constData());
    if (symlink(targetPath.constData(), tempPath.constData()) != 0) {
        const int code = errno;
        *error = errnoText(QStringLiteral("cannot create link %1").arg(QFile::decodeName(tempPath)),
                           code);
        return code;
    }
    // An absent link is claimed without replacing anything, so two simulators starting at
    // once cannot both take the same number; a stale link is replaced in one step.
    int rc = 0;
    if (state == Slot::Absent) {
        rc = renameat2(AT_FDCWD, tempPath.constData(), AT_FDCWD, finalPath.constData(),
                       RENAME_NOREPLACE);
        if (rc != 0 && errno == EINVAL) {
            rc = rename(tempPath.constData(), finalPath.constData());
        }
    } else {
        rc = rename(tempPath.constData(), finalPath.constData());
    }
    if (rc != 0) {
        const int code = errno;
        *error =
            errnoText(QStringLiteral("cannot publish %1").arg(QFile::decodeName(finalPath)), code);
        unlink(tempPath.constData());
        return code;
    }
    m_number = comNumber;
    m_target = target;
    return 0;
}

void PortLink::remove() {
    if (m_number == 0) {
        return;
    }
    const QByteArray path = QFile::encodeName(linkPath());
    if (readLink(path) == m_target) {
        unlink(path.constData());
    }
    m_number = 0;
}
