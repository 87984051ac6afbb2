#include "support/Marker.h"

#include "serial/QtSerialWsc32.h"

bool sendMarker(int comNumber) {
    QtSerialWsc32 serial;
    const int port = comNumber - 1;
    if (serial.SioReset(port, SioArg::RxQueue, SioArg::TxQueue) != 0)
        return false;
    const int sent = serial.SioPuts(port, MarkerFrame.constData(), int(MarkerFrame.size()));
    serial.SioDone(port);
    return sent == MarkerFrame.size();
}
