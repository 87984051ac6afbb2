#pragma once

#include <functional>

// The offset between Orlesse's steady clock (steadySeconds(), what QtClockPump::now() returns)
// and LSL's clock (lsl_local_clock). Both count seconds at the same rate; liblsl happens to
// read the same steady clock, but nothing promises that, so the offset is measured: a read of
// LSL's clock between two steady reads, repeated, keeping the tightest bracket. The offset is
// then right to within half that bracket, whatever the reads cost or however they were
// interrupted.
class ClockMapping {
  public:
    // No offset, no uncertainty.
    ClockMapping() = default;

    // Measures the offset over the given rounds of steady, lsl, steady reads.
    static ClockMapping measure(const std::function<double()>& steady,
                                const std::function<double()>& lsl, int rounds = 20);

    // The LSL time of a steady-clock time.
    double toLsl(double steadyTime) const { return steadyTime + m_offset; }
    // The steady-clock time of an LSL time.
    double toSteady(double lslTime) const { return lslTime - m_offset; }
    // LSL's clock minus the steady clock, in seconds.
    double offset() const { return m_offset; }
    // How far the offset may be off: half the tightest bracket, in seconds.
    double uncertainty() const { return m_uncertainty; }

  private:
    double m_offset = 0;
    double m_uncertainty = 0;
};
