#include "core/SignalWatcher.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#endif

#ifdef Q_OS_UNIX
namespace {

int pipeFds[2] = {-1, -1};

void onSignal(int signalNumber) {
    const int saved = errno;
    const char byte = static_cast<char>(signalNumber);
    // Nothing useful can be done if the pipe is full: an end is already pending then.
    [[maybe_unused]] const ssize_t n = ::write(pipeFds[1], &byte, 1);
    errno = saved;
}

}  // namespace
#endif

SignalWatcher::SignalWatcher(std::initializer_list<int> signalNumbers, QObject* parent)
    : QObject(parent), m_signals(signalNumbers) {
#ifdef Q_OS_UNIX
    if (pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    m_notifier = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalWatcher::drain);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int s : m_signals) {
        sigaction(s, &action, nullptr);
    }
#endif
}

SignalWatcher::~SignalWatcher() {
#ifdef Q_OS_UNIX
    if (m_notifier == nullptr) {
        return;
    }
    for (const int s : m_signals) {
        signal(s, SIG_DFL);
    }
    m_notifier->setEnabled(false);
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    pipeFds[0] = pipeFds[1] = -1;
#endif
}

void SignalWatcher::drain() {
#ifdef Q_OS_UNIX
    char bytes[16];
    const ssize_t n = ::read(pipeFds[0], bytes, sizeof bytes);
    for (ssize_t i = 0; i < n; ++i) {
        emit terminationRequested(bytes[i]);
    }
#endif
}
