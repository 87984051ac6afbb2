// orlesse-program: checks, plots and plays Vantorb light programs from the command line, on the
// same reader, segment player, port connection and serial library as the Orlesse window.
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageWriter>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTextStream>
#include <memory>

#include "PlayCommand.h"
#include "analysis/ProgramCheck.h"
#include "analysis/Simulation.h"
#include "charts/ProgramPlot.h"
#include "charts/RecordChart.h"
#include "core/BuildInfo.h"
#include "device/ComPorts.h"
#include "programs/ProgramReader.h"
#include "records/RecordReport.h"

#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace {

constexpr int ExitUsage = 2;

const char* const Usage =
    "Usage: orlesse-program COMMAND ARGUMENTS\n"
    "\n"
    "Checks, plots and plays light programs for the Vantorb light: CSV files with a header\n"
    "line, then one record a line of six whole numbers (segment id, start Hz, end Hz, start\n"
    "level, end level, seconds).\n"
    "\n"
    "Commands:\n"
    "  check FILE...                       report every problem of each file, by line\n"
    "  plot FILE -o OUT.png [--size WxH]   draw frequency and level against time\n"
    "  play FILE --com N [--quiet] [--white]\n"
    "                                      play the program on COM port N\n"
    "\n"
    "orlesse-program COMMAND --help tells more about a command; orlesse-program --version\n"
    "prints the version.\n";

const char* const CheckUsage =
    "Usage: orlesse-program check FILE...\n"
    "\n"
    "Reads each file as the window reads it and plays every record through the segment player\n"
    "on a simulated clock (no device, no waiting). Reports every problem with its line, going\n"
    "on at the next line after an error:\n"
    "  error    what stops a run in the window (a record cut short, a value that is not a\n"
    "           whole number or lies outside -32768 to 32767, a start frequency below 1, a\n"
    "           frequency ramp that reaches 0 Hz, a 16-bit overflow) and a line that does not\n"
    "           hold six values; then where the window's run of the file ends\n"
    "  warning  what plays, but not as written: a ramp that stops short of its end value by\n"
    "           more than one step, a segment of 0 seconds, a first line that holds a record\n"
    "Then a summary per file: segments, length, frequency and level range as played.\n"
    "\n"
    "Exit status: 0 no file has an error, 1 a file has one, 2 a usage error or a file that\n"
    "cannot be read.\n";

const char* const PlotUsage =
    "Usage: orlesse-program plot FILE -o OUT.png [--size WxH]\n"
    "\n"
    "Draws the program as the device receives it, from a run on a simulated clock: the flash\n"
    "frequency (Hz) and the light level (0 to 255) against time, the segment boundaries with\n"
    "their ids, and the file name and length in the title. The image is 1200x600 pixels unless\n"
    "--size says otherwise; its format follows the name (png, jpg, bmp ...).\n"
    "\n"
    "Exit status: 0 written, 1 written but the run fails part-way (the title says where),\n"
    "2 a usage error, a file that cannot be read or an image that cannot be written.\n";

const char* const PlayUsage =
    "Usage: orlesse-program play FILE --com N [--quiet] [--white] [--record DIR]\n"
    "\n"
    "Plays the program on COM port N as the window's Start Program does (COM n is the link\n"
    "com<n> in ~/.local/share/Corvexa/Orlesse/ports/ when there is one, otherwise ttyS, ttyUSB\n"
    "or ttyACM by number) and darkens the light at the end. On a terminal a progress bar shows\n"
    "the segment, frequency, level and the time played and left; without a terminal, or with\n"
    "--quiet, it prints one line per segment. --white lights the white LEDs with the lit\n"
    "frames, as the window's \"Flash White LED's\" box does.\n"
    "Ctrl-C (SIGINT) or SIGTERM ends the program as End Program does: the segment stops within\n"
    "its current wait and the light goes dark.\n"
    "--record DIR keeps a session record of the run and writes it in DIR when the run ends,\n"
    "however it ends: <program>_<start>_events.tsv (a row per segment with the frequency\n"
    "asked and delivered and the lateness and jitter of the writes, and rows for pauses,\n"
    "device losses, stalls and the end), <program>_<start>_events.json (its data dictionary:\n"
    "what each column means, in what units), <program>_<start>_frames.tsv (a row per frame:\n"
    "due, write called and returned, result, lead, address, colour; gzipped past 4 MiB) and\n"
    "<program>_<start>_record.json (program, port, software, start time, how it ended). The\n"
    "times are of writes to the serial port, not of light at the device. A DIR that cannot be\n"
    "written is refused before anything is sent.\n"
    "\n"
    "Exit status: 0 played to its end, 1 the port cannot be opened or DIR cannot be written\n"
    "(nothing plays), the run fails (the message names the line) or its record cannot be\n"
    "written, 2 a usage error or a file that cannot be read, 130 ended by SIGINT, 143 ended by\n"
    "SIGTERM.\n";

const char* const ReportUsage =
    "Usage: orlesse-program report DIR_OR_JSON [--json] [--plot OUT.png [--size WxH]]\n"
    "\n"
    "Prints what a session record of `play --record` shows: for each segment its line and id,\n"
    "the frequency asked and delivered, their ratio, the lateness and jitter of the writes and\n"
    "the stalls; then the pauses, device losses and stalls, the totals and how the run ended.\n"
    "DIR_OR_JSON is the record's _record.json file or a folder, whose newest record is taken.\n"
    "\n"
    "How each figure of a segment is worked out, from the due times of the player's grid and\n"
    "the times the serial library's write was called:\n"
    "  Hz asked      the frequency asked, averaged over the segment from its first frame to\n"
    "                its end, each frequency step weighted by how long it held; paused time\n"
    "                is left out.\n"
    "  ratio         cycles delivered over cycles asked, both summed over the segment's\n"
    "                stretches (the parts between pauses). Cycles asked: the integral of the\n"
    "                frequency asked from the due time of the stretch's first lit frame\n"
    "                written to that of its last (each frame's frequency holding until the\n"
    "                next frame is due), plus one for each lit frame after the last that a\n"
    "                stall lasting to the stretch's end passed over. Cycles delivered: the\n"
    "                stretch's lit frames the library took, less one. On time it is exactly\n"
    "                1, for ramps too; each lit frame skipped in a stall or refused by the\n"
    "                library takes one cycle off. n/a when less than a cycle was asked.\n"
    "  Hz delivered  ratio times Hz asked.\n"
    "  late          the 99th percentile (nearest rank) and the maximum, over the segment's\n"
    "                paced frames, of write call minus due time, in ms.\n"
    "  jitter        the standard deviation (n - 1 in the denominator), over each two\n"
    "                consecutive lit frames of a stretch that the library both took, of the\n"
    "                interval between their write calls minus that between their due times,\n"
    "                in ms; n/a with fewer than two such pairs.\n"
    "  stalls        the stalls in the segment: times frames were not sent because their due\n"
    "                time had wholly passed before the player ran again.\n"
    "The totals are worked out the same way over the whole run: the cycles delivered over\n"
    "the cycles asked of every segment, the frequency asked over all the time played, and the\n"
    "lateness and period errors of every segment pooled.\n"
    "\n"
    "--json prints the same summary as JSON. --plot draws the frequency asked, the frequency\n"
    "delivered in each second (lit frames the library took, counted in one-second bins) and\n"
    "the level against time, with losses and stalls shaded (1200x600 pixels unless --size\n"
    "says otherwise).\n"
    "\n"
    "Exit status: 0 reported, 2 a usage error, a record that cannot be read or an image that\n"
    "cannot be written.\n";

int usageError(QTextStream& err, const QString& text, const char* usage) {
    err << "orlesse-program: " << text << "\n\n" << usage;
    err.flush();
    return ExitUsage;
}

bool wantsHelp(const QStringList& args) {
    return args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"));
}

int check(const QStringList& args, QTextStream& out, QTextStream& err) {
    if (wantsHelp(args)) {
        out << CheckUsage;
        return 0;
    }
    if (args.isEmpty()) {
        return usageError(err, QStringLiteral("check needs at least one file"), CheckUsage);
    }
    int status = 0;
    for (const QString& path : args) {
        QByteArray bytes;
        try {
            bytes = ProgramReader::readFile(path);
        } catch (const ProgramError& failure) {
            err << "orlesse-program: " << failure.message() << Qt::endl;
            status = ExitUsage;
            continue;
        }
        const CheckReport report = checkProgram(bytes);
        for (const QString& line : formatReport(path, report)) {
            out << line << '\n';
        }
        out.flush();
        if (report.hasErrors() && status == 0) {
            status = 1;
        }
    }
    return status;
}

// Reads the --size value at args[i]; false when it is not WIDTHxHEIGHT in range.
bool parseSize(const QStringList& args, qsizetype i, QSize& size) {
    static const QRegularExpression pattern(QStringLiteral("^(\\d{2,5})x(\\d{2,5})$"));
    const QRegularExpressionMatch match =
        i < args.size() ? pattern.match(args[i]) : QRegularExpressionMatch();
    if (!match.hasMatch() || match.captured(1).toInt() < 200 || match.captured(2).toInt() < 150 ||
        match.captured(1).toInt() > 10000 || match.captured(2).toInt() > 10000) {
        return false;
    }
    size = QSize(match.captured(1).toInt(), match.captured(2).toInt());
    return true;
}

// Whether images of the kind the name's suffix says can be written.
bool writableImage(const QString& path) {
    return QImageWriter::supportedImageFormats().contains(
        QFileInfo(path).suffix().toLower().toLatin1());
}

int plot(const QStringList& args, QTextStream& out, QTextStream& err) {
    if (wantsHelp(args)) {
        out << PlotUsage;
        return 0;
    }
    QString input;
    QString output;
    QSize size(1200, 600);
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == QLatin1String("-o") || arg == QLatin1String("--output")) {
            if (++i == args.size()) {
                return usageError(err, QStringLiteral("%1 needs a file name").arg(arg), PlotUsage);
            }
            output = args[i];
        } else if (arg == QLatin1String("--size")) {
            if (!parseSize(args, ++i, size)) {
                return usageError(
                    err, QStringLiteral("--size needs WIDTHxHEIGHT, 200x150 to 10000x10000"),
                    PlotUsage);
            }
        } else if (arg.startsWith(QLatin1Char('-')) || !input.isEmpty()) {
            return usageError(err, QStringLiteral("unexpected argument %1").arg(arg), PlotUsage);
        } else {
            input = arg;
        }
    }
    if (input.isEmpty() || output.isEmpty()) {
        return usageError(err, QStringLiteral("plot needs a file and -o OUT.png"), PlotUsage);
    }
    const QByteArray format = QFileInfo(output).suffix().toLower().toLatin1();
    if (!writableImage(output)) {
        return usageError(
            err, QStringLiteral("cannot write images of the kind \"%1\"; use .png").arg(output),
            PlotUsage);
    }

    QByteArray bytes;
    try {
        bytes = ProgramReader::readFile(input);
    } catch (const ProgramError& failure) {
        err << "orlesse-program: " << failure.message() << Qt::endl;
        return ExitUsage;
    }
    const ProgramTrace trace = traceProgram(bytes);
    const QImage image = plotProgram(trace, QFileInfo(input).fileName(), size);
    if (!image.save(output, format.constData())) {
        err << QStringLiteral("orlesse-program: cannot write %1").arg(output) << Qt::endl;
        return ExitUsage;
    }
    if (trace.failure) {
        err << QStringLiteral("orlesse-program: %1: %2 (the plot ends there)")
                   .arg(input, trace.failure->message())
            << Qt::endl;
        return 1;
    }
    return 0;
}

// The width of the terminal standard output goes to, for the progress bar; 0 when it goes
// elsewhere (a file, a pipe), and then play prints one line per segment.
int terminalColumns() {
#ifdef Q_OS_WIN
    // The bar redraws its line with an escape sequence, which a console takes only with
    // virtual terminal processing on (Windows 10 and later); a console that refuses it gets
    // the line-per-segment output. Terminals that reach the program through a pipe (mintty)
    // are not consoles and get it too.
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (output == INVALID_HANDLE_VALUE || output == nullptr || !GetConsoleMode(output, &mode)) {
        return 0;
    }
    if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) == 0 &&
        !SetConsoleMode(output, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) {
        return 0;
    }
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(output, &info)) {
        const int width = info.srWindow.Right - info.srWindow.Left + 1;
        if (width > 0) {
            return width;
        }
    }
    return 80;
#else
    if (::isatty(STDOUT_FILENO) == 0) {
        return 0;
    }
    winsize window{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &window) == 0 && window.ws_col > 0) {
        return window.ws_col;
    }
    return 80;
#endif
}

int play(const QStringList& args, QTextStream& out, QTextStream& err) {
    if (wantsHelp(args)) {
        out << PlayUsage;
        return 0;
    }
    PlayOptions options;
    bool quiet = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == QLatin1String("--com")) {
            bool ok = false;
            options.comNumber = ++i < args.size() ? args[i].toInt(&ok) : 0;
            if (!ok || options.comNumber < 1 || options.comNumber > ComPorts::MaxComNumber) {
                return usageError(
                    err,
                    QStringLiteral("--com needs a number from 1 to %1").arg(ComPorts::MaxComNumber),
                    PlayUsage);
            }
        } else if (arg == QLatin1String("--quiet") || arg == QLatin1String("-q")) {
            quiet = true;
        } else if (arg == QLatin1String("--white")) {
            options.white = true;
        } else if (arg == QLatin1String("--lsl")) {
            options.lsl = true;
        } else if (arg == QLatin1String("--lsl-frames")) {
            options.lsl = options.lslFrames = true;
        } else if (arg == QLatin1String("--record")) {
            if (++i == args.size() || args[i].isEmpty()) {
                return usageError(err, QStringLiteral("--record needs a folder"), PlayUsage);
            }
            options.recordFolder = args[i];
        } else if (arg.startsWith(QLatin1Char('-')) || !options.path.isEmpty()) {
            return usageError(err, QStringLiteral("unexpected argument %1").arg(arg), PlayUsage);
        } else {
            options.path = arg;
        }
    }
    if (options.path.isEmpty() || options.comNumber == 0) {
        return usageError(err, QStringLiteral("play needs a file and --com N"), PlayUsage);
    }
    options.columns = quiet ? 0 : terminalColumns();
    return playProgram(options, out, err);
}

int report(const QStringList& args, QTextStream& out, QTextStream& err) {
    if (wantsHelp(args)) {
        out << ReportUsage;
        return 0;
    }
    QString input;
    QString image;
    QSize size(1200, 600);
    bool json = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == QLatin1String("--json")) {
            json = true;
        } else if (arg == QLatin1String("--plot")) {
            if (++i == args.size()) {
                return usageError(err, QStringLiteral("--plot needs a file name"), ReportUsage);
            }
            image = args[i];
        } else if (arg == QLatin1String("--size")) {
            if (!parseSize(args, ++i, size)) {
                return usageError(
                    err, QStringLiteral("--size needs WIDTHxHEIGHT, 200x150 to 10000x10000"),
                    ReportUsage);
            }
        } else if (arg.startsWith(QLatin1Char('-')) || !input.isEmpty()) {
            return usageError(err, QStringLiteral("unexpected argument %1").arg(arg), ReportUsage);
        } else {
            input = arg;
        }
    }
    if (input.isEmpty()) {
        return usageError(err, QStringLiteral("report needs a record or its folder"), ReportUsage);
    }
    if (!image.isEmpty() && !writableImage(image)) {
        return usageError(
            err, QStringLiteral("cannot write images of the kind \"%1\"; use .png").arg(image),
            ReportUsage);
    }
    QString error;
    const std::optional<SessionFiles::Loaded> loaded = SessionFiles::read(input, &error);
    if (!loaded) {
        err << "orlesse-program: " << error << Qt::endl;
        return ExitUsage;
    }
    if (!image.isEmpty()) {
        const std::optional<std::vector<SessionFiles::FrameRow>> frames =
            SessionFiles::readFrames(*loaded, &error);
        if (!frames) {
            err << "orlesse-program: " << error << Qt::endl;
            return ExitUsage;
        }
        if (!plotRecord(*loaded, *frames, size).save(image)) {
            err << QStringLiteral("orlesse-program: cannot write %1").arg(image) << Qt::endl;
            return ExitUsage;
        }
    }
    if (json) {
        out << QJsonDocument(reportJson(*loaded)).toJson(QJsonDocument::Indented);
    } else {
        for (const QString& line : reportLines(*loaded)) {
            out << line << '\n';
        }
    }
    out.flush();
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    const QString command = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    // Plotting draws text, which needs a GUI application; it never shows a window.
    std::unique_ptr<QCoreApplication> app;
    bool drawing = command == QLatin1String("plot");
    for (int i = 2; i < argc && command == QLatin1String("report"); ++i) {
        drawing = drawing || qstrcmp(argv[i], "--plot") == 0;
    }
    if (drawing) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setOrganizationName(QStringLiteral("Corvexa"));
    QCoreApplication::setApplicationName(QStringLiteral("Orlesse"));

    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList args = QCoreApplication::arguments().mid(2);
    if (command == QLatin1String("check")) {
        return check(args, out, err);
    }
    if (command == QLatin1String("plot")) {
        return plot(args, out, err);
    }
    if (command == QLatin1String("play")) {
        return play(args, out, err);
    }
    if (command == QLatin1String("report")) {
        return report(args, out, err);
    }
    if (command == QLatin1String("--help") || command == QLatin1String("-h")) {
        out << Usage;
        return 0;
    }
    if (command == QLatin1String("--version") || command == QLatin1String("-v")) {
        out << "orlesse-program " << OrlesseVersion << "\n";
        return 0;
    }
    return usageError(err,
                      command.isEmpty() ? QStringLiteral("no command given")
                                        : QStringLiteral("unknown command %1").arg(command),
                      Usage);
}
