// The kernel timer on Linux: a timerfd on CLOCK_MONOTONIC, which std::chrono::steady_clock
// reads too, watched by a socket notifier. The kernel applies no timer slack to it.
#include <sys/timerfd.h>
#include <unistd.h>
#include <QSocketNotifier>
#include <QThread>
#include <cmath>
#include <cstdint>
#include <ctime>

#include "core/KernelTimer.h"

namespace {

class TimerFd final : public KernelTimer {
  public:
    TimerFd(int fd, std::function<void()> fired)
        : m_fd(fd), m_notifier(fd, QSocketNotifier::Read), m_fired(std::move(fired)) {
        QObject::connect(&m_notifier, &QSocketNotifier::activated, [this] {
            // Reading clears the expiry; nothing to read means a re-arm overtook it.
            uint64_t expiries = 0;
            if (::read(m_fd, &expiries, sizeof expiries) == sizeof expiries) {
                m_fired();
            }
        });
    }
    ~TimerFd() override {
        m_notifier.setEnabled(false);
        ::close(m_fd);
    }
    TimerFd(const TimerFd&) = delete;
    TimerFd& operator=(const TimerFd&) = delete;

    void arm(double when) override {
        itimerspec setting{};
        const double seconds = std::floor(when);
        setting.it_value.tv_sec = static_cast<time_t>(seconds);
        setting.it_value.tv_nsec = static_cast<long>((when - seconds) * 1e9);
        // A zero value would disarm the timer; any time in the past goes off at once.
        if (setting.it_value.tv_sec <= 0 && setting.it_value.tv_nsec <= 0) {
            setting.it_value.tv_sec = 0;
            setting.it_value.tv_nsec = 1;
        }
        ::timerfd_settime(m_fd, TFD_TIMER_ABSTIME, &setting, nullptr);
    }

    void disarm() override {
        const itimerspec off{};
        ::timerfd_settime(m_fd, 0, &off, nullptr);
    }

  private:
    int m_fd;
    QSocketNotifier m_notifier;
    std::function<void()> m_fired;
};

}  // namespace

std::unique_ptr<KernelTimer> KernelTimer::make(std::function<void()> fired) {
    const int fd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    return std::make_unique<TimerFd>(fd, std::move(fired));
}

bool KernelTimer::isHighResolution() {
    return true;
}

void KernelTimer::sleepMs(int milliseconds) {
    QThread::msleep(static_cast<unsigned long>(milliseconds));
}
