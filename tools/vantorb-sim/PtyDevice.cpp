#include "PtyDevice.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "MonotonicClock.h"

namespace {

QString errnoText(const char* what) {
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(strerror(errno)));
}

}  // namespace

PtyDevice::PtyDevice(QObject* parent) : QObject(parent) {
    // After a hang-up the master reports readable forever; look again only after a pause.
    m_resume.setSingleShot(true);
    m_resume.setInterval(200);
    connect(&m_resume, &QTimer::timeout, this, [this] {
        if (m_notifier != nullptr) {
            m_notifier->setEnabled(true);
        }
    });
}

PtyDevice::~PtyDevice() {
    if (m_notifier != nullptr) {
        m_notifier->setEnabled(false);
    }
    if (m_slave >= 0) {
        ::close(m_slave);
    }
    if (m_master >= 0) {
        ::close(m_master);
    }
}

bool PtyDevice::open(QString* error) {
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0) {
        *error = errnoText("posix_openpt");
        return false;
    }
    if (grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
        *error = errnoText("grantpt/unlockpt");
        return false;
    }
    char name[128] = {};
    if (ptsname_r(m_master, name, sizeof name) != 0) {
        *error = errnoText("ptsname_r");
        return false;
    }
    m_slavePath = QString::fromLocal8Bit(name);
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slave < 0) {
        *error = errnoText("open terminal side");
        return false;
    }
    // Raw mode: no echo back to the controller, no line editing, no CR/LF translation.
    termios tio{};
    if (tcgetattr(m_slave, &tio) != 0) {
        *error = errnoText("tcgetattr");
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (tcsetattr(m_slave, TCSANOW, &tio) != 0) {
        *error = errnoText("tcsetattr");
        return false;
    }
    const int flags = fcntl(m_master, F_GETFL);
    if (flags < 0 || fcntl(m_master, F_SETFL, flags | O_NONBLOCK) != 0) {
        *error = errnoText("fcntl");
        return false;
    }
    m_notifier = new QSocketNotifier(m_master, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &PtyDevice::readMaster);
    return true;
}

QString PtyDevice::handlePath() const {
    if (m_slave < 0) {
        return {};
    }
    return QStringLiteral("/proc/%1/fd/%2").arg(getpid()).arg(m_slave);
}

void PtyDevice::readMaster() {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0) {
            emit received(QByteArray(buffer, static_cast<qsizetype>(n)), monotonicNs());
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return;
        }
        // EIO (nobody holds the terminal side), end of file or another error: the master
        // stays readable, so stop watching it for a while instead of spinning.
        pauseReading();
        return;
    }
}

void PtyDevice::pauseReading() {
    m_notifier->setEnabled(false);
    m_resume.start();
}
