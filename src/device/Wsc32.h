#pragma once

#include <QString>

// Result codes of the serial library. Negative means failure; SerialErrorText (Errors32.h)
// turns each into the text the user sees.
namespace SioCode {
inline constexpr int InvalidPort = -1;       // "Invalid COM port name"
inline constexpr int AlreadyOpen = -2;       // "COM port already open"
inline constexpr int CannotOpen = -3;        // "Cannot open COM port"
inline constexpr int NoMemory = -4;          // "Unable to allocate memory"
inline constexpr int BadDefaults = -5;       // "Error in default parameters"
inline constexpr int NoHardware = -10;       // "Hardware not present"
inline constexpr int BadByteSize = -11;      // "Unsupported byte size"
inline constexpr int BadBaudRate = -12;      // "Unsupported baud rate"
inline constexpr int NoData = -100;          // "No data"
inline constexpr int OutOfRange = -101;      // "Parameter out of range"
inline constexpr int SystemError = -103;     // the operating system's text, from SioWinError
inline constexpr int NoBufferMemory = -105;  // "Cannot allocate memory for buffers"
inline constexpr int NoThread = -106;        // "Cannot start thread"
}  // namespace SioCode

// Argument values the controller hands to the serial library.
namespace SioArg {
inline constexpr int Baud115200 = 9;  // baud code 9 is 115,200 baud
inline constexpr int NoParity = 0;    // parity code 0: none
inline constexpr int OneStopBit = 0;  // stop-bits code 0: one stop bit
inline constexpr int DataBits5 = 0;   // data-bits codes 0 to 3 are 5 to 8 data bits
inline constexpr int DataBits8 = 3;
inline constexpr char SetLine = 'S';    // modem-line command 83: raise the line
inline constexpr char ClearLine = 'C';  // modem-line command: drop the line
inline constexpr int RxQueue = 1024;
inline constexpr int TxQueue = 512;
inline constexpr int WinErrorSize = 120;  // longest system error text fetched
}  // namespace SioArg

// The serial-communications library (module wsc32). Ports count from 0 (COM1 is 0). Every
// call returns a code; negative means failure.
class Wsc32 {
  public:
    virtual ~Wsc32() = default;

    // Opens the port with the given receive and transmit queue sizes.
    virtual int SioReset(int port, int rxQueue, int txQueue) = 0;
    // Sets the speed from a baud code (9 is 115,200 baud).
    virtual int SioBaud(int port, int baudCode) = 0;
    // Sets parity, stop bits and data bits from their codes.
    virtual int SioParms(int port, int parity, int stopBits, int dataBits) = 0;
    // Sets ('S') or clears ('C') the DTR line.
    virtual int SioDTR(int port, char command) = 0;
    // Sets ('S') or clears ('C') the RTS line.
    virtual int SioRTS(int port, char command) = 0;
    // Queues count bytes for sending at once; returns the number queued or a negative code.
    virtual int SioPuts(int port, const char* bytes, int count) = 0;
    // Closes the port; harmless when it is not open.
    virtual int SioDone(int port) = 0;
    // The operating system's text for the last system error, at most maxChars characters.
    virtual QString SioWinError(int maxChars) = 0;
};
