#pragma once

#include <QtGlobal>

#include <array>
#include <deque>

#include "FrameDecoder.h"

// What the light shows after the frames received so far: the colour of each of the four
// segments, whether the white LEDs are on, how many frames and malformed chunks arrived, and
// how fast the whole device is flashing. Receive times are passed in (monotonic nanoseconds,
// never decreasing), so the model runs the same on a real clock and in tests.
class LightModel {
  public:
    // Number of coloured segments round the light.
    static constexpr int SegmentCount = 4;
    // Default length of the window over which the flash frequency is measured.
    static constexpr qint64 DefaultWindowNs = 2'000'000'000;

    // A model with every segment dark, white LEDs off, measuring over windowNs.
    explicit LightModel(qint64 windowNs = DefaultWindowNs);

    // Shows one frame received at receivedNs. Address 0 colours all four segments, 1 to 4
    // one segment, any other segment number none; the white bit of every frame switches the
    // white LEDs on or off.
    void apply(const Frame& frame, qint64 receivedNs);
    // Counts one malformed chunk.
    void noteMalformed() { ++m_malformed; }

    // Colour 0xRRGGBB of segment 1 to 4 (0 for a segment number out of range).
    quint32 segmentColour(int segment) const;
    // Whether the white LEDs are on.
    bool whiteOn() const { return m_whiteOn; }
    // Frames shown so far.
    quint64 frameCount() const { return m_frames; }
    // Malformed chunks counted so far.
    quint64 malformedCount() const { return m_malformed; }

    // Flashes per second of the whole device at time nowNs: the dark-to-lit changes of
    // whole-device frames inside the window ending at nowNs, as (changes - 1) over the time
    // between the first and the last of them. 0 with fewer than two changes in the window,
    // so the reading drops to 0 one window length after flashing stops.
    double flashFrequency(qint64 nowNs) const;

  private:
    qint64 m_windowNs;                                  // length of the measuring window
    std::array<quint32, SegmentCount> m_segments = {};  // colour of each segment
    bool m_whiteOn = false;                             // white LEDs on
    bool m_deviceLit = false;                           // last whole-device frame was not "000000"
    quint64 m_frames = 0;                               // frames shown
    quint64 m_malformed = 0;                            // malformed chunks counted
    std::deque<qint64> m_litTimes;  // receive times of recent dark-to-lit changes, oldest first
};
