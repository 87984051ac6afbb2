// orlesse-program: checks, plots and plays Vantorb light programs from the command line, on the
// same reader, segment player, port connection and serial library as the Orlesse window, and
// reports and files the session records of its runs. This file picks the command; each
// command parses its own arguments (Command.h).
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QTextStream>
#include <memory>

#include "Command.h"
#include "core/BuildInfo.h"

namespace {

const char* const Usage =
    "Usage: orlesse-program COMMAND ARGUMENTS\n"
    "\n"
    "Checks, plots and plays light programs for the Vantorb light: CSV files with a header\n"
    "line, then one record a line of six whole numbers (segment id, start Hz, end Hz, start\n"
    "level, end level, seconds). Reports the session records of the runs, and files them into\n"
    "BIDS datasets.\n"
    "\n"
    "Commands:\n"
    "  check FILE...                       report every problem of each file, by line\n"
    "  plot FILE -o OUT.png [--size WxH]   draw frequency and level against time\n"
    "  play FILE --com N [--quiet] [--white] [--record DIR] [--lsl [--lsl-frames]]\n"
    "                                      play the program on COM port N\n"
    "  report DIR_OR_JSON [--json] [--plot OUT.png [--size WxH]]\n"
    "                                      print what a session record shows\n"
    "  report DIR --list [--json]          list the records of a folder, with the time\n"
    "                                      played per day and per week\n"
    "  bids RECORD --dataset DIR --sub LABEL --task LABEL [--ses LABEL] [--run N]\n"
    "                                      file a session record into a BIDS dataset\n"
    "\n"
    "orlesse-program COMMAND --help tells more about a command; orlesse-program --version\n"
    "prints the version.\n";

using CommandFunction = int (*)(const QStringList&, QTextStream&, QTextStream&);

// The command of a name; nullptr for a name that is none.
CommandFunction commandNamed(const QString& name) {
    static const std::pair<const char*, CommandFunction> commands[] = {{"check", checkCommand},
                                                                       {"plot", plotCommand},
                                                                       {"play", playCommand},
                                                                       {"report", reportCommand},
                                                                       {"bids", bidsCommand}};
    for (const auto& [commandName, function] : commands) {
        if (name == QLatin1String(commandName)) {
            return function;
        }
    }
    return nullptr;
}

// Whether the command draws an image: drawing text needs a GUI application (which never shows
// a window here).
bool draws(int argc, char* argv[]) {
    const QByteArray command = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    if (command == "plot") {
        return true;
    }
    for (int i = 2; i < argc && command == "report"; ++i) {
        if (QByteArray(argv[i]).startsWith("--plot")) {
            return true;
        }
    }
    return false;
}

int usageError(QTextStream& err, const QString& text) {
    err << "orlesse-program: " << text << "\n\n" << Usage;
    err.flush();
    return Command::ExitUsage;
}

}  // namespace

int main(int argc, char* argv[]) {
    std::unique_ptr<QCoreApplication> app;
    if (draws(argc, argv)) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setOrganizationName(QStringLiteral("Corvexa"));
    QCoreApplication::setApplicationName(QStringLiteral("Orlesse"));

    QTextStream out(stdout);
    QTextStream err(stderr);
    // The options before the command are the program's own; everything from the command on is
    // the command's to parse.
    QCommandLineParser parser;
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption helpOption({QStringLiteral("h"), QStringLiteral("help")},
                                        QStringLiteral("Print the commands."));
    const QCommandLineOption versionOption({QStringLiteral("v"), QStringLiteral("version")},
                                           QStringLiteral("Print the version."));
    parser.addOption(helpOption);
    parser.addOption(versionOption);
    const bool parsed = parser.parse(QCoreApplication::arguments());
    if (parser.isSet(helpOption)) {
        out << Usage;
        return 0;
    }
    if (!parsed) {
        return usageError(err, parser.errorText());
    }
    if (parser.isSet(versionOption)) {
        out << "orlesse-program " << OrlesseVersion << "\n";
        return 0;
    }
    const QStringList arguments = parser.positionalArguments();
    if (arguments.isEmpty()) {
        return usageError(err, QStringLiteral("no command given"));
    }
    const CommandFunction command = commandNamed(arguments.first());
    if (command == nullptr) {
        return usageError(err, QStringLiteral("unknown command %1").arg(arguments.first()));
    }
    return command(arguments.mid(1), out, err);
}
