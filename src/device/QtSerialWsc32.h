#pragma once

#include <QString>
#include <map>
#include <memory>

#include "device/Wsc32.h"

class QSerialPort;

// The serial library on Qt SerialPort. COM n is found through ComPorts. Every frame is written
// at once (write, then flush), nothing waits for the event loop, and no call blocks. Ports are
// opened for writing only. When the device goes away the port closes itself, so no socket
// notifier keeps firing, and later calls fail until the port is opened again.
class QtSerialWsc32 final : public Wsc32 {
  public:
    QtSerialWsc32();
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
    // One port opened by SioReset.
    struct OpenPort {
        std::unique_ptr<QSerialPort> serial;
        QString device;     // the device path actually opened, for error texts
        qint64 txQueue{0};  // most bytes held back while the device is not taking them
    };

    // The open port with this index, or nullptr when it is not open (or closed itself).
    OpenPort* openPort(int port);
    // Records text as the last system error and returns SioCode::SystemError.
    int systemError(const QString& text);
    // Turns a failed open into the library's code.
    int openFailure(const QSerialPort& serial, const QString& device);
    // Turns a failed setting call into the library's code; unsupported settings give
    // unsupportedCode.
    int settingFailure(const OpenPort& open, int unsupportedCode);
    // Sets or clears DTR or RTS.
    int setModemLine(int port, char command, bool dtr);

    std::map<int, OpenPort> m_ports;
    QString m_lastError;
};
