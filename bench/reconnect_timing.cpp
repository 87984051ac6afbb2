// reconnect_timing: how long after a lost device comes back the first frame reaches it.
//
// The real controller flashes through the real serial library on a pseudo-terminal published as
// COM200, on the real flash timer and clock and event pump. In each repetition the device is
// removed (the terminal closed and its link taken away, as a simulator that ends does), stays
// away for a while, and is created again under the same link. The program measures the time
// from the link's return to the first write the library accepts and to the frame's arrival on
// the device side, and compares it with the library's check interval. How long the device stays
// away varies over one check interval, so the return falls at every point of the library's
// schedule of looks.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

#include "FrameArrivals.h"
#include "FrameProbes.h"
#include "TimingStats.h"
#include "app/Controller.h"
#include "app/PortList.h"
#include "core/QtClockPump.h"
#include "core/QtFlashTimer.h"
#include "device/ComPorts.h"
#include "serial/QtSerialWsc32.h"

namespace {

constexpr int ComNumber = 200;

// The window services of a window nobody looks at; a message box is printed and counted.
class QuietWindow final : public MainWindowServices {
  public:
    int whiteBoxValue() override { return 0; }
    void setTitle(const QString&) override {}
    void showMessage(const QString& text) override {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
        ++messages;
    }
    QString chooseOpenFile(const QString&, const QString&) override { return {}; }
    void addListItem(ListId, const QString&, const QString&) override {}
    void selectListItem(ListId, int) override {}
    void closeWindow() override {}

    int messages = 0;  // message boxes shown
};

// Handles events for the given seconds.
void runFor(double seconds) {
    QEventLoop loop;
    QTimer::singleShot(static_cast<int>(seconds * 1000.0), Qt::PreciseTimer, &loop,
                       &QEventLoop::quit);
    loop.exec();
}

// Handles events until the device has a frame or timeout seconds have passed.
bool runUntilArrival(const FrameArrivals& device, double timeout) {
    const double until = steadySeconds() + timeout;
    while (device.arrivedCount() == 0 && steadySeconds() < until) {
        runFor(0.001);
    }
    return device.arrivedCount() > 0;
}

// What one repetition measured, in seconds.
struct Sample {
    double away = 0;          // how long the device was gone
    double toWrite = NAN;     // from its return to the first write the library accepted
    double toArrival = NAN;   // from its return to that frame's arrival
    size_t failedWrites = 0;  // writes while it was away
    double closing = 0;       // the first of them, which noticed the loss and closed the port
    double slowestLook = 0;   // the slowest of the others: a look for the device, or none
    double reopening = 0;     // the first accepted write, which reopened the port
};

struct Device {
    std::unique_ptr<FrameArrivals> pty;
    QString link;
};

bool plugIn(Device& device, QString* error) {
    device.pty = std::make_unique<FrameArrivals>();
    return device.pty->open(false, error) &&
           device.pty->publish(ComPorts::portsFolder(), ComNumber, error);
}

void unplug(Device& device) {
    // The link goes with the terminal, as the simulator's does, so it never leads to a
    // terminal that another program opens meanwhile.
    QFile::remove(device.link);
    device.pty.reset();
}

QString ms(double seconds) {
    return QString::number(seconds * 1000.0, 'f', 1);
}

QString us(double seconds) {
    return QString::number(seconds * 1e6, 'f', 0);
}

}  // namespace

int main(int argc, char* argv[]) {
    // The serial library finds COM<n> through links in the per-user data folder: point that at
    // a temporary folder before anything reads it.
    QTemporaryDir dataHome;
    if (!dataHome.isValid()) {
        std::fprintf(stderr, "cannot create a temporary folder\n");
        return 1;
    }
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome.path()));
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("reconnect_timing"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Time from a lost device's return to the first frame it receives, while "
                       "the controller flashes."));
    parser.addHelpOption();
    const QCommandLineOption repsOption(QStringLiteral("reps"),
                                        QStringLiteral("Repetitions per rate (default 10)."),
                                        QStringLiteral("n"), QStringLiteral("10"));
    const QCommandLineOption ratesOption(
        QStringLiteral("rates"), QStringLiteral("Comma-separated flash rates (default 10,50)."),
        QStringLiteral("list"), QStringLiteral("10,50"));
    parser.addOptions({repsOption, ratesOption});
    parser.process(app);
    const int reps = std::max(1, parser.value(repsOption).toInt());
    QList<int> rates;
    for (const QString& rate : parser.value(ratesOption).split(QLatin1Char(','))) {
        if (rate.toInt() >= 1 && rate.toInt() <= 50) {
            rates.append(rate.toInt());
        }
    }

    QTextStream out(stdout);
    const double interval = QtSerialWsc32::ReturnCheckInterval;
    out << QStringLiteral("check interval %1 ms; ratio = time / check interval\n\n")
               .arg(ms(interval));
    out << QStringLiteral("%1 %2 %3 | %4 %5 %6 | %7 %8 %9 %10\n")
               .arg(QStringLiteral("rate"), 4)
               .arg(QStringLiteral("rep"), 4)
               .arg(QStringLiteral("away ms"), 8)
               .arg(QStringLiteral("failed writes"), 13)
               .arg(QStringLiteral("closing us"), 10)
               .arg(QStringLiteral("slowest look us"), 15)
               .arg(QStringLiteral("reopen us"), 9)
               .arg(QStringLiteral("to write ms"), 11)
               .arg(QStringLiteral("to arrival ms"), 13)
               .arg(QStringLiteral("ratio"), 6);
    out.flush();

    std::mt19937 random(20240611);
    bool failed = false;
    std::vector<std::pair<int, std::vector<double>>> summaries;
    for (const int rate : rates) {
        QTemporaryDir folder;
        DueRecordingClock clock(std::make_unique<QtClockPump>());
        StampingWsc32 serial(std::make_unique<QtSerialWsc32>(), clock);
        QtFlashTimer timer;
        QuietWindow window;
        NoPorts ports;
        Controller controller(
            serial, timer, clock, window, ports,
            ProcessINIFile(folder.path(), folder.path(), [](const QString&) { return true; }),
            folder.path());
        Device device;
        device.link = ComPorts::portsFolder() + QStringLiteral("/com%1").arg(ComNumber);
        QString error;
        if (!plugIn(device, &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
        controller.Form_Load();
        controller.ComboCOMPort_Click(ComPorts::displayName(ComNumber));
        controller.ComboFlashRate_Click(rate - 1);
        controller.cmdFlashOrlesse_Click();
        if (window.messages > 0 || !runUntilArrival(*device.pty, 5.0)) {
            std::fprintf(stderr, "the device gets no frames\n");
            return 1;
        }

        std::uniform_real_distribution<double> extra(0.0, interval);
        std::vector<double> arrivals;
        for (int rep = 1; rep <= reps; ++rep) {
            runFor(0.3);
            Sample sample;
            const double removed = steadySeconds();
            unplug(device);
            runFor(0.5 + extra(random));
            if (!plugIn(device, &error)) {
                std::fprintf(stderr, "%s\n", qPrintable(error));
                return 1;
            }
            const double back = steadySeconds();
            sample.away = back - removed;
            const bool arrived = runUntilArrival(*device.pty, 5.0);
            for (const StampingWsc32::Write& write : serial.writes()) {
                if (write.called < removed) {
                    continue;
                }
                const double took = write.returned - write.called;
                if (write.result < 0) {
                    // The first failing write notices the loss and closes the port; the
                    // others fail at once or look for the device.
                    if (sample.failedWrites++ == 0) {
                        sample.closing = took;
                    } else {
                        sample.slowestLook = std::max(sample.slowestLook, took);
                    }
                } else if (std::isnan(sample.toWrite)) {
                    sample.toWrite = write.returned - back;
                    sample.reopening = took;
                }
            }
            if (arrived) {
                sample.toArrival = device.pty->takeArrivals().front().time - back;
                arrivals.push_back(sample.toArrival);
            }
            failed = failed || !arrived || window.messages > 0;
            out << QStringLiteral("%1 %2 %3 | %4 %5 %6 | %7 %8 %9 %10\n")
                       .arg(rate, 4)
                       .arg(rep, 4)
                       .arg(ms(sample.away), 8)
                       .arg(sample.failedWrites, 13)
                       .arg(us(sample.closing), 10)
                       .arg(us(sample.slowestLook), 15)
                       .arg(us(sample.reopening), 9)
                       .arg(ms(sample.toWrite), 11)
                       .arg(arrived ? ms(sample.toArrival) : QStringLiteral("none"), 13)
                       .arg(QString::number(sample.toArrival / interval, 'f', 2), 6);
            out.flush();
        }
        controller.cmdStop_Click();
        summaries.emplace_back(rate, arrivals);
    }

    out << QStringLiteral("\n%1 %2 %3 %4 %5\n")
               .arg(QStringLiteral("rate"), 4)
               .arg(QStringLiteral("returns"), 8)
               .arg(QStringLiteral("to arrival ms: median    max"), 30)
               .arg(QStringLiteral("ratio max"), 10)
               .arg(QStringLiteral("goal < 500 ms"), 14);
    for (const auto& [rate, arrivals] : summaries) {
        const ErrorSummary summary = summarize(arrivals);
        const bool met = !arrivals.empty() && summary.max < 0.5;
        failed = failed || !met;
        out << QStringLiteral("%1 %2 %3 %4 %5 %6\n")
                   .arg(rate, 4)
                   .arg(arrivals.size(), 8)
                   .arg(ms(summary.median), 22)
                   .arg(ms(summary.max), 7)
                   .arg(QString::number(summary.max / interval, 'f', 2), 10)
                   .arg(met ? QStringLiteral("ok") : QStringLiteral("MISS"), 14);
    }
    return failed ? 1 : 0;
}
