#pragma once

#include <termios.h>
#include <QByteArray>
#include <QString>
#include <optional>

#include "device/PseudoTerminal.h"

// A pseudo-terminal pair standing in for a serial device: the code under test opens the slave
// side like a serial port, the test reads what arrives on the master side. Closing the master
// makes the device disappear, as when a USB adapter is unplugged. It opens a PseudoTerminal
// when it is made and keeps the reason when that fails.
class Pty {
  public:
    // Opens the pair in raw mode; isOpen() tells whether that worked, errorText() why not.
    Pty();
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    // Whether the master side is open.
    bool isOpen() const { return m_terminal.isOpen(); }
    // Why opening failed, for the test's message.
    QString errorText() const { return m_error; }
    // The slave device's path (/dev/pts/N on Linux).
    QString slavePath() const { return m_terminal.slavePath(); }

    // Reads from the master until count bytes have arrived or timeoutMs has passed (0 takes
    // only what is there already); returns what arrived. Nothing is pumped meanwhile.
    QByteArray read(qsizetype count, int timeoutMs) { return m_terminal.read(count, timeoutMs); }
    // Reads from the master, running the event loop meanwhile, until what arrived ends with
    // frame or timeoutMs has passed; returns what arrived. Nothing after the frame is taken.
    QByteArray readThrough(const QByteArray& frame, int timeoutMs);
    // The terminal settings the slave side has now (speed, character size, parity ...), or
    // nothing when they cannot be read.
    std::optional<termios> lineSettings() const { return m_terminal.lineSettings(); }
    // Closes the master side: the slave hangs up, as a device that went away.
    void closeMaster() { m_terminal.closeMaster(); }
    // Creates the link folder/com<comNumber> to the slave (replacing any old one) and returns
    // its path, or an empty text on failure.
    QString publish(const QString& folder, int comNumber) const {
        return m_terminal.publish(folder, comNumber);
    }
    // Opens the slave side and holds it until destruction; returns this process's path to that
    // handle (/proc/<pid>/fd/<n>), the kind of target the simulator publishes, or an empty
    // text on failure.
    QString holdSlave();

  private:
    PseudoTerminal m_terminal;
    QString m_error;
};
