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

double SegmentColours::startRevolution() {
    LightState& state = m_context.state;
    Settings& settings = m_context.settings;
    ApplyFlashColour(state, settings);
    settings.FlashColourIndex =
        static_cast<int16_t>(settings.FlashColourIndex + 1 > 4 ? 0 : settings.FlashColourIndex + 1);
    // Worked out once per revolution, so a new rate takes effect at the next one.
    return stepTime(settings.FlashRate);
}

void SegmentColours::spin() {
    LightState& state = m_context.state;

    m_context.port.OpenPort();
    m_context.timer.setInterval(0);
    state.StopFlashing = true;
    if (!state.PortOpen || state.Unloading) {
        return;
    }

    // Frame k of a revolution: the even ones darken the segment lit last, the odd ones light
    // segment k / 2 + 1. The frames keep to a grid of steps from the first one.
    double step = startRevolution();
    int frame = 0;
    int litSegment = SegmentCount;  // the first dark frame goes to segment 4, as every revolution's
    Pacing::Wake wake{m_context.clock.now(), 0, false, 0, 0};
    while (true) {
        const int position = frame / 2 + 1;
        // Only the frames of segment 1 read the box: the white LEDs go on with segment 1 and off
        // with the dark frame of segment 4 that starts the next revolution.
        const bool white = position == 1 && m_context.window.whiteBoxValue() == 1;
        const bool darkFrame = frame % 2 == 0;
        // After a stall that skipped this pair's dark frame, it goes out just before the lit
        // one, so that the device shows this frame's phase at once.
        if (darkFrame || (wake.skipped > 0 && litSegment != position)) {
            m_context.port.sendFrame(Frames::Lead::SOH, Frames::segmentAddress(litSegment, white),
                                     Frames::Black);
            if (!darkFrame) {
                --wake.skipped;
            }
        }
        if (!darkFrame) {
            m_context.port.sendFrame(Frames::Lead::SOH, Frames::segmentAddress(position, white),
                                     state.CurrentColour);
            litSegment = position;
        }
        m_context.stalls.add(wake);

        const double next = wake.due + step;
        m_context.clock.waitUntil(next, [&state] { return !state.Unloading; });
        wake = Pacing::wake(next, m_context.clock.now(), step,
                            Pacing::restartBound(FramesPerRevolution * step));
        // The frames skipped are passed over, the revolutions they finish included, so that the
        // colours go on in the order they would have come.
        for (int64_t moved = 0; moved <= wake.skipped; ++moved) {
            frame = (frame + 1) % FramesPerRevolution;
            if (frame == 0) {
                // The port is tested only between revolutions; a close within one lets it end.
                if (!state.PortOpen) {
                    return;
                }
                step = startRevolution();
            }
        }
        // Tested before every frame, not only before each pair: a close that lands in the wait
        // after a dark frame must not let the lit frame of that pair out.
        if (state.Unloading) {
            return;
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
