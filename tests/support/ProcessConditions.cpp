#include "support/ProcessConditions.h"

#include <unistd.h>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QtGlobal>
#include <ctime>

namespace {

double processCpuSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

constexpr uid_t Nobody = 65534;

}  // namespace

double cpuShareWhileEventLoopRuns(int ms) {
    const double cpuStart = processCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    return (processCpuSeconds() - cpuStart) / (double(wall.nsecsElapsed()) / 1e9);
}

Unprivileged::Unprivileged() {
    if (::geteuid() == 0) {
        m_switched = ::seteuid(Nobody) == 0;
    }
}

Unprivileged::~Unprivileged() {
    if (m_switched && ::seteuid(0) != 0) {
        qFatal("cannot return to root");
    }
}

bool Unprivileged::effective() const {
    return m_switched || ::geteuid() != 0;
}
