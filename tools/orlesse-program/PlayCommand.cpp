#include "PlayCommand.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QTextStream>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <csignal>
#include <optional>
#include <utility>

#include "Command.h"
#include "Terminal.h"
#include "core/ClockText.h"
#include "core/QtClockPump.h"
#include "core/SignalWatcher.h"
#include "device/ComPorts.h"
#include "markers/MarkerOutlet.h"
#include "programs/ProgramReader.h"
#include "programs/SegmentPlayer.h"
#include "records/SessionFiles.h"
#include "runs/DeviceRun.h"
#include "serial/SerialLibrary.h"

namespace {

constexpr double RedrawSeconds = 0.1;
constexpr int EchoRoom = 3;

const char* const PlayUsage =
    "Usage: orlesse-program play FILE --com N [--quiet] [--white] [--record DIR]\n"
    "                            [--lsl [--lsl-frames]]\n"
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
    "--lsl publishes a Lab Streaming Layer marker stream of the run (needs liblsl);\n"
    "--lsl-frames adds a marker for every lit frame.\n"
    "\n"
    "Exit status: 0 played to its end, 1 the port cannot be opened or DIR cannot be written\n"
    "(nothing plays), the run fails (the message names the line) or its record cannot be\n"
    "written, 2 a usage error or a file that cannot be read, 130 ended by SIGINT, 143 ended by\n"
    "SIGTERM.\n";

// The records the window would read from the file, up to the first that cannot be read.
QList<ProgramRecord> readableRecords(const QByteArray& bytes) {
    QList<ProgramRecord> records;
    ProgramReader reader(bytes);
    if (!reader.skipHeader()) {
        return records;
    }
    try {
        while (!reader.atEnd()) {
            records.append(reader.readRecord());
        }
    } catch (const ProgramError&) {
        // The run fails here; the progress counts the records before it.
    }
    return records;
}

// The progress of a run: a bar redrawn in place on a terminal, or a line for each segment.
class Progress {
  public:
    Progress(QTextStream& out, int columns, QList<ProgramRecord> records, ClockPump& clock)
        : m_out(out), m_columns(columns), m_records(std::move(records)), m_clock(clock) {}

    void segmentStarting(const ProgramRecord& record) {
        const double now = m_clock.now();
        if (m_index < 0) {
            m_runStart = now;
        }
        ++m_index;
        m_segmentStart = now;
        m_record = record;
        m_frequency = record.nStartFrequency;
        m_level = SegmentPlayer::shownLevel(
            record.nStartBrightness,
            SegmentPlayer::rampsLevel(record.nStartBrightness, record.nEndBrightness));
        if (m_columns > 0) {
            draw(now);
            return;
        }
        m_out << QStringLiteral("segment %1 of %2 (line %3): %4 to %5 Hz, level %6 to %7, %8")
                     .arg(m_index + 1)
                     .arg(count())
                     .arg(record.line())
                     .arg(record.nStartFrequency)
                     .arg(record.nEndFrequency)
                     .arg(record.nStartBrightness)
                     .arg(record.nEndBrightness)
                     .arg(clockText(std::max<int>(record.nDuration, 0)))
              << Qt::endl;
    }

    void frameWritten(const SegmentPlayer::Frame& frame) {
        m_frequency = frame.frequency;
        m_level = frame.level;
        if (m_columns == 0) {
            return;
        }
        const double now = m_clock.now();
        if (now - m_lastDraw >= RedrawSeconds) {
            draw(now);
        }
    }

    // Ends the bar's line, so that what follows starts on a line of its own.
    void finish() {
        if (m_columns > 0 && m_index >= 0) {
            draw(m_clock.now());
            m_out << Qt::endl;
        }
    }

    // Seconds since the first segment started.
    double elapsed() const { return m_index < 0 ? 0 : m_clock.now() - m_runStart; }

  private:
    int count() const { return std::max<int>(static_cast<int>(m_records.size()), m_index + 1); }

    void draw(double now) {
        m_lastDraw = now;
        double remaining =
            std::max(0.0, m_segmentStart + std::max<int>(m_record.nDuration, 0) - now);
        for (qsizetype i = m_index + 1; i < m_records.size(); ++i) {
            remaining += std::max<int>(m_records[i].nDuration, 0);
        }
        m_out << '\r'
              << progressLine(m_index + 1, count(), m_frequency, m_level, now - m_runStart,
                              remaining, m_columns)
              << "\x1b[K";
        m_out.flush();
    }

    QTextStream& m_out;
    int m_columns;
    QList<ProgramRecord> m_records;
    ClockPump& m_clock;
    int m_index = -1;
    ProgramRecord m_record;
    double m_runStart = 0;
    double m_segmentStart = 0;
    double m_lastDraw = -1e9;
    int m_frequency = 0;
    int m_level = 0;
};

}  // namespace

QString progressLine(int segment, int segments, int frequency, int level, double elapsed,
                     double remaining, int columns) {
    const QString head = QStringLiteral("segment %1 of %2  %3 Hz  level %4  ")
                             .arg(segment)
                             .arg(segments)
                             .arg(frequency, 2)
                             .arg(level, 3);
    const QString tail =
        QStringLiteral("  %1 played, %2 left").arg(clockText(elapsed), clockText(remaining));
    // Room is left at the end of the line for the terminal's echo of ^C, which would otherwise
    // wrap the line and leave a copy of the bar behind.
    const int room = columns - EchoRoom;
    const int barWidth = room - static_cast<int>(head.size() + tail.size()) - 2;
    if (barWidth < 10) {
        // No room for a bar: as much of the rest as fits, in whole parts.
        const QString shorter[] = {
            head.trimmed() + tail,
            head.trimmed() + QStringLiteral("  %1 played").arg(clockText(elapsed)), head.trimmed()};
        for (const QString& text : shorter) {
            if (text.size() <= room) {
                return text;
            }
        }
        return head.left(std::max(room, 0));
    }
    const double total = elapsed + remaining;
    const double share = total > 0 ? std::clamp(elapsed / total, 0.0, 1.0) : 1.0;
    const int filled = static_cast<int>(std::floor(share * barWidth));
    return head + QLatin1Char('[') + QString(filled, QLatin1Char('#')) +
           QString(barWidth - filled, QLatin1Char('-')) + QLatin1Char(']') + tail;
}

int playProgram(const PlayOptions& options, QTextStream& out, QTextStream& err) {
    QByteArray bytes;
    try {
        bytes = ProgramReader::readFile(options.path);
    } catch (const ProgramError& failure) {
        err << "orlesse-program: " << failure.message() << Qt::endl;
        return 2;
    }

    // The record's folder is checked before anything is sent, so that no run loses its record.
    if (!options.recordFolder.isEmpty()) {
        QString error;
        if (!SessionFiles::prepareFolder(options.recordFolder, &error)) {
            err << QStringLiteral("orlesse-program: --record: %1; nothing was played").arg(error)
                << Qt::endl;
            return 1;
        }
    }

    const std::unique_ptr<Wsc32> serial = makeSerialLibrary();
    QtClockPump clock;
    // Real-time scheduling while the port is open, where the system grants it.
    DeviceRun::Device device(*serial, clock, true);

    // Ctrl-C and SIGTERM do what End Program does: the segment ends within its current wait,
    // then the dark frame goes out.
    int endedBy = 0;
    SignalWatcher termination({SIGINT, SIGTERM});
    QObject::connect(&termination, &SignalWatcher::terminationRequested, [&](int signalNumber) {
        if (endedBy == 0) {
            endedBy = signalNumber;
        }
        device.stop();
    });

    // The marker stream is opened before anything is sent, so that a run that was to be marked
    // never plays unmarked; it lives on until the record is written.
    std::unique_ptr<MarkerOutlet> markers;
    if (options.lsl) {
        QString error;
        markers = DeviceRun::openMarkerStream(options.comNumber, &error);
        if (!markers) {
            err << QStringLiteral("orlesse-program: --lsl: %1; nothing was played").arg(error)
                << Qt::endl;
            return 1;
        }
        // Markers sent before a recorder has connected never reach it: the run waits for one.
        out << QStringLiteral(
                   "markers: Lab Streaming Layer stream \"%1\" (source_id %2); "
                   "waiting for a recorder to connect (Ctrl-C gives up)")
                   .arg(markers->stream().name, markers->stream().sourceId)
            << Qt::endl;
        QEventLoop waiting;
        QTimer look;
        QObject::connect(&look, &QTimer::timeout, &waiting, [&] {
            if (markers->hasConsumers() || endedBy != 0) {
                waiting.quit();
            }
        });
        look.start(50);
        waiting.exec();
        if (endedBy != 0) {
            err << QStringLiteral(
                       "orlesse-program: ended by %1 before a recorder connected; "
                       "nothing was played")
                       .arg(endedBy == SIGINT ? QStringLiteral("SIGINT")
                                              : QStringLiteral("SIGTERM"))
                << Qt::endl;
            return 128 + endedBy;
        }
        out << "markers: a recorder is connected" << Qt::endl;
    }

    Progress progress(out, options.columns, readableRecords(bytes), clock);
    DeviceRun::Request request;
    request.bytes = bytes;
    request.programPath = options.path;
    request.software = QStringLiteral("orlesse-program");
    request.keepRecord = !options.recordFolder.isEmpty();
    if (markers) {
        request.publishOn(*markers);
        request.markEveryLitFrame = options.lslFrames;
    }
    request.hooks.segmentStarting = [&progress](const ProgramRecord& record) {
        progress.segmentStarting(record);
    };
    request.hooks.frameWritten = [&progress](const SegmentPlayer::Frame& frame) {
        progress.frameWritten(frame);
    };
    // A signal that came while the port was opening ends the run before its first frame.
    request.portOpened = [&] {
        if (endedBy != 0) {
            device.stop();
        }
    };
    request.endedBySignal = [&endedBy]() -> QString {
        if (endedBy == 0) {
            return {};
        }
        return endedBy == SIGINT ? QStringLiteral("SIGINT") : QStringLiteral("SIGTERM");
    };
    const DeviceRun::Outcome outcome = device.play(options.comNumber, options.white, request);
    if (!outcome.played()) {
        err << QStringLiteral("orlesse-program: cannot open COM%1: %2")
                   .arg(options.comNumber)
                   .arg(outcome.openError)
            << Qt::endl;
        return 1;
    }
    progress.finish();
    const std::optional<ProgramError>& failure = outcome.failure;
    const std::optional<RecordedRun>& recorded = outcome.record;

    int status = 0;
    if (failure) {
        err << QStringLiteral("orlesse-program: %1: %2").arg(options.path, failure->message())
            << Qt::endl;
        status = 1;
    } else if (endedBy != 0) {
        err << QStringLiteral("orlesse-program: ended by %1 after %2; the light is dark")
                   .arg(endedBy == SIGINT ? QStringLiteral("SIGINT") : QStringLiteral("SIGTERM"),
                        clockText(progress.elapsed()))
            << Qt::endl;
        status = 128 + endedBy;
    } else {
        out << QStringLiteral("done: %1 played; the light is dark")
                   .arg(clockText(progress.elapsed()))
            << Qt::endl;
    }
    if (recorded) {
        // Written with the port closed and the thread back at its normal priority.
        QString error;
        const std::optional<SessionFiles::Paths> paths =
            recorded->write(options.recordFolder, &error);
        if (!paths) {
            err << QStringLiteral("orlesse-program: the record is lost: %1").arg(error) << Qt::endl;
            return status == 0 ? 1 : status;
        }
        // On standard error when the run did not end well, beside its message.
        (status == 0 ? out : err)
            << QStringLiteral("record: %1").arg(QDir::toNativeSeparators(paths->json)) << Qt::endl;
    }
    return status;
}

int playCommand(const QStringList& arguments, QTextStream& out, QTextStream& err) {
    Command::Parser parser(PlayUsage, out, err);
    const QCommandLineOption comOption(QStringLiteral("com"), QStringLiteral("The COM port."),
                                       QStringLiteral("N"));
    const QCommandLineOption quietOption({QStringLiteral("q"), QStringLiteral("quiet")},
                                         QStringLiteral("A line per segment, no bar."));
    const QCommandLineOption whiteOption(QStringLiteral("white"),
                                         QStringLiteral("Light the white LEDs too."));
    const QCommandLineOption recordOption(
        QStringLiteral("record"), QStringLiteral("Keep a session record."), QStringLiteral("DIR"));
    const QCommandLineOption lslOption(QStringLiteral("lsl"),
                                       QStringLiteral("Publish a marker stream."));
    const QCommandLineOption lslFramesOption(QStringLiteral("lsl-frames"),
                                             QStringLiteral("A marker for every lit frame."));
    for (const QCommandLineOption& option :
         {comOption, quietOption, whiteOption, recordOption, lslOption, lslFramesOption}) {
        parser.add(option);
    }
    if (const std::optional<int> status = parser.parse(arguments)) {
        return *status;
    }
    PlayOptions options;
    if (parser.isSet(comOption)) {
        bool ok = false;
        options.comNumber = parser.value(comOption).toInt(&ok);
        if (!ok || options.comNumber < 1 || options.comNumber > ComPorts::MaxComNumber) {
            return parser.usageError(
                QStringLiteral("--com needs a number from 1 to %1").arg(ComPorts::MaxComNumber));
        }
    }
    if (parser.isSet(recordOption)) {
        options.recordFolder = parser.value(recordOption);
        if (options.recordFolder.isEmpty()) {
            return parser.usageError(QStringLiteral("--record needs a folder"));
        }
    }
    const QStringList files = parser.positional();
    if (files.size() > 1) {
        return parser.usageError(QStringLiteral("unexpected argument %1").arg(files[1]));
    }
    if (files.isEmpty() || options.comNumber == 0) {
        return parser.usageError(QStringLiteral("play needs a file and --com N"));
    }
    options.path = files.first();
    options.white = parser.isSet(whiteOption);
    // Markers of the frames come with the stream they are sent on.
    options.lslFrames = parser.isSet(lslFramesOption);
    options.lsl = parser.isSet(lslOption) || options.lslFrames;
    options.columns = parser.isSet(quietOption) ? 0 : terminalColumns();
    return playProgram(options, out, err);
}
