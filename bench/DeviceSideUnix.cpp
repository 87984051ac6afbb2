#include <QCommandLineParser>

#include "DeviceSide.h"
#include "FrameArrivals.h"

namespace {

const QString ReaderOption = QStringLiteral("reader");

// A pseudo-terminal of the benchmark's own, published as COM 1.
class PseudoTerminalSide final : public DeviceSide {
  public:
    explicit PseudoTerminalSide(bool spin) : m_spin(spin) {}

    bool open(const QString& dataFolder, QString* error) {
        return m_arrivals.open(m_spin, error) &&
               m_arrivals.publish(dataFolder + QStringLiteral("/Corvexa/Orlesse/ports"), ComNumber,
                                  error);
    }
    int comNumber() const override { return ComNumber; }
    QString describe() const override {
        return m_spin ? QStringLiteral("reader spinning") : QStringLiteral("reader blocking");
    }
    bool seesArrivals() const override { return true; }
    bool waitForFrames(size_t count, double timeoutSeconds) const override {
        return m_arrivals.waitForFrames(count, timeoutSeconds);
    }
    std::vector<Arrival> takeArrivals() override {
        std::vector<Arrival> taken;
        for (FrameArrivals::Arrival& arrival : m_arrivals.takeArrivals()) {
            taken.push_back({arrival.time, std::move(arrival.frame)});
        }
        return taken;
    }

  private:
    static constexpr int ComNumber = 1;
    FrameArrivals m_arrivals;
    bool m_spin;
};

}  // namespace

QList<QCommandLineOption> DeviceSide::options() {
    return {QCommandLineOption(
        ReaderOption,
        QStringLiteral("How the device side reads: block (in poll, the default) or spin (reads "
                       "without blocking in a loop, taking a processor; arrival then leaves out "
                       "the reader's own wake-up)."),
        QStringLiteral("mode"), QStringLiteral("block"))};
}

std::unique_ptr<DeviceSide> DeviceSide::open(const QCommandLineParser& parser,
                                             const QString& dataFolder, QString* error) {
    const QString mode = parser.value(ReaderOption);
    if (mode != QLatin1String("block") && mode != QLatin1String("spin")) {
        *error = QStringLiteral("--reader is block or spin");
        return nullptr;
    }
    auto side = std::make_unique<PseudoTerminalSide>(mode == QLatin1String("spin"));
    if (!side->open(dataFolder, error)) {
        *error = QStringLiteral("pseudo-terminal: ") + *error;
        return nullptr;
    }
    return side;
}
