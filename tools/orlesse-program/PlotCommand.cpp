// orlesse-program plot: a light program's frequency and level against time, as an image.
#include <QFileInfo>
#include <QImage>
#include <QTextStream>

#include "Command.h"
#include "analysis/Simulation.h"
#include "charts/ProgramPlot.h"
#include "programs/ProgramReader.h"

namespace {

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

}  // namespace

int plotCommand(const QStringList& arguments, QTextStream& out, QTextStream& err) {
    Command::Parser parser(PlotUsage, out, err);
    const QCommandLineOption outputOption({QStringLiteral("o"), QStringLiteral("output")},
                                          QStringLiteral("The image to write."),
                                          QStringLiteral("OUT.png"));
    const QCommandLineOption sizeOption(QStringLiteral("size"), QStringLiteral("The image size."),
                                        QStringLiteral("WxH"));
    parser.add(outputOption);
    parser.add(sizeOption);
    if (const std::optional<int> status = parser.parse(arguments)) {
        return *status;
    }
    const std::optional<QString> file = parser.onePositional();
    const std::optional<QSize> size = file ? parser.imageSize(sizeOption) : std::nullopt;
    if (!size) {
        return Command::ExitUsage;
    }
    const QString output = parser.value(outputOption);
    if (file->isEmpty() || output.isEmpty()) {
        return parser.usageError(QStringLiteral("plot needs a file and -o OUT.png"));
    }
    const QString& input = *file;
    if (!Command::writableImage(output)) {
        return parser.usageError(Command::imageKindError(output));
    }

    QByteArray bytes;
    try {
        bytes = ProgramReader::readFile(input);
    } catch (const ProgramError& failure) {
        return parser.fail(failure.message());
    }
    const ProgramTrace trace = traceProgram(bytes);
    const QImage image = plotProgram(trace, QFileInfo(input).fileName(), *size);
    if (!image.save(output, QFileInfo(output).suffix().toLower().toLatin1().constData())) {
        return parser.fail(QStringLiteral("cannot write %1").arg(output));
    }
    if (trace.failure) {
        return parser.fail(
            QStringLiteral("%1: %2 (the plot ends there)").arg(input, trace.failure->message()), 1);
    }
    return 0;
}
