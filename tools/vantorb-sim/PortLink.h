#pragma once

#include <QString>

// Publishes the simulator as a COM port: a link com<n> -> target in the ports folder, where the
// controller looks for COM ports first. The target is the simulator's own handle on its
// terminal (DeviceLine::handlePath()), so the link leads nowhere once the simulator is gone. The
// link is removed again by remove() or the destructor, but only while it still points to this
// simulator's target.
class PortLink {
  public:
    // Highest COM number the simulator takes by itself; it counts down from here.
    static constexpr int HighestNumber = 99;

    // A link that will be published in folder (created when missing).
    explicit PortLink(QString folder);
    // Removes the link.
    ~PortLink();
    PortLink(const PortLink&) = delete;
    PortLink& operator=(const PortLink&) = delete;

    // The per-user ports folder: <generic data location>/Corvexa/Orlesse/ports.
    static QString defaultFolder();

    // Links com<comNumber> to target, or with comNumber 0 the first free number from 99
    // downwards. A number is free when it has no link or only one that leads to no device
    // (ComPorts::resolve()), such as one left behind by a simulator that was killed; such a
    // link is replaced. Links to this process's handles are dropped first: they were left by
    // an earlier process with the same pid. Returns false and sets *error when the number is
    // taken or the link cannot be made.
    bool publish(int comNumber, const QString& target, QString* error);
    // Removes the link if it still points to our target. Safe to call more than once.
    void remove();

    // The published COM number (0 before publish()).
    int number() const { return m_number; }
    // Full path of the published link.
    QString linkPath() const { return linkPathFor(m_number); }

  private:
    enum class Slot { Absent, Stale, Taken };

    QString linkPathFor(int comNumber) const;
    Slot slotState(int comNumber) const;
    // Removes the com<n> links that point into this process's /proc entry.
    void dropLinksToOwnPid() const;
    // Makes the link; returns 0 or the errno of the failed step (EEXIST: number just taken).
    int claim(int comNumber, Slot state, const QString& target, QString* error);

    QString m_folder;  // the ports folder
    QString m_target;  // what our link points to
    int m_number = 0;  // published COM number, 0 when none
};
