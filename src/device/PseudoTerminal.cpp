#include "device/PseudoTerminal.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace {

// Sets *error to what failed and the system's reason; returns false for the caller to pass on.
bool failed(QString* error, const char* what) {
    *error = QStringLiteral("%1: %2").arg(QLatin1String(what), qt_error_string(errno));
    return false;
}

}  // namespace

PseudoTerminal::~PseudoTerminal() {
    closeMaster();
    if (m_slaveHold >= 0) {
        ::close(m_slaveHold);
    }
}

bool PseudoTerminal::open(QString* error) {
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0) {
        return failed(error, "posix_openpt");
    }
    char name[128] = {};
    termios settings{};
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0 ||
        ::ptsname_r(m_master, name, sizeof name) != 0 || ::tcgetattr(m_master, &settings) != 0) {
        failed(error, "preparing the pseudo-terminal");
        closeMaster();
        return false;
    }
    // The master's settings are the slave's: the pair shares one terminal.
    ::cfmakeraw(&settings);
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    if (::tcsetattr(m_master, TCSANOW, &settings) != 0) {
        failed(error, "tcsetattr");
        closeMaster();
        return false;
    }
    m_slavePath = QString::fromLocal8Bit(name);
    return true;
}

bool PseudoTerminal::setNonBlocking(QString* error) {
    const int flags = ::fcntl(m_master, F_GETFL);
    if (flags < 0 || ::fcntl(m_master, F_SETFL, flags | O_NONBLOCK) != 0) {
        return failed(error, "fcntl");
    }
    return true;
}

bool PseudoTerminal::holdSlave(QString* error) {
    if (m_slaveHold >= 0) {
        return true;
    }
    if (m_slavePath.isEmpty()) {
        *error = QStringLiteral("the pseudo-terminal is not open");
        return false;
    }
    m_slaveHold = ::open(QFile::encodeName(m_slavePath).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slaveHold < 0) {
        return failed(error, "opening the slave");
    }
    return true;
}

QString PseudoTerminal::heldSlavePath() const {
    if (m_slaveHold < 0) {
        return {};
    }
    return QStringLiteral("/proc/%1/fd/%2").arg(::getpid()).arg(m_slaveHold);
}

void PseudoTerminal::closeMaster() {
    if (m_master >= 0) {
        ::close(m_master);
    }
    m_master = -1;
}

QByteArray PseudoTerminal::read(qsizetype count, int timeoutMs) {
    QByteArray received;
    const QDeadlineTimer deadline(timeoutMs);
    while (m_master >= 0 && received.size() < count) {
        pollfd watch{m_master, POLLIN, 0};
        const int ready = ::poll(&watch, 1, int(deadline.remainingTime()));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0 || (watch.revents & POLLIN) == 0) {
            break;  // timed out, or the slave side is closed and nothing is left
        }
        char chunk[4096];
        const ssize_t got =
            ::read(m_master, chunk, size_t(std::min<qsizetype>(count - received.size(), 4096)));
        if (got <= 0) {
            break;
        }
        received.append(chunk, got);
    }
    return received;
}

std::optional<termios> PseudoTerminal::lineSettings() const {
    termios settings{};
    if (m_master < 0 || ::tcgetattr(m_master, &settings) != 0) {
        return std::nullopt;
    }
    return settings;
}

QString PseudoTerminal::publish(const QString& folder, int comNumber, QString* error) const {
    auto fail = [error](const QString& why) {
        if (error != nullptr) {
            *error = why;
        }
        return QString();
    };
    if (m_slavePath.isEmpty()) {
        return fail(QStringLiteral("the pseudo-terminal is not open"));
    }
    if (!QDir().mkpath(folder)) {
        return fail(QStringLiteral("cannot create %1").arg(folder));
    }
    const QString link = folder + QStringLiteral("/com") + QString::number(comNumber);
    QFile::remove(link);
    if (!QFile::link(m_slavePath, link)) {
        return fail(QStringLiteral("cannot link %1 to %2").arg(link, m_slavePath));
    }
    return link;
}
