#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>

#include "programs/ProgramError.h"

// One record of a light program: the six values in file order, and the line each came from.
struct ProgramRecord {
    static constexpr int FieldCount = 6;

    int16_t nSegmentID = 0;
    int16_t nStartFrequency = 0;
    int16_t nEndFrequency = 0;
    int16_t nStartBrightness = 0;
    int16_t nEndBrightness = 0;
    int16_t nDuration = 0;
    // The line of each value, counting from 1; a short line shifts a record across two lines.
    std::array<int, FieldCount> lines{};

    // The line the record starts on.
    int line() const { return lines[0]; }
};

// Reads a light-program file from its bytes: a header line, then records of six whole numbers.
// A comma and a line end (CR LF, LF or a lone CR) both end a value, so values are taken strictly
// in order whatever lines they are on. Empty (or blank) lines at the end of the file are the end
// of the file. Every failure is a ProgramError naming the line of the offending value; no input
// makes the reader crash or loop.
class ProgramReader {
  public:
    // The lowest and highest value a field may hold.
    static constexpr int MinValue = -32768;
    static constexpr int MaxValue = 32767;

    // The largest file read as a light program, in bytes: far more than any program needs (a
    // record a second for a day is about 2 MiB).
    static constexpr qint64 MaxFileSize = 16 * 1024 * 1024;

    // The bytes of a program file. A file that cannot be opened or read, or that is larger
    // than MaxFileSize, is a ProgramError without a line; no more than that is ever read.
    static QByteArray readFile(const QString& path);

    // Reads from the file's bytes, kept by the reader.
    explicit ProgramReader(QByteArray bytes);

    // Reads the first line whole and discards it; false when the file has no bytes at all, so
    // there is no header line.
    bool skipHeader();

    // Reads the rest of the line the reader is on whole, without its line end, and moves to
    // the start of the next line. At the end of the file it returns an empty text.
    QByteArray readLine();

    // Whether nothing but line ends and blanks is left, so no further record follows.
    bool atEnd() const;

    // Reads the next six values. Fails on a value that is not a whole number, one outside
    // -32768 to 32767, and a record cut short by the end of the file.
    ProgramRecord readRecord();

    // Reads the next six values as readRecord does, but goes on where readRecord fails, for
    // an editor that opens any file: a value that is not a whole number or lies out of range is
    // taken as the nearest whole number in range (0 when it is no number at all), and a record
    // cut short by the end of the file is filled with 0. Each such value adds the reader's own
    // failure to problems.
    ProgramRecord readRecordLeniently(QList<ProgramError>& problems);

    // The line the reader is on, counting from 1.
    int line() const { return m_line; }

  private:
    // One value's text and the line it is on; ended by a comma, a line end or the file's end.
    struct Field {
        QByteArray text;
        int line = 0;
    };

    Field readField();
    void skipLineEnd();
    static int16_t parseValue(const Field& field);
    // Reads the six fields of a record, telling problem of each one found; the strict reading
    // throws from it, the lenient one keeps it and reads on.
    ProgramRecord readFields(const std::function<void(const ProgramError&)>& problem);

    QByteArray m_bytes;
    qsizetype m_pos = 0;
    int m_line = 1;
};
