#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QtGlobal>

// One well-formed 11-byte frame: lead byte, two hex address digits, RRGGBB, CR LF.
struct Frame {
    // The two lead bytes the device accepts.
    enum class Lead : quint8 { Soh = 0x01, Stx = 0x02 };

    Lead lead = Lead::Soh;  // which lead byte opened the frame
    quint8 address = 0;     // the address byte as sent (0x80 = white LEDs, low bits = segment)
    quint32 colour = 0;     // 0xRRGGBB

    // True when the address switches the white LEDs on.
    bool whiteOn() const { return (address & 0x80) != 0; }
    // The segment the address names: 0 for the whole device, 1 to 4 for one segment.
    int segment() const { return address & 0x7F; }
    // "SOH" or "STX", for logs and displays.
    QString leadName() const;
    // The address as two upper-case hex digits ("80").
    QString addressText() const;
    // The colour as six upper-case hex digits ("FF0000").
    QString colourText() const;

    friend bool operator==(const Frame&, const Frame&) = default;
};

// One decoded item of the byte stream, in arrival order: a frame or a malformed chunk.
struct DecodedItem {
    // What this item is.
    enum class Kind { Frame, Malformed };

    Kind kind = Kind::Frame;
    Frame frame;       // valid when kind == Frame
    QByteArray bytes;  // the raw bytes of a malformed chunk (empty for frames)
};

// Turns the byte stream written to the device into frames, incrementally: bytes may arrive in
// chunks of any size, split anywhere. Every lead byte starts a new candidate frame, and a
// lead byte can never appear inside a well-formed frame, so after any malformed input the
// decoder is back in step at the next lead byte and loses none of the frames that follow.
// A malformed chunk runs from the first bad byte (or the lead byte of a frame that went bad)
// up to the next lead byte; it is reported when that lead byte arrives, when it reaches
// MaxChunkBytes, or when flush() is called.
class FrameDecoder {
  public:
    // Length of a frame on the wire.
    static constexpr int FrameSize = 11;
    // Longest malformed chunk held back; longer runs of junk are reported in pieces.
    static constexpr int MaxChunkBytes = 64;

    // Decodes a chunk and returns the frames and malformed chunks it completed, in order.
    QList<DecodedItem> feed(QByteArrayView chunk);
    // Reports whatever is held back (a partial frame or junk) as one malformed chunk, e.g.
    // after the line has been idle; returns an empty list when nothing is pending.
    QList<DecodedItem> flush();
    // Number of bytes held back waiting for more input.
    qsizetype pendingSize() const { return m_pending.size(); }
    // Frames decoded so far.
    quint64 frameCount() const { return m_frames; }
    // Malformed chunks reported so far.
    quint64 malformedCount() const { return m_malformed; }

  private:
    void emitMalformed(QList<DecodedItem>& out);
    void emitFrame(QList<DecodedItem>& out);

    QByteArray m_pending;     // the bytes of the current candidate frame or junk chunk
    bool m_inFrame = false;   // true while m_pending holds a candidate frame that is still good
    quint64 m_frames = 0;     // frames decoded
    quint64 m_malformed = 0;  // malformed chunks reported
};
