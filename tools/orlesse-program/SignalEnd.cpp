#include "SignalEnd.h"

#include <sys/socket.h>
#include <unistd.h>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <utility>

namespace {

int socketPair[2] = {-1, -1};
constexpr int Watched[] = {SIGINT, SIGTERM};

void onSignal(int signalNumber) {
    const int saved = errno;
    const char byte = static_cast<char>(signalNumber);
    // When the pair is full an end is pending already.
    [[maybe_unused]] const ssize_t n = ::write(socketPair[1], &byte, 1);
    errno = saved;
}

}  // namespace

SignalEnd::SignalEnd(std::function<void(int)> onSignal, QObject* parent)
    : QObject(parent), m_onSignal(std::move(onSignal)) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, socketPair) != 0) {
        return;
    }
    m_notifier = new QSocketNotifier(socketPair[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalEnd::drain);
    struct sigaction action {};
    action.sa_handler = ::onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int s : Watched) {
        sigaction(s, &action, nullptr);
    }
}

SignalEnd::~SignalEnd() {
    if (m_notifier == nullptr) {
        return;
    }
    for (const int s : Watched) {
        signal(s, SIG_DFL);
    }
    m_notifier->setEnabled(false);
    ::close(socketPair[0]);
    ::close(socketPair[1]);
    socketPair[0] = socketPair[1] = -1;
}

void SignalEnd::drain() {
    char bytes[16];
    const ssize_t n = ::read(socketPair[0], bytes, sizeof bytes);
    for (ssize_t i = 0; i < n; ++i) {
        if (m_onSignal) {
            m_onSignal(bytes[i]);
        }
    }
}
