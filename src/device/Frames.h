#pragma once

#include <QByteArray>
#include <QString>

// The device's one message: an 11-byte text frame. Lead byte, two hexadecimal address digits
// (bit 0x80 lights the white LEDs, the rest is segment 1-4 or 0 for the whole device), six
// colour digits RRGGBB, CR, LF.
namespace Frames {

inline constexpr int Length = 11;

// The lead byte: SOH frames carry steady, flashing, spin and program colours; STX frames carry
// the gradient fade and the standard segment colours.
enum class Lead : char { SOH = 0x01, STX = 0x02 };

// Addresses the controller sends.
inline const QString WholeDevice = QStringLiteral("00");
inline const QString WholeDeviceWhite = QStringLiteral("80");
// Black: a frame with it switches the addressed LEDs off.
inline const QString Black = QStringLiteral("000000");

// Builds the frame text. The address is brought to exactly two characters and the colour to
// exactly six (left-padded with "0", or cut to the last digits), so every frame is 11 bytes.
QString build(Lead lead, const QString& address, const QString& colour);

// The two-digit address of segment 1 to 4, with the white bit when white is true.
QString segmentAddress(int segment, bool white = false);

// The frame text as the bytes that go on the wire.
QByteArray toBytes(const QString& frameText);

}  // namespace Frames
