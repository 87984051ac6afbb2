#pragma once

// Conditions of the test process itself that the serial-line tests need.

// The share of one processor the process uses while its event loop runs for about ms
// milliseconds. A notifier of a lost device that keeps firing drives it towards 1.
double cpuShareWhileEventLoopRuns(int ms);

// Runs the rest of a scope as user "nobody" when the test runs as root, for whom neither file
// permissions nor exclusive opens apply.
class Unprivileged {
  public:
    Unprivileged();
    ~Unprivileged();
    Unprivileged(const Unprivileged&) = delete;
    Unprivileged& operator=(const Unprivileged&) = delete;

    // Whether the scope now runs without root's rights.
    bool effective() const;

  private:
    bool m_switched = false;
};
