#pragma once

#include <QObject>
#include <initializer_list>
#include <vector>

class QSocketNotifier;

// Turns process signals (SIGTERM, SIGINT ...) into a Qt signal on the event loop: the handler
// only writes the signal's number to a pipe, and a socket notifier reads it when events are
// next handled, so a program can end cleanly (save its settings, darken the light, remove its
// COM port link). One instance per process at a time; on systems without such signals it
// stays inactive.
class SignalWatcher : public QObject {
    Q_OBJECT
  public:
    // Installs handlers for the given signal numbers; on failure isActive() is false and the
    // default handlers stay.
    explicit SignalWatcher(std::initializer_list<int> signalNumbers, QObject* parent = nullptr);
    // Restores the default handlers and closes the pipe.
    ~SignalWatcher() override;

    // Whether the handlers are installed.
    bool isActive() const { return m_notifier != nullptr; }

  signals:
    // One of the watched signals arrived.
    void terminationRequested(int signalNumber);

  private:
    void drain();

    std::vector<int> m_signals;
    QSocketNotifier* m_notifier = nullptr;  // read end of the pipe (child object)
};
