#pragma once

#include <QString>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "core/DeadlineAlarm.h"
#include "device/Reconnection.h"
#include "device/Wsc32.h"

class QSerialPort;

// The serial library on Qt SerialPort. COM n is found through ComPorts. Every frame is written
// at once (write, then flush), nothing waits for the event loop, and no call blocks. Ports are
// opened for writing only. When the device goes away the port closes itself, so no socket
// notifier keeps firing, and frames written meanwhile fail at once.
//
// A port keeps what it was opened on: the com<n> link or device node, and for a USB adapter
// its name in ComPorts::StableNameFolder, which follows the adapter to another ttyUSB number.
// While the device is away, a frame written at least ReturnCheckInterval after the last look
// looks again; once the device is back it is reopened with the same settings and that frame
// goes out. Nothing runs between frames, so a lost device costs nothing while none are sent.
// SioDone ends this; SioReset starts afresh.
class QtSerialWsc32 final : public Wsc32 {
  public:
    // Least time between two looks for a lost device, in seconds.
    static constexpr double ReturnCheckInterval = 0.2;

    QtSerialWsc32();
    // The same on the given steady clock (seconds), with adapters' stable names looked up in
    // stableNameFolder: tests run the looks on virtual time and on prepared names.
    QtSerialWsc32(std::function<double()> clock, QString stableNameFolder);
    ~QtSerialWsc32() override;

    int SioReset(int port, int rxQueue, int txQueue) override;
    int SioBaud(int port, int baudCode) override;
    int SioParms(int port, int parity, int stopBits, int dataBits) override;
    int SioDTR(int port, char command) override;
    int SioRTS(int port, char command) override;
    int SioPuts(int port, const char* bytes, int count) override;
    int SioDone(int port) override;
    QString SioWinError(int maxChars) override;

  private:
    // One port opened by SioReset, kept while its device is away.
    struct PortSlot {
        std::unique_ptr<QSerialPort> serial;
        QString mapped;           // what the COM number led to: its com<n> link or device node
        QString device;           // the device path actually opened, for error texts
        QString stableName;       // the adapter's stable name, empty when it has none
        qint64 txQueue{0};        // most bytes held back while the device is not taking them
        std::optional<bool> dtr;  // DTR and RTS as last set, set again on reopening
        std::optional<bool> rts;
        // When to look for the device while it is away.
        Reconnection reconnection{steadySeconds, ReturnCheckInterval};
    };

    // The open port with this index, or nullptr when it is not open (or closed itself).
    PortSlot* portSlot(int port);
    // Opens serial on device for writing, as mapped leads there now; 0 or a negative code.
    int openDevice(QSerialPort& serial, const QString& mapped, const QString& device);
    // Looks for the lost device of open when the time has come; reopens it when it is back.
    bool reopenReturned(PortSlot& open);
    // Records text as the last system error and returns SioCode::SystemError.
    int systemError(const QString& text);
    // Turns a failed open into the library's code.
    int openFailure(const QSerialPort& serial, const QString& device);
    // Turns a failed setting call into the library's code; unsupported settings give
    // unsupportedCode.
    int settingFailure(const PortSlot& open, int unsupportedCode);
    // Sets or clears DTR or RTS.
    int setModemLine(int port, char command, bool dtr);

    std::function<double()> m_clock;
    QString m_stableNameFolder;
    std::map<int, PortSlot> m_ports;
    QString m_lastError;
    int m_lastErrorNumber = 0;  // errno of the last failed system call a port reported
};
