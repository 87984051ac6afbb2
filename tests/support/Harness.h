#pragma once

#include <QByteArray>
#include <QList>
#include <QTemporaryDir>
#include <memory>

#include "app/Controller.h"
#include "support/FakeWindow.h"
#include "support/ManualFlashTimer.h"
#include "support/RecordingWsc32.h"
#include "support/VirtualClock.h"

// The controller wired to fakes: a recording serial library, a flash timer on virtual time, a
// virtual clock that keeps its sleeps and waits, a recording window and a fixed port list. The
// program folder is a fresh temporary folder, so every test starts without a settings file.
struct Harness {
    Harness();

    // The SOH or STX frame for an address and colour, as bytes.
    static QByteArray soh(const QString& address, const QString& colour);
    static QByteArray stx(const QString& address, const QString& colour);

    // Every frame written so far, including writes that failed.
    QList<QByteArray> written() const;
    // The frames written so far that the library accepted (the port was open).
    QList<QByteArray> delivered() const { return serial.sentFrames(); }

    // Opens the port as a start of flashing would, then forgets the calls so far.
    void openPortAndClear();

    QTemporaryDir dir;
    RecordingWsc32 serial;
    VirtualClock clock{VirtualClock::DefaultStart, VirtualClock::Records::Kept};
    ManualFlashTimer timer;
    FakeWindow window;
    FakePortList ports;
    std::unique_ptr<Controller> controller;
    LightState& state;
    Settings& settings;
};
