#include "DeviceLine.h"

#include <QSocketNotifier>

#include <unistd.h>
#include <cerrno>

#include "MonotonicClock.h"

DeviceLine::DeviceLine(QObject* parent) : QObject(parent) {
    // After a hang-up the master reports readable forever; look again only after a pause.
    m_resume.setSingleShot(true);
    m_resume.setInterval(200);
    connect(&m_resume, &QTimer::timeout, this, [this] {
        if (m_notifier != nullptr) {
            m_notifier->setEnabled(true);
        }
    });
}

DeviceLine::~DeviceLine() {
    if (m_notifier != nullptr) {
        m_notifier->setEnabled(false);
    }
}

bool DeviceLine::open(QString* error) {
    if (!m_terminal.open(error) || !m_terminal.holdSlave(error) ||
        !m_terminal.setNonBlocking(error)) {
        return false;
    }
    m_notifier = new QSocketNotifier(m_terminal.master(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &DeviceLine::readMaster);
    return true;
}

void DeviceLine::readMaster() {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_terminal.master(), buffer, sizeof buffer);
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

void DeviceLine::pauseReading() {
    m_notifier->setEnabled(false);
    m_resume.start();
}
