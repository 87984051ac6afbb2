// vantorb-sim: a stand-in for the Vantorb light on a pseudo-terminal. It publishes the
// terminal as COM port com<n> in the controller's ports folder, decodes the frames the
// controller writes, shows the light in a window (or runs headless) and can log every frame.

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>

#include <sys/prctl.h>
#include <csignal>
#include <cstdio>
#include <memory>

#include "DeviceLine.h"
#include "PortLink.h"
#include "SimWindow.h"
#include "Simulator.h"
#include "core/BuildInfo.h"
#include "core/CommandLine.h"
#include "core/SignalWatcher.h"
#include "device/ComPorts.h"

namespace {

int fail(const QString& message) {
    std::fprintf(stderr, "vantorb-sim: %s\n", qPrintable(message));
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    // The controller takes the published link only from a process of this name; setting it
    // keeps that true when the program file is renamed or started through a link.
    prctl(PR_SET_NAME, SimulatorProcessName);
    QCoreApplication::setApplicationName(QStringLiteral("vantorb-sim"));
    QCoreApplication::setApplicationVersion(QLatin1String(OrlesseVersion));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Simulates a Vantorb light on a pseudo-terminal published as a COM port."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption comOption(
        QStringLiteral("com"),
        QStringLiteral("COM number to publish (1-%1); default: first free from 99 down.")
            .arg(ComPorts::MaxComNumber),
        QStringLiteral("N"));
    const QCommandLineOption logOption(QStringLiteral("log"),
                                       QStringLiteral("Write one line per frame to FILE."),
                                       QStringLiteral("FILE"));
    const QCommandLineOption headlessOption(QStringLiteral("headless"),
                                            QStringLiteral("Run without a window."));
    parser.addOptions({comOption, logOption, headlessOption});

    // The window needs a display; headless runs and the help and version texts must not, so
    // they get a plain core application.
    const bool textOnly = CommandLine::asksForHelpOrVersion(parser, argc, argv);
    const bool headless = textOnly || parser.isSet(headlessOption);
    std::unique_ptr<QCoreApplication> app;
    if (headless) {
        app = std::make_unique<QCoreApplication>(argc, argv);
    } else {
        app = std::make_unique<QApplication>(argc, argv);
    }
    parser.process(*app);

    int comNumber = 0;
    if (parser.isSet(comOption)) {
        bool ok = false;
        comNumber = parser.value(comOption).toInt(&ok);
        if (!ok || !ComPorts::isComNumber(comNumber)) {
            return fail(
                QStringLiteral("--com needs a number from 1 to %1").arg(ComPorts::MaxComNumber));
        }
    }

    // Watch for termination before the link exists, so no signal can leave it behind.
    SignalWatcher signalWatcher({SIGTERM, SIGINT, SIGHUP});
    QObject::connect(&signalWatcher, &SignalWatcher::terminationRequested, app.get(),
                     [] { QCoreApplication::quit(); });

    Simulator simulator;
    QString error;
    if (parser.isSet(logOption) && !simulator.openLog(parser.value(logOption), &error)) {
        return fail(error);
    }

    DeviceLine device;
    if (!device.open(&error)) {
        return fail(error);
    }
    QObject::connect(&device, &DeviceLine::received, &simulator, &Simulator::receive);

    PortLink link(PortLink::defaultFolder());
    if (!link.publish(comNumber, device.handlePath(), &error)) {
        return fail(error);
    }
    std::printf("vantorb-sim: COM%d -> %s\n", link.number(), qPrintable(device.slavePath()));
    std::fflush(stdout);

    std::unique_ptr<SimWindow> window;
    if (!headless) {
        window = std::make_unique<SimWindow>(simulator, link.number(), device.slavePath());
        window->show();
    }
    const int rc = QCoreApplication::exec();
    window.reset();
    link.remove();
    return rc;
}
