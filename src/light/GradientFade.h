#pragma once

#include "light/OperationContext.h"

// "Gradient": fades the whole device from the flash colour at full level down to black in 255
// steps of 20 ms, and again from the top, for as long as the port stays open.
class GradientFade {
  public:
    // Steps of one pass, and the pause after each step in milliseconds (5 s over 255 steps).
    static constexpr int StepCount = 255;
    static constexpr int StepMilliseconds = 20;

    explicit GradientFade(const OperationContext& context);

    // Runs passes until a pass ends with the port closed.
    void run();

  private:
    OperationContext m_context;
};
