#include "support/Pty.h"

#include <QTest>

Pty::Pty() {
    m_terminal.open(&m_error);
}

Pty::~Pty() = default;

QByteArray Pty::readThrough(const QByteArray& frame, int timeoutMs) {
    QByteArray received;
    // What arrived by then tells the caller whether the frame was among it.
    (void)QTest::qWaitFor(
        [&] {
            while (!received.endsWith(frame)) {
                const QByteArray next = read(1, 0);
                if (next.isEmpty())
                    return false;
                received += next;
            }
            return true;
        },
        timeoutMs);
    return received;
}

QString Pty::holdSlave() {
    QString ignored;
    return m_terminal.holdSlave(&ignored) ? m_terminal.heldSlavePath() : QString();
}
