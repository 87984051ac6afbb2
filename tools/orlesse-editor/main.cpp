// orlesse-editor: writes Vantorb light programs as a table, shows what the device will
// receive as you type, and plays them on a COM port, on the same reader, check, plot, segment
// player and playback routine as orlesse-program and the Orlesse window.
#include <QApplication>
#include <QCommandLineParser>
#include <QStandardPaths>
#include <memory>

#include "EditorWindow.h"
#include "app/PortList.h"
#include "app/ProgramsFolder.h"
#include "core/BuildInfo.h"
#include "core/CommandLine.h"
#include "core/QtClockPump.h"
#include "serial/SerialLibrary.h"
#include "settings/ProcessINIFile.h"

#ifdef Q_OS_UNIX
#include <csignal>

#include "core/SignalWatcher.h"
#endif

int main(int argc, char* argv[]) {
    CommandLine::nameApplication(QStringLiteral("Orlesse Editor"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Writes light programs for the Vantorb LED light as a table, shows the check's findings "
        "and a chart of what the light will receive as you type, and plays them on a COM port "
        "with pause and stop. Escape stops a run and darkens the light.\n\n"
        "Flashing light between about 3 and 60 Hz can trigger seizures in people who are "
        "photosensitive: read the notice the editor shows at its first start."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("file"),
                                 QStringLiteral("The light program (CSV) to open."),
                                 QStringLiteral("[file]"));
    if (CommandLine::answerHelpOrVersion(parser, argc, argv)) {
        return 0;
    }

    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QLatin1String(OrlesseAppId) + QStringLiteral(".Editor"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/orlesse-editor.png")));
    parser.process(app);

    // The dialogs start where the window's Start Program dialog opens.
    const ProcessINIFile settingsFile = ProcessINIFile::forApplication();
    EditorWindow::Services services;
    services.ports = std::make_unique<SystemPortList>();
    services.serial = makeSerialLibrary();
    services.clock = std::make_unique<QtClockPump>();
    services.realtime = true;
    services.settingsPath =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
        QStringLiteral("/Corvexa/orlesse-editor.ini");
    services.programsFolder = ProgramsFolder::forApplication().dialogFolder(settingsFile);
    services.recordsFolder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) +
                             QStringLiteral("/Orlesse session records");
    EditorWindow window(std::move(services));

#ifdef Q_OS_UNIX
    // SIGTERM, SIGINT and SIGHUP end a run dark and close the window as a close request does.
    SignalWatcher termination({SIGTERM, SIGINT, SIGHUP});
    QObject::connect(&termination, &SignalWatcher::terminationRequested, &window, [&window] {
        window.stop();
        window.close();
    });
#endif
    window.show();
    window.showSafetyNoticeOnFirstStart();
    const QStringList files = parser.positionalArguments();
    if (!files.isEmpty()) {
        window.openFile(files.first());
    }
    return app.exec();
}
