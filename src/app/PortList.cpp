#include "app/PortList.h"

#include "device/ComPorts.h"

int32_t SystemPortList::ListActiveCOMPorts(int32_t* buffer) {
    m_listed = ComPorts::present();
    int32_t last = -1;
    for (const ComPorts::Info& port : m_listed) {
        if (last + 1 >= BufferSize) {
            break;
        }
        buffer[++last] = port.number;
    }
    return last;
}

QString SystemPortList::describe(int comNumber) {
    for (const ComPorts::Info& port : m_listed) {
        if (port.number == comNumber) {
            return port.description.isEmpty() ? port.devicePath : port.description;
        }
    }
    return ComPorts::devicePath(comNumber);
}
