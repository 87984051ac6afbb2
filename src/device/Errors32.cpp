#include "device/Errors32.h"

#include "device/Wsc32.h"

QString SerialErrorText(int16_t code, Wsc32& library) {
    switch (code) {
        case SioCode::InvalidPort:
            return QStringLiteral("Invalid COM port name");
        case SioCode::AlreadyOpen:
            return QStringLiteral("COM port already open");
        case SioCode::CannotOpen:
            return QStringLiteral("Cannot open COM port");
        case SioCode::NoMemory:
            return QStringLiteral("Unable to allocate memory");
        case SioCode::BadDefaults:
            return QStringLiteral("Error in default parameters");
        case SioCode::NoHardware:
            return QStringLiteral("Hardware not present");
        case SioCode::BadByteSize:
            return QStringLiteral("Unsupported byte size");
        case SioCode::BadBaudRate:
            return QStringLiteral("Unsupported baud rate");
        case SioCode::NoData:
            return QStringLiteral("No data");
        case SioCode::OutOfRange:
            return QStringLiteral("Parameter out of range");
        case SioCode::SystemError:
            return library.SioWinError(SioArg::WinErrorSize).left(SioArg::WinErrorSize);
        case SioCode::NoBufferMemory:
            return QStringLiteral("Cannot allocate memory for buffers");
        case SioCode::NoThread:
            return QStringLiteral("Cannot start thread");
        default:
            // The number as Str writes it: a blank stands where a minus sign would.
            return QStringLiteral("Error code ") + (code >= 0 ? QStringLiteral(" ") : QString()) +
                   QString::number(code);
    }
}
