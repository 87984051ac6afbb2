#include <sched.h>
#include <sys/prctl.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <QFile>
#include <csignal>
#include <ctime>
#include <vector>

#include "BenchHost.h"

namespace {

double seconds(clockid_t clock) {
    timespec value{};
    clock_gettime(clock, &value);
    return static_cast<double>(value.tv_sec) + static_cast<double>(value.tv_nsec) * 1e-9;
}

}  // namespace

double BenchHost::threadProcessorSeconds() {
    return seconds(CLOCK_THREAD_CPUTIME_ID);
}

double BenchHost::processProcessorSeconds() {
    return seconds(CLOCK_PROCESS_CPUTIME_ID);
}

QString BenchHost::systemName() {
    utsname system{};
    uname(&system);
    return QStringLiteral("Linux ") + QLatin1String(system.release);
}

QString BenchHost::loadAverage() {
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly)) {
        return QStringLiteral("?");
    }
    return QString::fromLatin1(file.readAll()).section(QLatin1Char(' '), 0, 2);
}

void BenchHost::chooseWindowPlatform() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
}

struct BusyProcessors::Children {
    std::vector<pid_t> pids;
};

BusyProcessors::BusyProcessors(int processors, bool idleClass)
    : m_children(std::make_unique<Children>()) {
    for (int i = 0; i < processors; ++i) {
        const pid_t child = ::fork();
        if (child == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            const sched_param lowest{};
            if (idleClass) {
                ::sched_setscheduler(0, SCHED_IDLE, &lowest);
            }
            volatile unsigned long spins = 0;
            while (true) {
                spins = spins + 1;
            }
        }
        if (child > 0) {
            m_children->pids.push_back(child);
        }
    }
}

BusyProcessors::~BusyProcessors() {
    for (pid_t child : m_children->pids) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
    }
}

void BusyProcessors::spinIfChild(int, char*[]) {}
