#pragma once

// Conditions of the test process itself that the serial-line tests need.

// How many passes the event loop makes while a timer of its own fires ticks times, intervalMs
// apart. An idle process makes about one pass per event its timers bring; a notifier of a lost
// device that keeps firing makes it pass again and again, hundreds of times per tick however
// loaded the machine is, since the count does not depend on how fast the ticks come.
int eventLoopPassesOverTicks(int ticks, int intervalMs = 10);

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
