#pragma once

#include "light/OperationContext.h"

// The basic display: the whole device flashes the current colour at the chosen rate, one
// timer tick for the lit phase and one for the dark phase.
class Flashing {
  public:
    explicit Flashing(const OperationContext& context);

    // Timer interval for a flash rate: 1000 / rate / 2 ms, halves to even (rate 10 gives 50,
    // rate 8 gives 62). A rate below 1 counts as 1.
    static int intervalForRate(int rate);

    // "Flash the Orlesse": reopens the port, applies the colour and starts the timer at the
    // chosen rate.
    void start();
    // Timer1 tick: stops the timer when asked to, otherwise sends the other phase.
    void tick();
    // "Stop Flashing": leaves the colour on, steady, and closes the port. Does nothing when
    // the port is closed.
    void stop();
    // "Switch Off": darkens the device and closes the port (opening it first if needed).
    void switchOff();

  private:
    OperationContext m_context;
};
