#pragma once

#include <QString>
#include <functional>
#include <map>

#include "core/DeadlineAlarm.h"
#include "device/Reconnection.h"
#include "device/Wsc32.h"

// The serial library on the Win32 communications API. COM n is \\.\COMn. Settings go to the
// port at once (SetCommState), with the same defaults as the Linux backend: no flow control,
// no handshake lines driven by the driver, no abort on line errors. Every frame is one blocking
// WriteFile, bounded by the write timeout (WriteTimeoutMs): a frame is written whole and
// reported with its length, or reported with a negative code; a frame cut short by the
// timeout is a failure, never a success.
//
// A write that fails because the device has gone (a USB adapter pulled out) closes the handle.
// While the device is away, a frame written at least ReturnCheckInterval after the last look
// opens the COM port again; once it opens, the settings and the DTR and RTS lines are put back
// as they were and that frame goes out. Nothing runs between frames. SioDone ends this;
// SioReset starts afresh.
class WinSerialWsc32 final : public Wsc32 {
  public:
    // Least time between two looks for a lost device, in seconds.
    static constexpr double ReturnCheckInterval = 0.2;
    // Longest a frame's write may take before it counts as failed, in milliseconds. A frame
    // takes about a millisecond on the line at 115,200 baud; the transmit queue (512 bytes)
    // drains in about 45.
    static constexpr unsigned WriteTimeoutMs = 100;

    WinSerialWsc32();
    // The same on the given steady clock (seconds), so tests run the looks on virtual time.
    explicit WinSerialWsc32(std::function<double()> clock);
    ~WinSerialWsc32() override;
    WinSerialWsc32(const WinSerialWsc32&) = delete;
    WinSerialWsc32& operator=(const WinSerialWsc32&) = delete;

    int SioReset(int port, int rxQueue, int txQueue) override;
    int SioBaud(int port, int baudCode) override;
    int SioParms(int port, int parity, int stopBits, int dataBits) override;
    int SioDTR(int port, char command) override;
    int SioRTS(int port, char command) override;
    int SioPuts(int port, const char* bytes, int count) override;
    int SioDone(int port) override;
    QString SioWinError(int maxChars) override;

    // The system's text for a Win32 error number, without the line end FormatMessage adds.
    static QString systemText(unsigned long errorNumber);

  private:
    // The line settings a port was given, put back when it is opened again. The codes are the
    // library's (baud code 9 is 115,200 baud and so on).
    struct LineSettings {
        int baudCode = 5;  // 9600 baud, as a freshly opened port on Linux
        int parity = 0;
        int stopBits = 0;
        int dataBits = 3;
        int dtr = -1;  // -1: never set; else 0 or 1
        int rts = -1;
    };
    // One port opened by SioReset, kept while its device is away.
    struct PortSlot {
        void* handle = nullptr;  // the file handle; nullptr while the device is away
        QString name;            // "COM3", for error texts
        int rxQueue = 0;
        int txQueue = 0;
        LineSettings settings;
        Reconnection reconnection{steadySeconds, ReturnCheckInterval};
    };

    // The open port with this index, or nullptr when it is not open or its device is away.
    PortSlot* portSlot(int port);
    // Opens \\.\<name> and gives it the queue sizes, timeouts and settings; 0 or a code.
    int openHandle(PortSlot& open);
    // Gives the port the line settings; 0, or a negative code with the failure recorded.
    int applySettings(PortSlot& open, int unsupportedCode);
    // Looks for the lost device of open when the time has come; reopens it when it is back.
    bool reopenReturned(PortSlot& open);
    // Closes the handle of open, keeping the port for a return of its device.
    static void closeHandle(PortSlot& open);
    // Records text as the last system error and returns SioCode::SystemError.
    int systemError(const QString& text);
    // The same for the Win32 error errorNumber of what happened to the port named name.
    int systemError(unsigned long errorNumber, const QString& name);
    // Sets or clears DTR or RTS.
    int setModemLine(int port, char command, bool dtr);

    std::function<double()> m_clock;
    std::map<int, PortSlot> m_ports;
    QString m_lastError;
};
