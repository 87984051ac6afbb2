#include "support/Pty.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTest>
#include <algorithm>
#include <cerrno>
#include <cstdlib>

Pty::Pty() {
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0) {
        m_error = QStringLiteral("posix_openpt: ") + qt_error_string(errno);
        return;
    }
    char name[128] = {};
    termios settings{};
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0 ||
        ::ptsname_r(m_master, name, sizeof name) != 0 || ::tcgetattr(m_master, &settings) != 0) {
        m_error = QStringLiteral("preparing the pseudo-terminal: ") + qt_error_string(errno);
        closeMaster();
        return;
    }
    // Raw mode on the pair: no echo, no line editing, no newline translation.
    ::cfmakeraw(&settings);
    if (::tcsetattr(m_master, TCSANOW, &settings) != 0) {
        m_error = QStringLiteral("tcsetattr: ") + qt_error_string(errno);
        closeMaster();
        return;
    }
    m_slavePath = QString::fromLocal8Bit(name);
}

Pty::~Pty() {
    closeMaster();
    if (m_slaveHold >= 0)
        ::close(m_slaveHold);
}

QByteArray Pty::read(qsizetype count, int timeoutMs) {
    QByteArray received;
    const QDeadlineTimer deadline(timeoutMs);
    while (m_master >= 0 && received.size() < count) {
        pollfd watch{m_master, POLLIN, 0};
        const int ready = ::poll(&watch, 1, int(deadline.remainingTime()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0 || (watch.revents & POLLIN) == 0)
            break;  // timed out, or the slave side is closed and nothing is left
        char chunk[4096];
        const ssize_t got =
            ::read(m_master, chunk, size_t(std::min<qsizetype>(count - received.size(), 4096)));
        if (got <= 0)
            break;
        received.append(chunk, got);
    }
    return received;
}

QByteArray Pty::readThrough(const QByteArray& frame, int timeoutMs) {
    QByteArray received;
    // What arrived by then tells the caller whether the frame was among it.
    (void)QTest::qWaitFor(
        [&] {
            while (!received.endsWith(frame)) {
                const QByteArray next = read(1, 0);
                if (next.isEmpty())
                    return false;
                received += next;
            }
            return true;
        },
        timeoutMs);
    return received;
}

std::optional<termios> Pty::lineSettings() const {
    termios settings{};
    if (m_master < 0 || ::tcgetattr(m_master, &settings) != 0)
        return std::nullopt;
    return settings;
}

void Pty::closeMaster() {
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

QString Pty::publish(const QString& folder, int comNumber) const {
    if (m_slavePath.isEmpty() || !QDir().mkpath(folder))
        return {};
    const QString link = folder + QStringLiteral("/com") + QString::number(comNumber);
    QFile::remove(link);
    return QFile::link(m_slavePath, link) ? link : QString();
}

QString Pty::holdSlave() {
    if (m_slaveHold < 0 && !m_slavePath.isEmpty())
        m_slaveHold =
            ::open(QFile::encodeName(m_slavePath).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slaveHold < 0)
        return {};
    return QStringLiteral("/proc/%1/fd/%2").arg(::getpid()).arg(m_slaveHold);
}
