#include "support/ProcessConditions.h"

#include <unistd.h>
#include <QAbstractEventDispatcher>
#include <QEventLoop>
#include <QTimer>
#include <QtGlobal>

namespace {

constexpr uid_t Nobody = 65534;

}  // namespace

int eventLoopPassesOverTicks(int ticks, int intervalMs) {
    QEventLoop loop;
    int passes = 0;
    int fired = 0;
    // Each pass wakes the dispatcher once, whether it waited for an event or found one ready.
    QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake, &loop,
                     [&passes] { ++passes; });
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, &loop, [&] {
        if (++fired == ticks)
            loop.quit();
    });
    ticker.start(intervalMs);
    loop.exec();
    return passes;
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
