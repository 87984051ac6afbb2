#include "programs/ProgramReader.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cmath>
#include <utility>

#include "core/Blanks.h"
#include "programs/ProgramError.h"

namespace {

constexpr char Comma = ',';
constexpr char CR = '\r';
constexpr char LF = '\n';
// Longest value text quoted in a message; longer text is cut and marked.
constexpr qsizetype MaxQuoted = 20;

bool isLineEnd(char c) {
    return c == CR || c == LF;
}

// The value's text for a message: single-byte characters, cut when long.
QString quoted(const QByteArray& text) {
    if (text.size() > MaxQuoted) {
        return QString::fromLatin1(text.left(MaxQuoted)) + QStringLiteral("...");
    }
    return QString::fromLatin1(text);
}

ProgramError tooLarge(const QString& name) {
    return {0, QStringLiteral("Cannot play %1: it is larger than %2 MiB, too large for a light "
                              "program")
                   .arg(name)
                   .arg(ProgramReader::MaxFileSize / (1024 * 1024))};
}

}  // namespace

QByteArray ProgramReader::readFile(const QString& path) {
    QFile file(path);
    const QString name = QDir::toNativeSeparators(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw ProgramError(0, QStringLiteral("Cannot open %1: %2").arg(name, file.errorString()));
    }
    if (!file.isSequential() && file.size() > MaxFileSize) {
        throw tooLarge(name);
    }
    // Read no more than a light program can hold, so that a video or a device file chosen by
    // mistake cannot fill the memory. Read in pieces: a device file has no size to check first.
    constexpr qint64 Piece = 64 * 1024;
    QByteArray bytes;
    while (bytes.size() <= MaxFileSize) {
        const QByteArray piece = file.read(Piece);
        if (piece.isEmpty()) {
            break;
        }
        bytes += piece;
    }
    if (bytes.size() > MaxFileSize) {
        throw tooLarge(name);
    }
    if (file.error() != QFileDevice::NoError) {
        throw ProgramError(0, QStringLiteral("Cannot read %1: %2").arg(name, file.errorString()));
    }
    return bytes;
}

ProgramReader::ProgramReader(QByteArray bytes) : m_bytes(std::move(bytes)) {}

bool ProgramReader::skipHeader() {
    if (m_bytes.isEmpty()) {
        return false;
    }
    readLine();
    return true;
}

QByteArray ProgramReader::readLine() {
    const qsizetype start = m_pos;
    while (m_pos < m_bytes.size() && !isLineEnd(m_bytes[m_pos])) {
        ++m_pos;
    }
    QByteArray text = m_bytes.mid(start, m_pos - start);
    skipLineEnd();
    return text;
}

bool ProgramReader::atEnd() const {
    for (qsizetype i = m_pos; i < m_bytes.size(); ++i) {
        const char c = m_bytes[i];
        if (!Blanks::isBlank(c) && !isLineEnd(c)) {
            return false;
        }
    }
    return true;
}

void ProgramReader::skipLineEnd() {
    if (m_pos >= m_bytes.size()) {
        return;
    }
    const char c = m_bytes[m_pos];
    if (c == CR) {
        ++m_pos;
        if (m_pos < m_bytes.size() && m_bytes[m_pos] == LF) {
            ++m_pos;
        }
        ++m_line;
    } else if (c == LF) {
        ++m_pos;
        ++m_line;
    }
}

ProgramReader::Field ProgramReader::readField() {
    Field field;
    field.line = m_line;
    const qsizetype start = m_pos;
    while (m_pos < m_bytes.size() && m_bytes[m_pos] != Comma && !isLineEnd(m_bytes[m_pos])) {
        ++m_pos;
    }
    field.text = m_bytes.mid(start, m_pos - start);
    if (m_pos < m_bytes.size()) {
        if (m_bytes[m_pos] == Comma) {
            ++m_pos;
        } else {
            skipLineEnd();
        }
    }
    return field;
}

int16_t ProgramReader::parseValue(const Field& field) {
    const QByteArray text = Blanks::trimmed(field.text);
    if (text.isEmpty()) {
        throw ProgramError(field.line, QStringLiteral("a value is missing"));
    }
    qsizetype i = 0;
    const bool negative = text[0] == '-';
    if (text[0] == '-' || text[0] == '+') {
        ++i;
    }
    if (i == text.size()) {
        throw ProgramError(field.line,
                           QStringLiteral("\"%1\" is not a whole number").arg(quoted(text)));
    }
    // The magnitude stops growing once it is out of range, so any number of digits is safe.
    long magnitude = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') {
            throw ProgramError(field.line,
                               QStringLiteral("\"%1\" is not a whole number").arg(quoted(text)));
        }
        if (magnitude <= MaxValue + 1) {
            magnitude = magnitude * 10 + (c - '0');
        }
    }
    const long value = negative ? -magnitude : magnitude;
    if (value < MinValue || value > MaxValue) {
        throw ProgramError(
            field.line,
            QStringLiteral("%1 is outside %2 to %3").arg(quoted(text)).arg(MinValue).arg(MaxValue));
    }
    return static_cast<int16_t>(value);
}

ProgramRecord ProgramReader::readRecord() {
    if (atEnd()) {
        throw ProgramError(m_line, QStringLiteral("the file ends where a record should start"));
    }
    return readFields([](const ProgramError& problem) { throw problem; });
}

ProgramRecord ProgramReader::readRecordLeniently(QList<ProgramError>& problems) {
    return readFields([&problems](const ProgramError& problem) { problems.append(problem); });
}

ProgramRecord ProgramReader::readFields(const std::function<void(const ProgramError&)>& problem) {
    std::array<int16_t, ProgramRecord::FieldCount> values{};
    ProgramRecord record;
    for (int i = 0; i < ProgramRecord::FieldCount; ++i) {
        if (atEnd()) {
            problem(ProgramError(i > 0 ? record.lines[i - 1] : m_line,
                                 QStringLiteral("the record has only %1 of its %2 values")
                                     .arg(i)
                                     .arg(ProgramRecord::FieldCount)));
            for (; i < ProgramRecord::FieldCount; ++i) {
                record.lines[i] = i > 0 ? record.lines[i - 1] : m_line;
            }
            break;
        }
        const Field field = readField();
        record.lines[i] = field.line;
        try {
            values[i] = parseValue(field);
        } catch (const ProgramError& failure) {
            problem(failure);
            // Read on: the nearest whole number in range stands for what could not be taken.
            bool isNumber = false;
            const double number = Blanks::trimmed(field.text).toDouble(&isNumber);
            values[i] = isNumber && std::isfinite(number)
                            ? static_cast<int16_t>(
                                  std::clamp<double>(std::round(number), MinValue, MaxValue))
                            : 0;
        }
    }
    record.nSegmentID = values[0];
    record.nStartFrequency = values[1];
    record.nEndFrequency = values[2];
    record.nStartBrightness = values[3];
    record.nEndBrightness = values[4];
    record.nDuration = values[5];
    return record;
}
