#include "LightModel.h"

LightModel::LightModel(qint64 windowNs) : m_windowNs(windowNs > 0 ? windowNs : DefaultWindowNs) {}

void LightModel::apply(const Frame& frame, qint64 receivedNs) {
    ++m_frames;
    m_whiteOn = frame.whiteOn();
    const int segment = frame.segment();
    if (segment == 0) {
        m_segments.fill(frame.colour);
        const bool lit = frame.colour != 0;
        if (lit && !m_deviceLit) {
            m_litTimes.push_back(receivedNs);
        }
        m_deviceLit = lit;
    } else if (segment <= SegmentCount) {
        m_segments[static_cast<size_t>(segment - 1)] = frame.colour;
    }
    // Keep only the changes that can still fall inside a window ending now or later.
    while (!m_litTimes.empty() && m_litTimes.front() <= receivedNs - m_windowNs) {
        m_litTimes.pop_front();
    }
}

quint32 LightModel::segmentColour(int segment) const {
    if (segment < 1 || segment > SegmentCount) {
        return 0;
    }
    return m_segments[static_cast<size_t>(segment - 1)];
}

double LightModel::flashFrequency(qint64 nowNs) const {
    const qint64 windowStart = nowNs - m_windowNs;
    qint64 first = 0;
    qint64 last = 0;
    int count = 0;
    for (const qint64 t : m_litTimes) {
        if (t <= windowStart || t > nowNs) {
            continue;
        }
        if (count == 0) {
            first = t;
        }
        last = t;
        ++count;
    }
    if (count < 2 || last <= first) {
        return 0.0;
    }
    return (count - 1) * 1e9 / static_cast<double>(last - first);
}
