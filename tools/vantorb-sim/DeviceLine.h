#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include "device/PseudoTerminal.h"

class QSocketNotifier;

// The simulated device's end of the serial line: a pseudo-terminal in raw mode. The
// controller opens the terminal side (slavePath()) as its serial port; whatever it writes
// arrives on the master side, which this class reads. It keeps a handle of its own on the
// terminal side, so the controller closing the port does not hang the line up.
class DeviceLine : public QObject {
    Q_OBJECT
  public:
    // An unopened device.
    explicit DeviceLine(QObject* parent = nullptr);
    // Closes both sides of the terminal.
    ~DeviceLine() override;

    // Creates the terminal and starts reading; on failure returns false and sets *error.
    bool open(QString* error);
    // Path of the terminal side, e.g. /dev/pts/5 (empty before open()).
    QString slavePath() const { return m_terminal.slavePath(); }
    // Our own handle on the terminal side as a path, /proc/<pid>/fd/<n> (empty before open()).
    // It reopens the terminal while this process lives and vanishes when it ends, however it
    // ends, so a link to it can never lead to a terminal that later takes the same number.
    QString handlePath() const { return m_terminal.heldSlavePath(); }

  signals:
    // Bytes written by the controller, with their monotonic receive time.
    void received(const QByteArray& bytes, qint64 receivedNs);

  private:
    void readMaster();
    void pauseReading();

    PseudoTerminal m_terminal;              // master side non-blocking, terminal side held
    QSocketNotifier* m_notifier = nullptr;  // readiness of the master side (child object)
    QTimer m_resume;                        // re-arms reading after the line hung up
};
