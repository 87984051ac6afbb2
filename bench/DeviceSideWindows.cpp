#include <QCommandLineParser>

#include "DeviceSide.h"
#include "device/ComPorts.h"
#include "device/Errors32.h"
#include "serial/SerialLibrary.h"

namespace {

const QString ComOption = QStringLiteral("com");

// A COM port that exists already; what arrives at its other end is not seen here.
class ComPortSide final : public DeviceSide {
  public:
    explicit ComPortSide(int number) : m_number(number) {}

    int comNumber() const override { return m_number; }
    QString describe() const override {
        return QStringLiteral("device COM%1, write times only").arg(m_number);
    }
    bool seesArrivals() const override { return false; }
    bool waitForFrames(size_t, double) const override { return false; }
    std::vector<Arrival> takeArrivals() override { return {}; }

  private:
    int m_number;
};

}  // namespace

QList<QCommandLineOption> DeviceSide::options() {
    return {QCommandLineOption(
        ComOption,
        QStringLiteral("The COM port to write to, one that exists and whose other end takes the "
                       "frames (under Wine a link dosdevices/com<n> to a pseudo-terminal: "
                       "scripts/windows/frame-timing). Arrivals are not measured."),
        QStringLiteral("n"))};
}

std::unique_ptr<DeviceSide> DeviceSide::open(const QCommandLineParser& parser, const QString&,
                                             QString* error) {
    if (!parser.isSet(ComOption)) {
        *error = QStringLiteral(
            "--com names the COM port to write to (Windows has no "
            "pseudo-terminals for the benchmark to make its own)");
        return nullptr;
    }
    bool valid = false;
    const int number = parser.value(ComOption).toInt(&valid);
    if (!valid || !ComPorts::isComNumber(number)) {
        *error = QStringLiteral("--com %1 is no COM number (1 to %2)")
                     .arg(parser.value(ComOption))
                     .arg(ComPorts::MaxComNumber);
        return nullptr;
    }
    // The port must open now, or every run would only report that it does not.
    const std::unique_ptr<Wsc32> serial = makeSerialLibrary();
    const int code = serial->SioReset(number - 1, SioArg::RxQueue, SioArg::TxQueue);
    if (code < 0) {
        *error = QStringLiteral("COM%1: %2")
                     .arg(number)
                     .arg(SerialErrorText(static_cast<int16_t>(code), *serial));
        return nullptr;
    }
    serial->SioDone(number - 1);
    return std::make_unique<ComPortSide>(number);
}
