// orlesse-program check: every problem of each light-program file, by line.
#include <QTextStream>

#include "Command.h"
#include "analysis/ProgramCheck.h"
#include "programs/ProgramReader.h"

namespace {

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

}  // namespace

int checkCommand(const QStringList& arguments, QTextStream& out, QTextStream& err) {
    Command::Parser parser(CheckUsage, out, err);
    if (const std::optional<int> status = parser.parse(arguments)) {
        return *status;
    }
    const QStringList files = parser.positional();
    if (files.isEmpty()) {
        return parser.usageError(QStringLiteral("check needs at least one file"));
    }
    int status = 0;
    for (const QString& path : files) {
        QByteArray bytes;
        try {
            bytes = ProgramReader::readFile(path);
        } catch (const ProgramError& failure) {
            status = parser.fail(failure.message());
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
