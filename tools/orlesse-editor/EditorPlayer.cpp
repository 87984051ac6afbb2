#include "EditorPlayer.h"

#include "core/ClockPump.h"
#include "device/Wsc32.h"

EditorPlayer::EditorPlayer(std::unique_ptr<Wsc32> serial, std::unique_ptr<ClockPump> clock,
                           bool realtime, QObject* parent)
    : QObject(parent),
      m_serial(std::move(serial)),
      m_clock(std::move(clock)),
      m_device(*m_serial, *m_clock, realtime) {}

EditorPlayer::~EditorPlayer() = default;

ProgramPlayback::Hooks EditorPlayer::hooks() {
    ProgramPlayback::Hooks hooks;
    hooks.segmentStarting = [this](const ProgramRecord& record) {
        m_line = record.line();
        m_segmentStart = m_clock->now();
        m_pausedTotal = 0;
        emit segmentStarted(m_line);
    };
    hooks.holding = [this] { return m_state == State::Paused; };
    return hooks;
}

EditorPlayer::Outcome EditorPlayer::play(const QByteArray& bytes, int firstRecord, int comNumber,
                                         bool white, const std::optional<Recording>& recording,
                                         const std::optional<Marking>& marking) {
    Outcome outcome;
    if (m_state != State::Idle) {
        return outcome;
    }
    m_stopped = false;
    m_stalls = {};
    m_firstRecord = firstRecord;
    m_line = 0;
    DeviceRun::Request request;
    request.bytes = bytes;
    request.firstRecord = firstRecord;
    request.software = QStringLiteral("orlesse-editor");
    request.keepRecord = recording.has_value();
    if (recording) {
        request.programPath = recording->programPath;
    }
    if (marking && marking->stream) {
        marking->stream->publish(request);
        request.markEveryLitFrame = marking->everyLitFrame;
    }
    request.hooks = hooks();
    // A port that does not open plays nothing and leaves the player idle.
    request.portOpened = [this] { setState(State::Playing); };
    const DeviceRun::Outcome run = m_device.play(comNumber, white, request);
    outcome.openError = run.openError;
    outcome.failure = run.failure;
    outcome.stopped = m_stopped;
    m_line = 0;
    m_stalls = run.stalls;
    setState(State::Idle);
    // The record is written with the port given back.
    if (run.record) {
        outcome.record = run.record->write(recording->folder, &outcome.recordLost);
    }
    return outcome;
}

void EditorPlayer::pause() {
    if (m_state == State::Playing) {
        m_pausedAt = m_clock->now();
        setState(State::Paused);
    }
}

void EditorPlayer::resume() {
    if (m_state == State::Paused) {
        m_pausedTotal += m_clock->now() - m_pausedAt;
        setState(State::Playing);
    }
}

void EditorPlayer::togglePause() {
    if (m_state == State::Playing) {
        pause();
    } else {
        resume();
    }
}

void EditorPlayer::stop() {
    if (m_state == State::Idle || !m_device.playing()) {
        return;
    }
    m_stopped = true;
    m_device.stop();
    if (m_state == State::Paused) {
        setState(State::Playing);
    }
}

double EditorPlayer::secondsIntoSegment() {
    if (m_line == 0) {
        return 0;
    }
    const double until = m_state == State::Paused ? m_pausedAt : m_clock->now();
    return std::max(0.0, until - m_segmentStart - m_pausedTotal);
}

void EditorPlayer::setState(State state) {
    if (state != m_state) {
        m_state = state;
        emit stateChanged(state);
    }
}
