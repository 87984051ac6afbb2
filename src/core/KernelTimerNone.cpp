// Systems without a kernel timer the event loop can watch: DeadlineAlarm uses Qt's precise
// millisecond timer instead.
#include <QThread>

#include "core/KernelTimer.h"

std::unique_ptr<KernelTimer> KernelTimer::make(std::function<void()>) {
    return nullptr;
}

bool KernelTimer::isHighResolution() {
    return true;
}

void KernelTimer::sleepMs(int milliseconds) {
    QThread::msleep(static_cast<unsigned long>(milliseconds));
}
