#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the event loop (self-pipe: the
// handler only writes the signal number to a pipe), so the program can quit cleanly and
// remove its COM port link. One instance per process.
class SignalWatcher : public QObject {
    Q_OBJECT
  public:
    // Installs the handlers; on failure isActive() is false and the defaults stay.
    explicit SignalWatcher(QObject* parent = nullptr);
    // Restores the default handlers and closes the pipe.
    ~SignalWatcher() override;

    // Whether the handlers are installed.
    bool isActive() const { return m_notifier != nullptr; }

  signals:
    // One of the watched signals arrived.
    void terminationRequested(int signalNumber);

  private:
    void drain();

    QSocketNotifier* m_notifier = nullptr;  // read end of the pipe (child object)
};
