#include "SignalWatcher.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>

namespace {

int pipeFds[2] = {-1, -1};
constexpr int watched[] = {SIGTERM, SIGINT, SIGHUP};

void onSignal(int signalNumber) {
    const int saved = errno;
    const char byte = static_cast<char>(signalNumber);
    // Nothing useful can be done if the pipe is full: a quit is already pending then.
    [[maybe_unused]] const ssize_t n = ::write(pipeFds[1], &byte, 1);
    errno = saved;
}

}  // namespace

SignalWatcher::SignalWatcher(QObject* parent) : QObject(parent) {
    if (pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int s : watched) {
        sigaction(s, &action, nullptr);
    }
    m_notifier = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalWatcher::drain);
}

SignalWatcher::~SignalWatcher() {
    if (m_notifier == nullptr) {
        return;
    }
    m_notifier->setEnabled(false);
    for (const int s : watched) {
        signal(s, SIG_DFL);
    }
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    pipeFds[0] = pipeFds[1] = -1;
}

void SignalWatcher::drain() {
    char bytes[16];
    const ssize_t n = ::read(pipeFds[0], bytes, sizeof bytes);
    for (ssize_t i = 0; i < n; ++i) {
        emit terminationRequested(bytes[i]);
    }
}
