#include "PtyDevice.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <cerrno>
#include <chrono>
#include <cstdlib>

#include "core/DeadlineAlarm.h"

PtyDevice::PtyDevice() = default;

PtyDevice::~PtyDevice() {
    stopReader();
    for (int fd : {m_master, m_slaveHold, m_stopPipe[0], m_stopPipe[1]}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

bool PtyDevice::open(bool spin, QString* error) {
    auto fail = [error](const char* what) {
        *error = QStringLiteral("%1: %2").arg(QLatin1String(what), qt_error_string(errno));
        return false;
    };
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0) {
        return fail("posix_openpt");
    }
    char name[128] = {};
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0 ||
        ::ptsname_r(m_master, name, sizeof name) != 0) {
        return fail("preparing the pseudo-terminal");
    }
    termios settings{};
    if (::tcgetattr(m_master, &settings) != 0) {
        return fail("tcgetattr");
    }
    ::cfmakeraw(&settings);
    if (::tcsetattr(m_master, TCSANOW, &settings) != 0) {
        return fail("tcsetattr");
    }
    m_slavePath = QString::fromLocal8Bit(name);
    // Opened before the serial backend opens it for exclusive use, and held for the whole run.
    m_slaveHold = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slaveHold < 0) {
        return fail("opening the slave");
    }
    if (::pipe2(m_stopPipe, O_CLOEXEC) != 0) {
        return fail("pipe2");
    }
    if (spin && ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK) != 0) {
        return fail("fcntl");
    }
    m_reader = std::thread([this, spin] { spin ? spinLoop() : readLoop(); });
    return true;
}

bool PtyDevice::publish(const QString& folder, int comNumber, QString* error) const {
    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("cannot create %1").arg(folder);
        return false;
    }
    const QString link = folder + QStringLiteral("/com") + QString::number(comNumber);
    QFile::remove(link);
    if (!QFile::link(m_slavePath, link)) {
        *error = QStringLiteral("cannot link %1 to %2").arg(link, m_slavePath);
        return false;
    }
    return true;
}

void PtyDevice::readLoop() {
    pollfd watched[2] = {{m_master, POLLIN, 0}, {m_stopPipe[0], POLLIN, 0}};
    char buffer[4096];
    while (true) {
        const int ready = ::poll(watched, 2, -1);
        const double woke = steadySeconds();
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (watched[1].revents != 0) {
            return;
        }
        if ((watched[0].revents & POLLIN) == 0) {
            continue;
        }
        take(buffer, ::read(m_master, buffer, sizeof buffer), woke);
    }
}

void PtyDevice::spinLoop() {
    char buffer[4096];
    while (!m_stop.load(std::memory_order_relaxed)) {
        const ssize_t got = ::read(m_master, buffer, sizeof buffer);
        take(buffer, got, steadySeconds());
    }
}

void PtyDevice::take(const char* bytes, ssize_t count, double time) {
    if (count <= 0) {
        return;
    }
    std::lock_guard lock(m_mutex);
    m_partial.append(bytes, count);
    qsizetype used = 0;
    while (m_partial.size() - used >= FrameSize) {
        m_arrivals.push_back({time, m_partial.mid(used, FrameSize)});
        used += FrameSize;
    }
    m_partial.remove(0, used);
    m_arrived.notify_all();
}

void PtyDevice::stopReader() {
    if (!m_reader.joinable()) {
        return;
    }
    m_stop = true;
    const char stop = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_stopPipe[1], &stop, 1);
    m_reader.join();
}

size_t PtyDevice::arrivedCount() const {
    std::lock_guard lock(m_mutex);
    return m_arrivals.size();
}

bool PtyDevice::waitForFrames(size_t count, double timeoutSeconds) const {
    std::unique_lock lock(m_mutex);
    return m_arrived.wait_for(lock, std::chrono::duration<double>(timeoutSeconds),
                              [&] { return m_arrivals.size() >= count; });
}

std::vector<PtyDevice::Arrival> PtyDevice::takeArrivals() {
    std::lock_guard lock(m_mutex);
    std::vector<Arrival> taken;
    taken.swap(m_arrivals);
    return taken;
}
