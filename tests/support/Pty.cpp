#include "support/Pty.h"

Pty::Pty() {
    m_terminal.open(&m_error);
}

Pty::~Pty() = default;

QString Pty::holdSlave() {
    QString ignored;
    return m_terminal.holdSlave(&ignored) ? m_terminal.heldSlavePath() : QString();
}
