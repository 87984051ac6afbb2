#include "app/PortList.h"

#include "device/ComPorts.h"

int32_t SystemPortList::ListActiveCOMPorts(int32_t* buffer) {
    int32_t last = -1;
    for (const ComPorts::Info& port : ComPorts::present()) {
        if (last + 1 >= BufferSize) {
            break;
        }
        buffer[++last] = port.number;
    }
    return last;
}

QString SystemPortList::describe(int comNumber) {
    for (const ComPorts::Info& port : ComPorts::present()) {
        if (port.number == comNumber) {
            return port.description.isEmpty()
                       ? port.devicePath
                       : port.devicePath + QStringLiteral(" - ") + port.description;
        }
    }
    return ComPorts::devicePath(comNumber);
}
