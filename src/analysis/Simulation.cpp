#include "analysis/Simulation.h"

#include <algorithm>
#include <cstdlib>

#include "programs/ProgramPlayback.h"

SimulatedRig::SimulatedRig(double start)
    : m_clock(start), m_core(m_serial, m_timer, m_clock, m_window) {
    m_core.settings().ComPortNumber = 1;
    m_core.state().ProgramRunning = true;
}

void SegmentTrace::add(const SegmentPlayer::Frame& frame) {
    if (frames == 0) {
        firstFrequency = minFrequency = maxFrequency = frame.frequency;
    }
    ++frames;
    lastFrequency = frame.frequency;
    minFrequency = std::min(minFrequency, frame.frequency);
    maxFrequency = std::max(maxFrequency, frame.frequency);
    if (!frame.lit) {
        return;
    }
    if (litFrames == 0) {
        firstLevel = minLevel = maxLevel = frame.level;
    }
    ++litFrames;
    lastLevel = frame.level;
    minLevel = std::min(minLevel, frame.level);
    maxLevel = std::max(maxLevel, frame.level);
}

qint64 estimatedFrames(const ProgramRecord& record) {
    const qint64 highest =
        std::max(std::abs(int(record.nStartFrequency)), std::abs(int(record.nEndFrequency)));
    return 2 * highest * std::max<qint64>(record.nDuration, 0);
}

namespace {

void addStep(QList<TraceStep>& steps, double time, int value) {
    if (steps.isEmpty() || steps.last().value != value) {
        steps.append({time, value});
    }
}

}  // namespace

ProgramTrace traceProgram(const QByteArray& bytes, double start,
                          const std::function<void(const SegmentPlayer::Frame&)>& eachFrame) {
    SimulatedRig rig(start);
    SimulatedClock& clock = rig.clock();
    ProgramTrace trace;
    trace.start = clock.now();

    ProgramPlayback::Hooks hooks;
    qint64 frames = 0;
    hooks.segmentStarting = [&](const ProgramRecord& record) {
        if (!trace.segments.isEmpty()) {
            trace.segments.last().end = clock.now();
        }
        frames += estimatedFrames(record);
        if (frames > MaxSimulatedFrames && trace.stoppedAtLine == 0) {
            // The run ends here, as End Program would end it.
            trace.stoppedAtLine = record.line();
            rig.context().state.ProgramRunning = false;
        }
        SegmentTrace segment;
        segment.record = record;
        segment.start = segment.end = clock.now();
        trace.segments.append(segment);
    };
    hooks.frameWritten = [&](const SegmentPlayer::Frame& frame) {
        trace.segments.last().add(frame);
        addStep(trace.frequency, frame.due, frame.frequency);
        if (frame.lit) {
            addStep(trace.level, frame.due, frame.level);
        }
        if (eachFrame) {
            eachFrame(frame);
        }
    };
    trace.failure = ProgramPlayback(rig.context(), hooks).play(bytes);
    trace.end = clock.now();
    if (!trace.segments.isEmpty()) {
        trace.segments.last().end = trace.end;
    }
    return trace;
}
