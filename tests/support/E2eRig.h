#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <memory>

#include "app/Controller.h"
#include "core/QtClockPump.h"
#include "core/QtFlashTimer.h"
#include "device/Wsc32.h"
#include "serial/QtSerialWsc32.h"
#include "support/FakeWindow.h"

// A serial library that hands every call on to another one and keeps each frame write with its
// result, so a test over a real line knows exactly what the controller wrote and what the
// library accepted. It changes nothing that passes through.
class E2eSerialTap final : public Wsc32 {
  public:
    // One SioPuts call: the bytes and the code it returned.
    struct Write {
        QByteArray bytes;
        int result = 0;
    };

    explicit E2eSerialTap(Wsc32& inner) : m_inner(inner) {}

    int SioReset(int port, int rxQueue, int txQueue) override;
    int SioBaud(int port, int baudCode) override;
    int SioParms(int port, int parity, int stopBits, int dataBits) override;
    int SioDTR(int port, char command) override;
    int SioRTS(int port, char command) override;
    int SioPuts(int port, const char* bytes, int count) override;
    int SioDone(int port) override;
    QString SioWinError(int maxChars) override;

    // Every frame write so far, in order, failed ones included.
    const QList<Write>& writes() const { return m_writes; }
    // The frames the library took whole (SioPuts returned their full length), in order.
    QList<QByteArray> accepted() const;

  private:
    Wsc32& m_inner;
    QList<Write> m_writes;
};

// The controller on its real backends (the Qt serial library, the Qt flash timer, the real
// clock and event pump) with a recording window and a fixed port list, as a test over a real
// serial line needs it. Settings and program files live in a fresh temporary folder.
class E2eRig {
  public:
    E2eRig();
    ~E2eRig();
    E2eRig(const E2eRig&) = delete;
    E2eRig& operator=(const E2eRig&) = delete;

    // Runs the start-up sequence with COM comNumber in the port list, then makes the choices a
    // user would in the lists: that COM port, the flash colour, full brightness and the rate.
    void load(int comNumber, int colourIndex = 0, int flashRate = 10);

    // Writes a program file into the temporary folder and returns its path.
    QString writeProgram(const QString& name, const QByteArray& contents) const;

    // The folder the settings and programs live in.
    QString folder() const { return m_dir.path(); }

    Controller& controller() { return *m_controller; }
    LightState& state() { return m_controller->state(); }
    E2eSerialTap& serial() { return m_tap; }
    QtFlashTimer& timer() { return m_timer; }
    FakeWindow& window() { return m_window; }

  private:
    QTemporaryDir m_dir;
    QtSerialWsc32 m_serial;
    E2eSerialTap m_tap{m_serial};
    QtFlashTimer m_timer;
    QtClockPump m_clock;
    FakeWindow m_window;
    FakePortList m_ports;
    std::unique_ptr<Controller> m_controller;
};
