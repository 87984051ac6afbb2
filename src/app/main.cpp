// Orlesse: the desktop controller for the Vantorb LED light.
#include <sys/socket.h>
#include <unistd.h>
#include <QApplication>
#include <QSocketNotifier>
#include <csignal>
#include <memory>

#include "app/PortList.h"
#include "app/ProcessINIFile.h"
#include "app/frmMain.h"
#include "device/QtSerialWsc32.h"

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int signalNumber) {
    const char byte = static_cast<char>(signalNumber);
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

// SIGTERM, SIGINT and SIGHUP close the window as a close request from the window system
// does, so the settings are saved.
void closeOnSignals(frmMain& window) {
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
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Corvexa"));
    QCoreApplication::setApplicationName(QStringLiteral("Orlesse"));

    frmMain window(std::make_unique<QtSerialWsc32>(), std::make_unique<SystemPortList>(),
                   ProcessINIFile::forApplication(), QCoreApplication::applicationDirPath());
    QObject::connect(&window, &frmMain::unloaded, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    closeOnSignals(window);
    window.show();
    return app.exec();
}
