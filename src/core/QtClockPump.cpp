#include "core/QtClockPump.h"

#include <QCoreApplication>
#include <QThread>
#include <chrono>

QtClockPump::QtClockPump() = default;

double QtClockPump::now() {
    using Seconds = std::chrono::duration<double>;
    return std::chrono::duration_cast<Seconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void QtClockPump::processEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtClockPump::sleepMs(int milliseconds) {
    if (milliseconds > 0) {
        QThread::msleep(static_cast<unsigned long>(milliseconds));
    }
}

void QtClockPump::waitUntil(double deadline, const std::function<bool()>& keepWaiting) {
    while (now() < deadline && keepWaiting()) {
        processEvents();
    }
}
