#include <windows.h>

#include <timeapi.h>

#include "core/KernelTimer.h"
#include "core/RealtimePriority.h"

RealtimePriority::~RealtimePriority() {
    setRaised(false);
}

void RealtimePriority::setRaised(bool raised) {
    if (raised == m_raised) {
        return;
    }
    HANDLE thread = GetCurrentThread();
    if (raised) {
        const int saved = GetThreadPriority(thread);
        if (saved == THREAD_PRIORITY_ERROR_RETURN) {
            return;
        }
        // The highest priority of the normal class: above every normal thread, below the
        // time-critical and real-time ones the system and drivers use.
        if (!SetThreadPriority(thread, THREAD_PRIORITY_HIGHEST)) {
            return;
        }
        m_savedPriority = saved;
        // Without high-resolution waitable timers, the waits wake to the system's timer
        // resolution: ask for one millisecond while frames are paced, and only then.
        m_timerPeriodHeld =
            !KernelTimer::isHighResolution() && timeBeginPeriod(1) == TIMERR_NOERROR;
        m_raised = true;
        return;
    }
    SetThreadPriority(thread, m_savedPriority);
    if (m_timerPeriodHeld) {
        timeEndPeriod(1);
        m_timerPeriodHeld = false;
    }
    m_raised = false;
}
