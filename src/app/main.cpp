// Orlesse: the desktop controller for the Vantorb LED light.
#include <QApplication>
#include <QCommandLineParser>
#include <memory>

#include "app/PortList.h"
#include "app/ProcessINIFile.h"
#include "app/ProgramsFolder.h"
#include "app/frmMain.h"
#include "core/BuildInfo.h"
#include "core/CommandLine.h"
#include "device/QtSerialWsc32.h"

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#include <unistd.h>
#include <QSocketNotifier>
#include <csignal>
#endif

namespace {

#ifdef Q_OS_UNIX
int signalPipe[2] = {-1, -1};

void onSignal(int signalNumber) {
    const char byte = static_cast<char>(signalNumber);
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}
#endif

// SIGTERM, SIGINT and SIGHUP close the window as a close request from the window system
// does, so the settings are saved.
void closeOnSignals([[maybe_unused]] frmMain& window) {
#ifdef Q_OS_UNIX
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
        char byte = 0;
        [[maybe_unused]] const auto read = ::read(signalPipe[0], &byte, 1);
        window.close();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signalNumber : {SIGTERM, SIGINT, SIGHUP}) {
        sigaction(signalNumber, &action, nullptr);
    }
#endif
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication::setOrganizationName(QStringLiteral("Corvexa"));
    QCoreApplication::setApplicationName(QStringLiteral("Orlesse"));
    QCoreApplication::setApplicationVersion(QLatin1String(OrlesseVersion));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Drives the Vantorb LED light over a serial port: flashes, spins and fades "
                       "its colours and plays timed light programs from CSV files."));
    parser.addHelpOption();
    parser.addVersionOption();
    // The help and version texts need no window system: they are printed before the graphical
    // application exists.
    if (CommandLine::asksForHelpOrVersion(parser, argc, argv)) {
        const QCoreApplication textOnly(argc, argv);
        parser.process(textOnly);
        return 0;
    }

    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QLatin1String(OrlesseAppId));
    // Qt has taken its own options (-platform, -style ...); anything else is refused here.
    parser.process(app);

    const ProcessINIFile settingsFile = ProcessINIFile::forApplication();
    const QString programFolder = ProgramsFolder::forApplication().dialogFolder(settingsFile);
    frmMain window(std::make_unique<QtSerialWsc32>(), std::make_unique<SystemPortList>(),
                   settingsFile, programFolder);
    QObject::connect(&window, &frmMain::unloaded, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    closeOnSignals(window);
    window.show();
    return app.exec();
}
