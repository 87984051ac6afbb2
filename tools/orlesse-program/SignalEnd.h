#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into a call on the event loop: the handler only writes the signal's
// number to a socket pair, and a socket notifier reads it when events are next handled (in the
// waits of a playing program). One instance at a time; the default handlers come back when it
// goes.
class SignalEnd : public QObject {
    Q_OBJECT
  public:
    // Installs the handlers; onSignal gets the signal's number.
    explicit SignalEnd(std::function<void(int)> onSignal, QObject* parent = nullptr);
    ~SignalEnd() override;

    // Whether the handlers are installed.
    bool isActive() const { return m_notifier != nullptr; }

  private:
    void drain();

    std::function<void(int)> m_onSignal;
    QSocketNotifier* m_notifier = nullptr;  // read end of the socket pair (child object)
};
