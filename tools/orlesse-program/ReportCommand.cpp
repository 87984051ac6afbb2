// orlesse-program report: what a session record shows, as text, JSON or a chart; with --list,
// the history of a folder of records.
#include <QImage>
#include <QJsonDocument>
#include <QTextStream>

#include "Command.h"
#include "charts/RecordChart.h"
#include "records/RecordReport.h"
#include "records/SessionHistory.h"

namespace {

const char* const ReportUsage =
    "Usage: orlesse-program report DIR_OR_JSON [--json] [--plot OUT.png [--size WxH]]\n"
    "       orlesse-program report DIR --list [--json]\n"
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
    "--list prints the history of the records in the folder DIR instead: a row per record with\n"
    "its date and time (local), the program, the time played (paused time left out), how it\n"
    "ended and its ratio; then the time played per day and per ISO week. --json prints the same\n"
    "as JSON (Records, Days, Weeks).\n"
    "\n"
    "Exit status: 0 reported, 2 a usage error, a record that cannot be read or an image that\n"
    "cannot be written.\n";

// Prints the history of the records in folder.
int listHistory(const Command::Parser& parser, const QString& folder, bool json, QTextStream& out) {
    QString error;
    const std::optional<SessionHistory> history = readHistory(folder, &error);
    if (!history) {
        return parser.fail(error);
    }
    if (json) {
        out << QJsonDocument(historyJson(*history)).toJson(QJsonDocument::Indented);
    } else {
        for (const QString& line : historyLines(*history)) {
            out << line << '\n';
        }
    }
    out.flush();
    return 0;
}

}  // namespace

int reportCommand(const QStringList& arguments, QTextStream& out, QTextStream& err) {
    Command::Parser parser(ReportUsage, out, err);
    const QCommandLineOption jsonOption(QStringLiteral("json"), QStringLiteral("Print JSON."));
    const QCommandLineOption plotOption(QStringLiteral("plot"), QStringLiteral("Draw the run."),
                                        QStringLiteral("OUT.png"));
    const QCommandLineOption sizeOption(QStringLiteral("size"), QStringLiteral("The image size."),
                                        QStringLiteral("WxH"));
    const QCommandLineOption listOption(QStringLiteral("list"),
                                        QStringLiteral("The history of a folder of records."));
    for (const QCommandLineOption& option : {jsonOption, plotOption, sizeOption, listOption}) {
        parser.add(option);
    }
    if (const std::optional<int> status = parser.parse(arguments)) {
        return *status;
    }
    const std::optional<QString> record = parser.onePositional();
    const std::optional<QSize> size = record ? parser.imageSize(sizeOption) : std::nullopt;
    if (!size) {
        return Command::ExitUsage;
    }
    if (record->isEmpty()) {
        return parser.usageError(QStringLiteral("report needs a record or its folder"));
    }
    const QString& input = *record;
    const bool json = parser.isSet(jsonOption);
    if (parser.isSet(listOption)) {
        if (parser.isSet(plotOption)) {
            return parser.usageError(QStringLiteral("--list draws nothing; leave out --plot"));
        }
        return listHistory(parser, input, json, out);
    }
    const QString image = parser.value(plotOption);
    if (!image.isEmpty() && !Command::writableImage(image)) {
        return parser.usageError(Command::imageKindError(image));
    }
    QString error;
    const std::optional<SessionFiles::Loaded> loaded = SessionFiles::read(input, &error);
    if (!loaded) {
        return parser.fail(error);
    }
    if (!image.isEmpty()) {
        const std::optional<std::vector<SessionFiles::FrameRow>> frames =
            SessionFiles::readFrames(*loaded, &error);
        if (!frames) {
            return parser.fail(error);
        }
        if (!plotRecord(*loaded, *frames, *size).save(image)) {
            return parser.fail(QStringLiteral("cannot write %1").arg(image));
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
