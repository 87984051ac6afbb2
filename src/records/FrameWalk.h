#pragma once

#include <algorithm>
#include <cstddef>

#include "records/SessionRecord.h"

// Walks a record's frames in order with what each belongs to: its segment, the frequency the
// player was at, the stall it ended and the pauses begun before it. The summary and the frames
// table both read the frames through this one walk.
class FrameWalk {
  public:
    explicit FrameWalk(const SessionRecord& record) : m_record(record) {}

    // Moves to the frame at index; indexes only rise from one call to the next.
    void to(size_t index) {
        m_index = index;
        const auto& segments = m_record.segments;
        while (m_nextSegment < segments.size() && segments[m_nextSegment].firstFrame <= index) {
            ++m_nextSegment;
        }
        const auto& steps = m_record.steps;
        while (m_nextStep < steps.size() && steps[m_nextStep].frame <= index) {
            m_frequency = steps[m_nextStep++].frequency;
        }
        const auto& stalls = m_record.stalls;
        while (m_nextStall < stalls.size() && stalls[m_nextStall].frame < index) {
            ++m_nextStall;
        }
        const auto& holds = m_record.holds;
        while (m_holds < holds.size() && holds[m_holds].frame <= index) {
            ++m_holds;
        }
    }

    // The frame.
    const RecordedFrame& frame() const { return m_record.frames[m_index]; }
    size_t index() const { return m_index; }
    // The index of its segment in the record, -1 before the first.
    int segment() const { return static_cast<int>(m_nextSegment) - 1; }
    // The program line of its segment, 0 before the first.
    int line() const {
        return m_nextSegment == 0 ? 0 : m_record.segments[m_nextSegment - 1].record.line();
    }
    // The frequency the player was at (meaningful for paced frames).
    int frequency() const { return m_frequency; }
    // The stall this frame ended, or nullptr.
    const StallMark* stall() const {
        const auto& stalls = m_record.stalls;
        return m_nextStall < stalls.size() && stalls[m_nextStall].frame == m_index
                   ? &stalls[m_nextStall]
                   : nullptr;
    }
    // How many holds (pauses) had begun by this frame: a hold's dark frame counts its own.
    size_t holds() const { return m_holds; }

    // The index of the segment frame index belongs to, -1 before the first.
    static int segmentOf(const SessionRecord& record, size_t index) {
        const auto after = std::upper_bound(
            record.segments.begin(), record.segments.end(), index,
            [](size_t i, const RecordedSegment& segment) { return i < segment.firstFrame; });
        return static_cast<int>(after - record.segments.begin()) - 1;
    }

  private:
    const SessionRecord& m_record;
    size_t m_index = 0;
    size_t m_nextSegment = 0;
    size_t m_nextStep = 0;
    size_t m_nextStall = 0;
    size_t m_holds = 0;
    int m_frequency = 0;
};
