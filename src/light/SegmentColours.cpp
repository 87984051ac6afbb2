#include "light/SegmentColours.h"

#include <algorithm>
#include <cmath>

#include "core/ClockPump.h"
#include "core/FlashTimer.h"
#include "core/Pacing.h"
#include "core/WindowServices.h"
#include "device/PortConnection.h"
#include "light/LightState.h"

namespace {

constexpr int SegmentCount = 4;
constexpr int FramesPerRevolution = 2 * SegmentCount;

struct StandardColour {
    int segment;
    const char* colour;
};

// Segment 1 red, 2 green, 3 blue, 4 yellow, at full level whatever the brightness.
constexpr StandardColour StandardColours[SegmentCount] = {
    {1, "FF0000"}, {2, "00FF00"}, {3, "0000FF"}, {4, "FFFF00"}};

constexpr int ResetPauseMs = 10;

}  // namespace

SegmentColours::SegmentColours(const OperationContext& context) : m_context(context) {}

double SegmentColours::stepTime(int flashRate) {
    return 1.0 / (static_cast<double>(FramesPerRevolution) * std::max(flashRate, 1));
}

bool SegmentColours::sendAndWait(const QString& address, const QString& colour, double step,
                                 double& due) {
    // Tested before every frame, not only before each pair: a close that lands in the wait
    // after a dark frame must not let the lit frame of that pair out.
    const LightState& state = m_context.state;
    if (state.Unloading) {
        return false;
    }
    m_context.port.sendFrame(Frames::Lead::SOH, address, colour);
    due = Pacing::nextDue(due, m_context.clock.now(), step);
    m_context.clock.waitUntil(due, [&state] { return !state.Unloading; });
    return true;
}

void SegmentColours::spin() {
    LightState& state = m_context.state;
    Settings& settings = m_context.settings;

    m_context.port.OpenPort();
    m_context.timer.setInterval(0);
    state.StopFlashing = true;

    double due = std::nan("");  // when the last frame's wait ended; none yet
    while (state.PortOpen && !state.Unloading) {
        ApplyFlashColour(state, settings);
        // Worked out once per revolution, so a new rate takes effect at the next one.
        const double step = stepTime(settings.FlashRate);
        settings.FlashColourIndex = static_cast<int16_t>(
            settings.FlashColourIndex + 1 > 4 ? 0 : settings.FlashColourIndex + 1);

        for (int position = 1; position <= SegmentCount; ++position) {
            const int previous = position == 1 ? SegmentCount : position - 1;
            // Only the frames of segment 1 read the box: the white LEDs go on with segment 1
            // and off with the dark frame of segment 4 that starts the next revolution.
            const bool white1 = position == 1 && m_context.window.whiteBoxValue() == 1;
            if (!sendAndWait(Frames::segmentAddress(previous, white1), Frames::Black, step, due)) {
                return;
            }
            const bool white2 = position == 1 && m_context.window.whiteBoxValue() == 1;
            if (!sendAndWait(Frames::segmentAddress(position, white2), state.CurrentColour, step,
                             due)) {
                return;
            }
        }
    }
}

void SegmentColours::resetColours() {
    LightState& state = m_context.state;
    state.StopFlashing = false;
    if (!state.PortOpen) {
        m_context.port.OpenPort();
        if (!state.PortOpen) {
            return;
        }
    }
    m_context.timer.setEnabled(false);
    for (int i = 0; i < SegmentCount; ++i) {
        m_context.port.sendFrame(Frames::Lead::STX,
                                 Frames::segmentAddress(StandardColours[i].segment),
                                 QString::fromLatin1(StandardColours[i].colour));
        if (i + 1 < SegmentCount) {
            m_context.clock.sleepMs(ResetPauseMs);
        }
    }
}
