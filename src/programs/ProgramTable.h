#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>

// A light-program file as a table, for an editor: the header line kept as it was read and one
// row of six values for each record, in file order. It is written back in the regular layout:
// the header, then one record a line, every line ended by CR LF.
struct ProgramTable {
    // The six values of a record, in file order (segment id, start Hz, end Hz, start level,
    // end level, seconds); each in -32768 to 32767.
    using Row = std::array<int, 6>;

    // The first line of a new file: column titles, which the window skips as it skips every
    // header.
    static const QByteArray NewHeader;

    QByteArray header = NewHeader;  // the first line, without its line end
    QList<Row> rows;                // the records
    // What the file held that the table does not keep as it was, each with its line ("Line 3:
    // ..."): a record across lines, more than six values on a line, a value that is not a
    // whole number. Empty for a file the table represents exactly.
    QStringList problems;

    // Reads a file's bytes the way the window reads them, record by record; where the window
    // would fail, the values are taken as ProgramReader::readRecordLeniently takes them and
    // the problem is listed.
    static ProgramTable fromBytes(const QByteArray& bytes);

    // The file in the regular layout.
    QByteArray toBytes() const;

    // The file line a row is written on (the header is line 1).
    static int lineOfRow(int row) { return row + 2; }
    // The row written on a file line, or -1 for the header and lines past the rows.
    int rowOfLine(int line) const;

    // Rows as CSV text, one record a line, for the clipboard.
    static QString rowsToText(const QList<Row>& rows);
    // Rows from CSV text: each non-blank line six whole numbers in range. Nothing when a line
    // is not.
    static std::optional<QList<Row>> rowsFromText(const QString& text);
};
