#pragma once

#include <termios.h>
#include <QByteArray>
#include <QString>
#include <optional>

// A pseudo-terminal pair in raw mode, the device end of a serial line on Unix: a program opens
// the slave side as its serial port, and whatever it writes arrives on the master side. Closing
// the master makes the device disappear, as when a USB adapter is unplugged. The benchmarks'
// device, the simulator's device and the tests' device are thin layers on this class.
class PseudoTerminal {
  public:
    // An unopened pair.
    PseudoTerminal() = default;
    // Closes the master side and the held slave handle.
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // Opens the pair in raw mode: no echo, no line editing, no CR/LF translation, reads that
    // return as soon as one byte is there. On failure the master is closed again and *error
    // says why.
    bool open(QString* error);
    // Whether the master side is open.
    bool isOpen() const { return m_master >= 0; }
    // The master side's file descriptor, -1 when it is closed.
    int master() const { return m_master; }
    // The slave device's path (/dev/pts/N on Linux), empty before open().
    QString slavePath() const { return m_slavePath; }

    // Makes reads of the master return at once when nothing has arrived; false with *error.
    bool setNonBlocking(QString* error);
    // Opens the slave side and holds it until destruction, so the master never sees a hang-up
    // when the program on the slave side closes its port; false with *error. Holding it again
    // keeps the first handle.
    bool holdSlave(QString* error);
    // This process's path to the held slave handle (/proc/<pid>/fd/<n>), or an empty text when
    // none is held. It reopens the terminal while this process lives and vanishes when it
    // ends, however it ends, so a link to it never leads to a terminal that later takes the
    // same number.
    QString heldSlavePath() const;
    // Closes the master side: the slave hangs up, as a device that went away.
    void closeMaster();

    // Reads from the master until count bytes have arrived or timeoutMs has passed (0 takes
    // only what is there already); returns what arrived.
    QByteArray read(qsizetype count, int timeoutMs);
    // The terminal settings the slave side has now (speed, character size, parity ...), or
    // nothing when they cannot be read.
    std::optional<termios> lineSettings() const;
    // Creates the link folder/com<comNumber> to the slave, replacing any old one, and returns
    // its path; an empty text, with *error set when error is not null, on failure.
    QString publish(const QString& folder, int comNumber, QString* error = nullptr) const;

  private:
    int m_master = -1;
    int m_slaveHold = -1;
    QString m_slavePath;
};
