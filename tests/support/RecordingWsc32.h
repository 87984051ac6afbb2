#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <functional>
#include <set>

#include "device/Wsc32.h"

// A serial library that records every call instead of talking to a port, for tests and dry
// runs. It keeps track of which ports are open: writes to a port that is not open fail with
// SioCode::CannotOpen, as they do on the real library. Any call can be told to fail.
class RecordingWsc32 final : public Wsc32 {
  public:
    // One recorded call.
    struct Call {
        QString name;      // "SioReset", "SioPuts", ...
        QList<int> args;   // the integer arguments in order (for SioPuts: port and count)
        QByteArray bytes;  // the bytes written (SioPuts only)
        int result = 0;    // the code returned
        double time = 0;   // the clock's reading at the call, when a clock is set
    };

    int SioReset(int port, int rxQueue, int txQueue) override;
    int SioBaud(int port, int baudCode) override;
    int SioParms(int port, int parity, int stopBits, int dataBits) override;
    int SioDTR(int port, char command) override;
    int SioRTS(int port, char command) override;
    int SioPuts(int port, const char* bytes, int count) override;
    int SioDone(int port) override;
    QString SioWinError(int maxChars) override;

    // Makes every later call of the named function return code (until cleared).
    void failWith(const QString& function, int code) { m_failures[function] = code; }
    // Makes the named function succeed again.
    void clearFailure(const QString& function) { m_failures.remove(function); }
    // The text SioWinError returns.
    void setWinError(const QString& text) { m_winError = text; }
    // Runs as each call returns, with the call's name: a test moves its clock on there to
    // stand for a call that takes time, as opening a real port does.
    void setReturnHook(std::function<void(const QString& function)> hook) {
        m_onReturn = std::move(hook);
    }
    // Stamps each call with this clock's reading.
    void setClock(std::function<double()> clock) { m_clock = std::move(clock); }

    // Every call so far, oldest first.
    const QList<Call>& calls() const { return m_calls; }
    // The names of the calls so far, oldest first.
    QStringList callNames() const;
    // The SioPuts calls so far.
    QList<Call> writes() const;
    // The bytes of every SioPuts call that succeeded, as frames.
    QList<QByteArray> sentFrames() const;
    // Whether the library has the port open now.
    bool isOpen(int port) const { return m_open.count(port) > 0; }
    // Forgets the recorded calls (open ports and failures stay).
    void clearCalls() { m_calls.clear(); }

  private:
    int record(const QString& name, QList<int> args, int result, QByteArray bytes = {});
    int failureOr(const QString& name, int result) const;

    QList<Call> m_calls;
    QMap<QString, int> m_failures;
    std::set<int> m_open;
    QString m_winError = QStringLiteral("The system cannot find the file specified.");
    std::function<double()> m_clock;
    std::function<void(const QString&)> m_onReturn;
};
