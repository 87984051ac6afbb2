#pragma once

#include <QList>
#include <QString>
#include <functional>
#include <vector>

#include "device/ComPorts.h"

class PortList;

// The items of a COM port list and how they follow the ports present: filled once, then on
// every opening of the list the ports that appeared are added in number order, and each
// item's tool tip tells what its port is now, or that it is not present. A port that has gone
// stays listed, so no item vanishes from under the user. The main window's list and the
// editor's list both keep their items through one of these.
class ComPortListing {
  public:
    // One item: "Com<n>" and its tool tip.
    struct Item {
        int number = 0;
        QString description;  // what the port list said of it when last present
        QString toolTip;      // the item's tool tip now
    };

    explicit ComPortListing(PortList& ports);

    // The COM numbers the port list reports now, in its order: every entry above 0 among the
    // positions up to its result, no further than the buffer's last position.
    QList<int> activePortNumbers();

    // Lists the ports present; returns the items, in the port list's order.
    const std::vector<Item>& fill();

    // Brings the items up to date: inserted(index, item) for each port that appeared,
    // toolTipChanged(index, text) for each item whose tool tip changed.
    void refresh(const std::function<void(int, const Item&)>& inserted,
                 const std::function<void(int, const QString&)>& toolTipChanged);

    // The item text of COM n.
    static QString itemText(int number) { return ComPorts::displayName(number); }
    // The COM number of an item text ("Com12" gives 12).
    static int numberOf(const QString& itemText) { return itemText.mid(3).trimmed().toInt(); }

  private:
    PortList& m_ports;
    std::vector<Item> m_items;
};
