#include "programs/ProgramTable.h"

#include "programs/ProgramError.h"
#include "programs/ProgramReader.h"

namespace {

const QByteArray LineEnd = QByteArrayLiteral("\r\n");

ProgramTable::Row rowOf(const ProgramRecord& record) {
    return {record.nSegmentID,       record.nStartFrequency, record.nEndFrequency,
            record.nStartBrightness, record.nEndBrightness,  record.nDuration};
}

QByteArray recordText(const ProgramTable::Row& row) {
    QByteArray text;
    for (size_t i = 0; i < row.size(); ++i) {
        if (i > 0) {
            text += ',';
        }
        text += QByteArray::number(row[i]);
    }
    return text;
}

}  // namespace

const QByteArray ProgramTable::NewHeader =
    QByteArrayLiteral("Segment,Start Hz,End Hz,Start level,End level,Seconds");

ProgramTable ProgramTable::fromBytes(const QByteArray& bytes) {
    ProgramTable table;
    ProgramReader reader(bytes);
    if (bytes.isEmpty()) {
        table.problems << QStringLiteral("The file is empty: it has no header line");
        return table;
    }
    table.header = reader.readLine();
    int previousLastLine = 0;
    while (!reader.atEnd()) {
        QList<ProgramError> failures;
        const ProgramRecord record = reader.readRecordLeniently(failures);
        for (const ProgramError& failure : failures) {
            table.problems << failure.message();
        }
        if (record.lines.front() == previousLastLine) {
            table.problems << ProgramError(
                                  record.line(),
                                  QStringLiteral(
                                      "the record starts on the line of the record before it"))
                                  .message();
        }
        if (record.lines.back() != record.lines.front()) {
            table.problems << ProgramError(record.line(),
                                           QStringLiteral("the record runs on to line %1")
                                               .arg(record.lines.back()))
                                  .message();
        }
        previousLastLine = record.lines.back();
        table.rows.append(rowOf(record));
    }
    return table;
}

QByteArray ProgramTable::toBytes() const {
    QByteArray bytes = header + LineEnd;
    for (const Row& row : rows) {
        bytes += recordText(row) + LineEnd;
    }
    return bytes;
}

int ProgramTable::rowOfLine(int line) const {
    const int row = line - 2;
    return row >= 0 && row < rows.size() ? row : -1;
}

QString ProgramTable::rowsToText(const QList<Row>& rows) {
    QByteArray text;
    for (const Row& row : rows) {
        text += recordText(row) + '\n';
    }
    return QString::fromLatin1(text);
}

std::optional<QList<ProgramTable::Row>> ProgramTable::rowsFromText(const QString& text) {
    QList<Row> rows;
    ProgramReader lines(text.toLatin1());
    while (!lines.atEnd()) {
        const QByteArray line = lines.readLine();
        if (line.trimmed().isEmpty()) {
            continue;
        }
        if (line.count(',') != ProgramRecord::FieldCount - 1) {
            return std::nullopt;
        }
        try {
            rows.append(rowOf(ProgramReader(line).readRecord()));
        } catch (const ProgramError&) {
            return std::nullopt;
        }
    }
    if (rows.isEmpty()) {
        return std::nullopt;
    }
    return rows;
}
