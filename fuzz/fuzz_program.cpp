// Light programs: any bytes are a program file. Reading every record ends in a bounded number
// of steps, and every failure names a line of the file (from 1 to its last line); only a file
// without any bytes has no header. The editor's table reads any file too, and what it writes
// reads back as the same table with nothing to report. Any broken promise aborts.
#include <QByteArray>
#include <cstdint>
#include <cstdlib>

#include "programs/ProgramError.h"
#include "programs/ProgramReader.h"
#include "programs/ProgramTable.h"

namespace {

[[noreturn]] void fail() {
    std::abort();
}

// The file's number of lines: one more than its line ends (CR LF counts once).
int lineCount(const QByteArray& bytes) {
    int count = 1;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const bool crlf = bytes.at(i) == '\r' && i + 1 < bytes.size() && bytes.at(i + 1) == '\n';
        if (bytes.at(i) == '\n' || (bytes.at(i) == '\r' && !crlf)) {
            ++count;
        }
    }
    return count;
}

void checkLine(int line, int lastLine) {
    if (line < 1 || line > lastLine) {
        fail();
    }
}

// The table of any file, written in the regular layout, reads back exactly.
void checkTable(const QByteArray& bytes) {
    const ProgramTable table = ProgramTable::fromBytes(bytes);
    const QByteArray written = table.toBytes();
    const ProgramTable again = ProgramTable::fromBytes(written);
    // A header that holds a line end of its own cannot come back; nothing else may differ.
    if (table.header.contains('\r') || table.header.contains('\n')) {
        fail();
    }
    if (again.rows != table.rows || again.header != table.header || !again.problems.isEmpty() ||
        again.toBytes() != written) {
        fail();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    checkTable(bytes);
    const int lastLine = lineCount(bytes);
    ProgramReader reader(bytes);
    if (!reader.skipHeader()) {
        if (!bytes.isEmpty()) {
            fail();
        }
        return 0;
    }
    // Every record takes at least one byte, so there cannot be more records than bytes.
    qsizetype records = 0;
    int previousLine = 1;
    try {
        while (!reader.atEnd()) {
            if (++records > bytes.size()) {
                fail();
            }
            const ProgramRecord record = reader.readRecord();
            for (const int line : record.lines) {
                checkLine(line, lastLine);
                if (line < previousLine) {
                    fail();
                }
                previousLine = line;
            }
        }
        // Past the end, a read fails on a line of the file too.
        reader.readRecord();
        fail();
    } catch (const ProgramError& error) {
        checkLine(error.line(), lastLine);
        if (error.line() < previousLine || error.reason().isEmpty()) {
            fail();
        }
    }
    return 0;
}
