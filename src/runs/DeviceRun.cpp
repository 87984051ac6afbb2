#include "runs/DeviceRun.h"

#include "core/RealtimePriority.h"
#include "device/ComPorts.h"
#include "device/PortConnection.h"
#include "light/LightState.h"
#include "markers/MarkerOutlet.h"
#include "runs/RunMarkers.h"

namespace DeviceRun {

namespace {

// How a run that played ended.
SessionEnding endingOf(const OperationContext& context, const Request& request,
                       const std::optional<ProgramError>& failure) {
    SessionEnding ending;
    const QString signalName = request.endedBySignal ? request.endedBySignal() : QString();
    if (failure) {
        ending.how = SessionEnding::How::Failed;
        ending.failure = failure;
    } else if (!signalName.isEmpty()) {
        ending.how = SessionEnding::How::Signal;
        ending.signalName = signalName;
    } else if (!context.state.ProgramRunning || context.state.Unloading) {
        ending.how = SessionEnding::How::Stopped;
    }
    return ending;
}

}  // namespace

void Request::publishOn(MarkerOutlet& outlet) {
    markers = [&outlet](const QString& text, double clockTime) {
        outlet.push(text, outlet.toLslTime(clockTime));
    };
    const MarkerStream& stream = outlet.stream();
    markerStream = MarkerStreamNote{stream.name, stream.sourceId, outlet.clockMapping().offset()};
}

std::unique_ptr<MarkerOutlet> openMarkerStream(int comNumber, QString* error,
                                               const QStringList& libraries) {
    const std::shared_ptr<const LslLibrary> library = LslLibrary::load(error, libraries);
    if (!library) {
        return nullptr;
    }
    return MarkerOutlet::open(library, MarkerStream::forDevice(ComPorts::displayName(comNumber)),
                              error);
}

Outcome playOn(const OperationContext& context, const Request& request) {
    Outcome outcome;
    ProgramPlayback::Hooks hooks = request.hooks;
    std::optional<RunMarkers> markers;
    if (request.markers) {
        markers.emplace(context, request.markers, request.markEveryLitFrame);
        hooks = markers->hooks(std::move(hooks));
    }
    std::optional<SessionRecorder> recorder;
    if (request.keepRecord) {
        recorder.emplace(context);
        recorder->begin({request.software, request.programPath, request.bytes});
        hooks = recorder->hooks(std::move(hooks));
    }
    outcome.failure = ProgramPlayback(context, hooks).play(request.bytes, request.firstRecord);
    SessionEnding ending = endingOf(context, request, outcome.failure);
    if (markers) {
        markers->ended(ending);
    }
    if (recorder) {
        RecordedRun run;
        run.failure = outcome.failure;
        run.record = recorder->finish(std::move(ending));
        run.record.markerStream = request.markerStream;
        outcome.record = std::move(run);
    }
    return outcome;
}

Device::Device(Wsc32& serial, ClockPump& clock, bool realtime)
    : m_serial(serial),
      m_clock(clock),
      m_realtime(realtime ? std::make_unique<RealtimePriority>() : nullptr) {}

Device::~Device() = default;

Outcome Device::play(int comNumber, bool white, const Request& request) {
    Outcome outcome;
    m_openError.clear();
    // The white box's value, read by the segment player at each segment's start; the serial
    // error text of a port that cannot be opened arrives as the window's message.
    m_window = HeadlessWindow(white ? 1 : 0, [this](const QString& text) { m_openError = text; });
    m_core = std::make_unique<ControlCore>(m_serial, m_timer, m_clock, m_window);
    if (m_realtime) {
        m_core->setPrecisionObserver([this](bool open) { m_realtime->setRaised(open); });
    }
    LightState& state = m_core->state();
    PortConnection& port = m_core->port();
    m_core->settings().ComPortNumber = static_cast<int16_t>(comNumber);

    port.OpenPort();
    if (!state.PortOpen) {
        outcome.openError =
            m_openError.isEmpty() ? QStringLiteral("The port cannot be opened.") : m_openError;
        m_core.reset();
        return outcome;
    }
    state.ProgramRunning = true;
    if (request.portOpened) {
        request.portOpened();
    }
    outcome = playOn(m_core->context(), request);
    port.closePort();
    state.PortOpen = false;
    state.ProgramRunning = false;
    outcome.stalls = m_core->stalls();
    m_core.reset();
    return outcome;
}

void Device::stop() {
    if (m_core) {
        m_core->state().ProgramRunning = false;
    }
}

}  // namespace DeviceRun
