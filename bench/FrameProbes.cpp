#include "FrameProbes.h"

#include "core/DeadlineAlarm.h"

void DueRecordingClock::waitUntil(double deadline, const std::function<bool()>& keepWaiting) {
    m_due = {};
    m_inner->waitUntil(deadline, keepWaiting);
    const double ended = m_inner->now();
    // A wait cut short by its condition (End Program, the window closing) had no due frame.
    if (ended >= deadline) {
        m_due = {deadline, ended};
    }
}

DueRecordingClock::Due DueRecordingClock::takeDue() {
    const Due due = m_due;
    m_due = {};
    return due;
}

int StampingWsc32::SioPuts(int port, const char* bytes, int count) {
    const double called = steadySeconds();
    const int result = m_inner->SioPuts(port, bytes, count);
    const double returned = steadySeconds();
    const DueRecordingClock::Due due = m_clock.takeDue();
    m_writes.push_back({called, returned, due.deadline, due.ended, result,
                        QByteArray(bytes, count > 0 ? count : 0)});
    return result;
}
