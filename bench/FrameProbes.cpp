#include "FrameProbes.h"

#include "core/DeadlineAlarm.h"

void DueRecordingClock::waitUntil(double deadline, const std::function<bool()>& keepWaiting) {
    m_due = std::numeric_limits<double>::quiet_NaN();
    m_inner.waitUntil(deadline, keepWaiting);
    // A wait cut short by its condition (End Program, the window closing) had no due frame.
    m_due = m_inner.now() >= deadline ? deadline : std::numeric_limits<double>::quiet_NaN();
}

double DueRecordingClock::takeDue() {
    const double due = m_due;
    m_due = std::numeric_limits<double>::quiet_NaN();
    return due;
}

int StampingWsc32::SioPuts(int port, const char* bytes, int count) {
    const double called = steadySeconds();
    const int result = m_inner.SioPuts(port, bytes, count);
    const double returned = steadySeconds();
    m_writes.push_back(
        {called, returned, m_clock.takeDue(), result, QByteArray(bytes, count > 0 ? count : 0)});
    return result;
}
