#include "FrameArrivals.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>

#include "core/DeadlineAlarm.h"

FrameArrivals::FrameArrivals() = default;

FrameArrivals::~FrameArrivals() {
    stopReader();
    for (int fd : m_stopPipe) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

bool FrameArrivals::open(bool spin, QString* error) {
    // The slave is held before the serial backend opens it for exclusive use, for the whole run.
    if (!m_terminal.open(error) || !m_terminal.holdSlave(error)) {
        return false;
    }
    if (::pipe2(m_stopPipe, O_CLOEXEC) != 0) {
        *error = QStringLiteral("pipe2: ") + qt_error_string(errno);
        return false;
    }
    if (spin && !m_terminal.setNonBlocking(error)) {
        return false;
    }
    m_reader = std::thread([this, spin] { spin ? spinLoop() : readLoop(); });
    return true;
}

bool FrameArrivals::publish(const QString& folder, int comNumber, QString* error) const {
    return !m_terminal.publish(folder, comNumber, error).isEmpty();
}

void FrameArrivals::readLoop() {
    const int master = m_terminal.master();
    pollfd watched[2] = {{master, POLLIN, 0}, {m_stopPipe[0], POLLIN, 0}};
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
        take(buffer, ::read(master, buffer, sizeof buffer), woke);
    }
}

void FrameArrivals::spinLoop() {
    const int master = m_terminal.master();
    char buffer[4096];
    while (!m_stop.load(std::memory_order_relaxed)) {
        const ssize_t got = ::read(master, buffer, sizeof buffer);
        take(buffer, got, steadySeconds());
    }
}

void FrameArrivals::take(const char* bytes, ssize_t count, double time) {
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

void FrameArrivals::stopReader() {
    if (!m_reader.joinable()) {
        return;
    }
    m_stop = true;
    const char stop = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_stopPipe[1], &stop, 1);
    m_reader.join();
}

size_t FrameArrivals::arrivedCount() const {
    std::lock_guard lock(m_mutex);
    return m_arrivals.size();
}

bool FrameArrivals::waitForFrames(size_t count, double timeoutSeconds) const {
    std::unique_lock lock(m_mutex);
    return m_arrived.wait_for(lock, std::chrono::duration<double>(timeoutSeconds),
                              [&] { return m_arrivals.size() >= count; });
}

std::vector<FrameArrivals::Arrival> FrameArrivals::takeArrivals() {
    std::lock_guard lock(m_mutex);
    std::vector<Arrival> taken;
    taken.swap(m_arrivals);
    return taken;
}
