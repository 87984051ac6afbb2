#include "light/GradientFade.h"

#include "core/ClockPump.h"
#include "device/PortConnection.h"
#include "light/LightState.h"
#include "light/clsDrawGradient.h"

GradientFade::GradientFade(const OperationContext& context) : m_context(context) {}

void GradientFade::run() {
    LightState& state = m_context.state;
    if (!state.PortOpen) {
        m_context.port.OpenPort();
    }
    ApplyFlashColour(state, m_context.settings);

    // One instance for the whole run: the first step fixes the colour the fade starts from,
    // so a colour chosen during the run does not change it.
    clsDrawGradient gradient;
    const int32_t black = 0;
    const int16_t steps = StepCount;
    while (state.PortOpen && !state.Unloading) {
        // The port is tested only between passes: a pass runs to its last step.
        for (int16_t step = 1; step <= steps; ++step) {
            if (state.Unloading) {
                return;
            }
            const int32_t colour =
                gradient.DrawGradient(state.CurrentColourValue, black, steps, step);
            m_context.port.sendFrame(Frames::Lead::STX, Frames::WholeDevice,
                                     clsDrawGradient::ConvertRGBToHex(colour));
            m_context.clock.sleepMs(StepMilliseconds);
            m_context.clock.processEvents();
        }
    }
}
