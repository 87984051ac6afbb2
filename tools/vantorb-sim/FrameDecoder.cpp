#include "FrameDecoder.h"

namespace {

constexpr char Soh = 0x01;
constexpr char Stx = 0x02;
constexpr char Cr = 0x0D;
constexpr char Lf = 0x0A;

bool isLead(char c) {
    return c == Soh || c == Stx;
}

// Value of an upper-case hex digit, or -1. Lower case is not part of the wire format.
int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Whether byte c may stand at position pos (1..10) of a frame.
bool fits(qsizetype pos, char c) {
    if (pos <= 8) {
        return hexValue(c) >= 0;
    }
    return pos == 9 ? c == Cr : c == Lf;
}

quint32 hexNumber(const QByteArray& bytes, int from, int count) {
    quint32 value = 0;
    for (int i = from; i < from + count; ++i) {
        value = (value << 4) | static_cast<quint32>(hexValue(bytes.at(i)));
    }
    return value;
}

}  // namespace

QString Frame::leadName() const {
    return lead == Lead::Stx ? QStringLiteral("STX") : QStringLiteral("SOH");
}

QString Frame::addressText() const {
    return QStringLiteral("%1").arg(address, 2, 16, QLatin1Char('0')).toUpper();
}

QString Frame::colourText() const {
    return QStringLiteral("%1").arg(colour, 6, 16, QLatin1Char('0')).toUpper();
}

QList<DecodedItem> FrameDecoder::feed(QByteArrayView chunk) {
    QList<DecodedItem> out;
    for (const char c : chunk) {
        if (isLead(c)) {
            // A lead byte always opens a new frame; whatever was pending is malformed, since
            // a complete frame would already have been emitted.
            emitMalformed(out);
            m_pending.append(c);
            m_inFrame = true;
            continue;
        }
        if (m_inFrame && fits(m_pending.size(), c)) {
            m_pending.append(c);
            if (m_pending.size() == FrameSize) {
                emitFrame(out);
            }
            continue;
        }
        // Junk: either the current frame just went bad, or we are between frames.
        m_inFrame = false;
        m_pending.append(c);
        if (m_pending.size() >= MaxChunkBytes) {
            emitMalformed(out);
        }
    }
    return out;
}

QList<DecodedItem> FrameDecoder::flush() {
    QList<DecodedItem> out;
    emitMalformed(out);
    return out;
}

void FrameDecoder::emitMalformed(QList<DecodedItem>& out) {
    m_inFrame = false;
    if (m_pending.isEmpty()) {
        return;
    }
    DecodedItem item;
    item.kind = DecodedItem::Kind::Malformed;
    item.bytes = m_pending;
    out.append(item);
    m_pending.clear();
    ++m_malformed;
}

void FrameDecoder::emitFrame(QList<DecodedItem>& out) {
    DecodedItem item;
    item.kind = DecodedItem::Kind::Frame;
    item.frame.lead = m_pending.at(0) == Stx ? Frame::Lead::Stx : Frame::Lead::Soh;
    item.frame.address = static_cast<quint8>(hexNumber(m_pending, 1, 2));
    item.frame.colour = hexNumber(m_pending, 3, 6);
    out.append(item);
    m_pending.clear();
    m_inFrame = false;
    ++m_frames;
}
