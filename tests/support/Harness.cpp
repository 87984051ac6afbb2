#include "support/Harness.h"

#include "device/Frames.h"

namespace {

std::unique_ptr<Controller> makeController(Harness& h) {
    h.timer.attach(&h.clock);
    h.serial.setClock([&h] { return h.clock.now(); });
    return std::make_unique<Controller>(h.serial, h.timer, h.clock, h.window, h.ports,
                                        ProcessINIFile(h.dir.path(), h.dir.path() + "/config"),
                                        h.dir.path());
}

}  // namespace

Harness::Harness()
    : controller(makeController(*this)),
      state(controller->state()),
      settings(controller->settings()) {}

QByteArray Harness::soh(const QString& address, const QString& colour) {
    return Frames::toBytes(Frames::build(Frames::Lead::SOH, address, colour));
}

QByteArray Harness::stx(const QString& address, const QString& colour) {
    return Frames::toBytes(Frames::build(Frames::Lead::STX, address, colour));
}

QList<QByteArray> Harness::written() const {
    QList<QByteArray> frames;
    for (const RecordingWsc32::Call& call : serial.writes()) {
        frames.append(call.bytes);
    }
    return frames;
}

void Harness::openPortAndClear() {
    controller->port().OpenPort();
    serial.clearCalls();
}
