#include "EditorPlayer.h"

#include "core/ClockPump.h"
#include "core/RealtimePriority.h"
#include "device/Wsc32.h"
#include "light/LightState.h"
#include "programs/ProgramReader.h"
#include "programs/SessionRecorder.h"

EditorPlayer::EditorPlayer(std::unique_ptr<Wsc32> serial, std::unique_ptr<ClockPump> clock,
                           bool realtime, QObject* parent)
    : QObject(parent),
      m_serial(std::move(serial)),
      m_clock(std::move(clock)),
      m_realtime(realtime ? std::make_unique<RealtimePriority>() : nullptr),
      m_window(0, [this](const QString& text) { m_openError = text; }) {}

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
                                         bool white, const std::optional<Recording>& recording) {
    Outcome outcome;
    if (m_state != State::Idle) {
        return outcome;
    }
    m_openError.clear();
    m_stopped = false;
    m_stalls = {};
    m_line = 0;
    // The white box's value, read by the segment player at each segment's start.
    m_window = ToolWindow(white ? 1 : 0, [this](const QString& text) { m_openError = text; });
    m_core = std::make_unique<ControlCore>(*m_serial, m_timer, *m_clock, m_window);
    if (m_realtime) {
        m_core->setPrecisionObserver([this](bool open) { m_realtime->setRaised(open); });
    }
    LightState& state = m_core->state();
    PortConnection& port = m_core->port();
    m_core->settings().ComPortNumber = static_cast<int16_t>(comNumber);

    port.OpenPort();
    if (!state.PortOpen) {
        outcome.openError = m_openError.isEmpty() ? tr("The port cannot be opened.") : m_openError;
        m_core.reset();
        return outcome;
    }
    state.ProgramRunning = true;
    setState(State::Playing);
    std::optional<RecordedRun> run;
    if (recording) {
        run = playAndRecord(m_core->context(),
                            {QStringLiteral("orlesse-editor"), recording->programPath, bytes},
                            hooks(), firstRecord);
        outcome.failure = run->failure;
    } else {
        outcome.failure = ProgramPlayback(m_core->context(), hooks()).play(bytes, firstRecord);
    }
    port.closePort();
    state.PortOpen = false;
    state.ProgramRunning = false;
    outcome.stopped = m_stopped;
    m_line = 0;
    m_stalls = m_core->stalls();
    m_core.reset();
    setState(State::Idle);
    // The record is written with the port given back.
    if (run) {
        outcome.record = run->write(recording->folder, &outcome.recordLost);
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

void EditorPlayer::stop() {
    if (m_state == State::Idle || !m_core) {
        return;
    }
    m_stopped = true;
    m_core->state().ProgramRunning = false;
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
