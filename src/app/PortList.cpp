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
    return ComPorts::describe(m_listed, comNumber);
}
