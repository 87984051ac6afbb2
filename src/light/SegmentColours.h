#pragma once

#include <QString>

#include "light/OperationContext.h"

// The two operations that address the four segments one by one: Spin runs the flash colour
// round the segments, Reset Colours sends each segment its standard colour.
class SegmentColours {
  public:
    explicit SegmentColours(const OperationContext& context);

    // Time after each of the eight frames of a revolution, in seconds: 1 / (8 x rate), so a
    // revolution takes one flash period. A rate below 1 counts as 1.
    static double stepTime(int flashRate);

    // "Spin": reopens the port, stops the flash timer, then lights segment 1, 2, 3, 4 in turn,
    // one revolution per flash period and the next flash colour each revolution, until the
    // port is closed.
    void spin();

    // "Reset Colours": segment 1 red, 2 green, 3 blue, 4 yellow, at full level. Opens the port
    // when it is closed and leaves it open.
    void resetColours();

  private:
    // Starts a revolution of the spin: the flash colour, the next colour index, and the step
    // time of the rate now, which it returns.
    double startRevolution();

    OperationContext m_context;
};
