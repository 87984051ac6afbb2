#pragma once

#include <QList>
#include <QString>
#include <cstdint>

#include "device/ComPorts.h"

// The COM ports present, in the form the window's start-up reads them: a buffer of 501 port
// numbers and the last position to examine.
class PortList {
  public:
    // Number of entries of the port buffer (positions 0 to 500).
    static constexpr int BufferSize = 501;

    virtual ~PortList() = default;

    // Writes the numbers of the COM ports present into buffer (BufferSize entries, all 0 on
    // entry) and returns the last position worth examining; entries of 0 or less are ignored.
    virtual int32_t ListActiveCOMPorts(int32_t* buffer) = 0;
    // What COM n is, as of the last listing, for the list item's tool tip.
    virtual QString describe(int comNumber) = 0;
};

// The port list of this machine, over the COM port naming rules (ComPorts).
class SystemPortList final : public PortList {
  public:
    int32_t ListActiveCOMPorts(int32_t* buffer) override;
    QString describe(int comNumber) override;

  private:
    QList<ComPorts::Info> m_listed;  // the ports of the last listing
};
