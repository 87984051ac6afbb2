// The simulator's frame decoder: any bytes are what arrived on the serial line. Every byte
// ends up in exactly one frame or malformed chunk, in order; the result does not depend on how
// the bytes were split into chunks; and a well-formed frame sent after the input is decoded as
// the last item, whether it arrives whole or byte by byte. Any broken promise aborts.
#include <QByteArray>
#include <QList>
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "FrameDecoder.h"

namespace {

[[noreturn]] void fail() {
    std::abort();
}

QByteArray hex(quint32 value, int digits) {
    return QByteArray::number(value, 16).toUpper().rightJustified(digits, '0');
}

QByteArray wireBytes(const Frame& frame) {
    return char(frame.lead) + hex(frame.address, 2) + hex(frame.colour, 6) + "\r\n";
}

// A frame made from the input, so the fuzzer varies it too.
Frame frameFor(const QByteArray& input) {
    quint32 hash = 2166136261u;
    for (const char c : input) {
        hash = (hash ^ quint8(c)) * 16777619u;
    }
    Frame frame;
    frame.lead = (hash & 1) != 0 ? Frame::Lead::Stx : Frame::Lead::Soh;
    frame.address = quint8(hash >> 1);
    frame.colour = (hash >> 8) & 0xFFFFFF;
    return frame;
}

bool sameItem(const DecodedItem& a, const DecodedItem& b) {
    return a.kind == b.kind && a.frame == b.frame && a.bytes == b.bytes;
}

// The items a decoder handed out so far, counted as they come.
struct Tally {
    QList<DecodedItem> items;
    quint64 frames = 0;

    // Adds newly handed-out items; a malformed chunk is never empty nor longer than the limit.
    void add(const QList<DecodedItem>& out) {
        for (const DecodedItem& item : out) {
            if (item.kind == DecodedItem::Kind::Frame) {
                ++frames;
            } else if (item.bytes.isEmpty() || item.bytes.size() > FrameDecoder::MaxChunkBytes) {
                fail();
            }
        }
        items += out;
    }
};

// Counters and the held-back bytes agree with the items handed out.
void checkDecoder(const FrameDecoder& decoder, const Tally& tally) {
    if (decoder.frameCount() != tally.frames ||
        decoder.malformedCount() != quint64(tally.items.size()) - tally.frames ||
        decoder.pendingSize() >= FrameDecoder::MaxChunkBytes) {
        fail();
    }
}

QByteArray joined(const QList<DecodedItem>& items) {
    QByteArray bytes;
    for (const DecodedItem& item : items) {
        bytes += item.kind == DecodedItem::Kind::Frame ? wireBytes(item.frame) : item.bytes;
    }
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const Frame frame = frameFor(input);
    const QByteArray frameBytes = wireBytes(frame);

    // Pass one: the input in one chunk, then the frame whole.
    FrameDecoder whole;
    Tally wholeTally;
    wholeTally.add(whole.feed(input));
    checkDecoder(whole, wholeTally);
    const QList<DecodedItem> last = whole.feed(frameBytes);
    wholeTally.add(last);
    checkDecoder(whole, wholeTally);
    if (last.isEmpty() || last.back().kind != DecodedItem::Kind::Frame ||
        !(last.back().frame == frame) || whole.pendingSize() != 0) {
        fail();
    }
    if (joined(wholeTally.items) != input + frameBytes) {
        fail();
    }

    // Pass two: the input in chunks whose sizes come from the input itself, then the frame
    // byte by byte. Only the last byte completes it.
    FrameDecoder split;
    Tally splitTally;
    for (qsizetype at = 0; at < input.size();) {
        const qsizetype length =
            std::min<qsizetype>(1 + quint8(input.at(at)) % 13, input.size() - at);
        splitTally.add(split.feed(QByteArrayView(input).sliced(at, length)));
        checkDecoder(split, splitTally);
        at += length;
    }
    for (qsizetype i = 0; i < frameBytes.size(); ++i) {
        const QList<DecodedItem> out = split.feed(QByteArrayView(frameBytes).sliced(i, 1));
        splitTally.add(out);
        if (i == frameBytes.size() - 1) {
            if (out.size() != 1 || out[0].kind != DecodedItem::Kind::Frame ||
                !(out[0].frame == frame)) {
                fail();
            }
        } else if (i > 0 ? !out.isEmpty()
                         : out.size() > 1 ||
                               (out.size() == 1 && out[0].kind != DecodedItem::Kind::Malformed)) {
            // The lead byte may push out what was held back as one malformed chunk; the bytes
            // after it, before the last, complete nothing.
            fail();
        }
    }
    checkDecoder(split, splitTally);
    const QList<DecodedItem>& items = wholeTally.items;
    const QList<DecodedItem>& splitItems = splitTally.items;
    if (splitItems.size() != items.size()) {
        fail();
    }
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (!sameItem(items[i], splitItems[i])) {
            fail();
        }
    }

    // Whatever is held back comes out on flush, and nothing after.
    FrameDecoder pending;
    QList<DecodedItem> flushed = pending.feed(input);
    flushed += pending.flush();
    if (pending.pendingSize() != 0 || !pending.flush().isEmpty() || joined(flushed) != input) {
        fail();
    }
    return 0;
}
