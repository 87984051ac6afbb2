#include "records/SessionRecord.h"

#include <algorithm>
#include <cmath>

void FrameLog::append(const RecordedFrame& frame) {
    if (m_size == m_chunks.size() * ChunkFrames) {
        m_chunks.push_back(std::make_unique_for_overwrite<RecordedFrame[]>(ChunkFrames));
    }
    m_chunks[m_size / ChunkFrames][m_size % ChunkFrames] = frame;
    ++m_size;
}

QString SessionEnding::name() const {
    switch (how) {
        case How::Finished:
            return QStringLiteral("finished");
        case How::Stopped:
            return QStringLiteral("stopped");
        case How::Signal:
            return QStringLiteral("signal");
        case How::Failed:
            break;
    }
    return QStringLiteral("failed");
}

QString SessionEnding::text() const {
    switch (how) {
        case How::Finished:
            return QStringLiteral("played to the end");
        case How::Stopped:
            return QStringLiteral("stopped by End Program");
        case How::Signal:
            return QStringLiteral("ended by %1").arg(signalName);
        case How::Failed:
            break;
    }
    return failure ? failure->message() : QStringLiteral("failed");
}

double SessionRecord::origin() const {
    if (frames.empty()) {
        return beganClock;
    }
    const RecordedFrame& first = frames[0];
    return first.paced() ? first.due() : first.called;
}

QDateTime SessionRecord::startUtc() const {
    return beganUtc.addMSecs(std::llround((origin() - beganClock) * 1000.0));
}

double nearestRankQuantile(std::vector<double> values, double q) {
    if (values.empty()) {
        return std::numeric_limits<double>::quiet_NaN();
    }
    const double rank = std::ceil(q * static_cast<double>(values.size()));
    const auto index =
        static_cast<size_t>(std::clamp(rank - 1.0, 0.0, static_cast<double>(values.size() - 1)));
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(index),
                     values.end());
    return values[index];
}

double SessionRecord::end() const {
    if (!std::isnan(recordsEnded)) {
        return recordsEnded;
    }
    if (!std::isnan(finished)) {
        return finished;
    }
    return frames.empty() ? beganClock : frames[frames.size() - 1].called;
}
