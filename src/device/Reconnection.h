#pragma once

#include <QString>
#include <functional>

// When to look for a lost device and where: the policy of reconnection, apart from how a port
// is opened. A loss is noticed at the first write that finds the device gone; from then on
// the device is looked for at most once an interval, and only when a frame is written, so a
// device that stays away costs nothing between frames. An adapter with a stable name is
// looked for by that name, which follows it to another node; anything else by its COM port's
// path again.
class Reconnection {
  public:
    // clock gives the steady clock in seconds; interval is the least time between two looks.
    Reconnection(std::function<double()> clock, double interval)
        : m_clock(std::move(clock)), m_interval(interval) {}

    // Records that the device has gone now; the first look is one interval later. A loss
    // noticed again before the device is back changes nothing.
    void deviceLost() {
        if (!m_lost) {
            m_lost = true;
            m_nextLook = m_clock() + m_interval;
        }
    }
    // Whether the device is away.
    bool isLost() const { return m_lost; }
    // Called when a frame is to be written to the lost device: true when a look is due now,
    // and the next look is then one interval away whatever the look finds. A loss not noticed
    // yet is noticed here, and is not looked at yet.
    bool lookDue() {
        if (!m_lost) {
            deviceLost();
            return false;
        }
        const double now = m_clock();
        if (now < m_nextLook) {
            return false;
        }
        m_nextLook = now + m_interval;
        return true;
    }
    // Records that the device is back and open again.
    void deviceBack() { m_lost = false; }

    // The path a look follows: the adapter's stable name when it has one, else the COM
    // port's mapped path.
    static QString lookupPath(const QString& stableName, const QString& mapped) {
        return stableName.isEmpty() ? mapped : stableName;
    }

  private:
    std::function<double()> m_clock;
    double m_interval;
    bool m_lost = false;
    double m_nextLook = 0;
};
