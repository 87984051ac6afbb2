#include "app/ComPortListing.h"

#include <algorithm>
#include <array>
#include <map>

#include "app/PortList.h"

ComPortListing::ComPortListing(PortList& ports) : m_ports(ports) {}

QList<int> ComPortListing::activePortNumbers() {
    std::array<int32_t, PortList::BufferSize> buffer{};
    // The buffer has 501 entries, so no scan goes past position 500, and any larger result
    // examines them all: the limit applies to the full result, before it could wrap in 16 bits.
    // A negative result examines nothing.
    const int32_t result = m_ports.ListActiveCOMPorts(buffer.data());
    const int last = result < 0 ? -1 : std::min<int32_t>(result, PortList::BufferSize - 1);
    QList<int> numbers;
    for (int i = 0; i <= last; ++i) {
        if (buffer[i] > 0) {
            numbers.append(buffer[i]);
        }
    }
    return numbers;
}

const std::vector<ComPortListing::Item>& ComPortListing::fill() {
    for (const int number : activePortNumbers()) {
        const QString description = m_ports.describe(number);
        m_items.push_back({number, description, description});
    }
    return m_items;
}

void ComPortListing::refresh(const std::function<void(int, const Item&)>& inserted,
                             const std::function<void(int, const QString&)>& toolTipChanged) {
    const QList<int> present = activePortNumbers();
    std::map<int, QString> descriptions;
    for (const int number : present) {
        descriptions.emplace(number, m_ports.describe(number));
    }
    for (const auto& [number, description] : descriptions) {
        const auto listed = [number = number](const Item& item) { return item.number == number; };
        if (std::any_of(m_items.begin(), m_items.end(), listed)) {
            continue;
        }
        // Before the first item with a higher number: the list stays in number order.
        const auto at =
            std::find_if(m_items.begin(), m_items.end(),
                         [number = number](const Item& item) { return item.number > number; });
        const int index = static_cast<int>(at - m_items.begin());
        const auto added = m_items.insert(at, {number, description, description});
        inserted(index, *added);
    }
    for (size_t i = 0; i < m_items.size(); ++i) {
        Item& item = m_items[i];
        const auto found = descriptions.find(item.number);
        if (found != descriptions.end()) {
            item.description = found->second;
        }
        const QString toolTip = found != descriptions.end()
                                    ? item.description
                                    : QStringLiteral("(not present) ") + item.description;
        if (toolTip != item.toolTip) {
            item.toolTip = toolTip;
            toolTipChanged(static_cast<int>(i), toolTip);
        }
    }
}
