#include "device/Frames.h"

namespace Frames {

namespace {

QString exactWidth(const QString& text, int width) {
    if (text.size() >= width) {
        return text.right(width);
    }
    return QString(width - text.size(), QLatin1Char('0')) + text;
}

}  // namespace

QString build(Lead lead, const QString& address, const QString& colour) {
    QString frame;
    frame.reserve(Length);
    frame += QChar(static_cast<char16_t>(lead));
    frame += exactWidth(address, 2);
    frame += exactWidth(colour, 6);
    frame += QLatin1String("\r\n");
    return frame;
}

QString segmentAddress(int segment, bool white) {
    const int address = (segment & 0x7F) | (white ? 0x80 : 0);
    return QStringLiteral("%1").arg(address, 2, 16, QLatin1Char('0')).toUpper();
}

QByteArray toBytes(const QString& frameText) {
    return frameText.toLatin1();
}

}  // namespace Frames
