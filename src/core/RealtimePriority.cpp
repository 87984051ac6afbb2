#include "core/RealtimePriority.h"

#include <QtGlobal>
#include <algorithm>

#ifdef Q_OS_LINUX
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

RealtimePriority::~RealtimePriority() {
    setRaised(false);
}

void RealtimePriority::setRaised(bool raised) {
    if (raised == m_raised) {
        return;
    }
#ifdef Q_OS_LINUX
    if (raised) {
        // An unprivileged thread may take real-time priorities up to its limit; with a limit
        // of 0 the call would only fail.
        rlimit limit{};
        int priority = Priority;
        if (::geteuid() != 0 && ::getrlimit(RLIMIT_RTPRIO, &limit) == 0) {
            if (limit.rlim_cur == 0) {
                return;
            }
            if (limit.rlim_cur != RLIM_INFINITY) {
                priority = std::min<int>(priority, static_cast<int>(limit.rlim_cur));
            }
        }
        sched_param saved{};
        const int policy = ::sched_getscheduler(0);
        if (policy < 0 || ::sched_getparam(0, &saved) != 0) {
            return;
        }
        // Processes started meanwhile (the device simulator) start under the normal scheduler.
        const sched_param wanted{priority};
        if (::sched_setscheduler(0, SCHED_FIFO | SCHED_RESET_ON_FORK, &wanted) == 0) {
            m_savedPolicy = policy;
            m_savedPriority = saved.sched_priority;
            m_raised = true;
        }
        return;
    }
    const sched_param saved{m_savedPriority};
    ::sched_setscheduler(0, m_savedPolicy, &saved);
#endif
    m_raised = false;
}
