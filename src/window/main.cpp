// Orlesse: the desktop controller for the Vantorb LED light.
#include <QApplication>
#include <QCommandLineParser>
#include <memory>

#include "app/PortList.h"
#include "app/ProgramsFolder.h"
#include "core/BuildInfo.h"
#include "core/CommandLine.h"
#include "serial/SerialLibrary.h"
#include "settings/ProcessINIFile.h"
#include "window/frmMain.h"

#include "core/SignalWatcher.h"

#ifdef Q_OS_UNIX
#include <csignal>
#endif

int main(int argc, char* argv[]) {
    CommandLine::nameApplication(QStringLiteral("Orlesse"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Drives the Vantorb LED light over a serial port: flashes, spins and fades "
                       "its colours and plays timed light programs from CSV files."));
    parser.addHelpOption();
    parser.addVersionOption();
    if (CommandLine::answerHelpOrVersion(parser, argc, argv)) {
        return 0;
    }

    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QLatin1String(OrlesseAppId));
    // Qt has taken its own options (-platform, -style ...); anything else is refused here.
    parser.process(app);

    const ProcessINIFile settingsFile = ProcessINIFile::forApplication();
    const QString programFolder = ProgramsFolder::forApplication().dialogFolder(settingsFile);
    frmMain window(makeSerialLibrary(), std::make_unique<SystemPortList>(), settingsFile,
                   programFolder);
    QObject::connect(&window, &frmMain::unloaded, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
#ifdef Q_OS_UNIX
    // SIGTERM, SIGINT and SIGHUP close the window as a close request from the window system
    // does, so the settings are saved.
    SignalWatcher termination({SIGTERM, SIGINT, SIGHUP});
    QObject::connect(&termination, &SignalWatcher::terminationRequested, &window,
                     [&window] { window.close(); });
#endif
    window.show();
    return app.exec();
}
