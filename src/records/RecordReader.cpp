#include "records/RecordReader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonDocument>
#include <QStringList>
#include <algorithm>
#include <cmath>

#include "records/Gzip.h"
#include "records/RecordFolder.h"
#include "records/RecordSchema.h"

namespace SessionFiles {

namespace {

using namespace RecordSchema;

std::optional<QByteArray> readWhole(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    return file.readAll();
}

// A tab-separated table with a header line; fields are found by their column's name, and a
// column the table lacks reads as empty.
class Table {
  public:
    // Parses text (read from path, named in errors); on failure leaves the reason in error.
    static std::optional<Table> parse(const QByteArray& text, const QString& path, QString* error) {
        const QList<QByteArray> lines = text.split('\n');
        if (lines.isEmpty() || lines.first().trimmed().isEmpty()) {
            *error = QStringLiteral("%1 has no header line").arg(path);
            return std::nullopt;
        }
        Table table;
        const QStringList header =
            QString::fromUtf8(lines.first()).trimmed().split(QLatin1Char('\t'));
        for (qsizetype c = 0; c < header.size(); ++c) {
            table.m_columns.insert(header[c], c);
        }
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QString line = QString::fromUtf8(lines[i]);
            if (line.trimmed().isEmpty()) {
                continue;
            }
            QStringList fields = line.split(QLatin1Char('\t'));
            if (fields.size() != header.size()) {
                *error = QStringLiteral("%1:%2: %3 fields, not %4")
                             .arg(path)
                             .arg(i + 1)
                             .arg(fields.size())
                             .arg(header.size());
                return std::nullopt;
            }
            table.m_rows.push_back(std::move(fields));
            table.m_lines.push_back(i + 1);
        }
        return table;
    }

    size_t rows() const { return m_rows.size(); }
    // The file's line of a row.
    qsizetype lineOf(size_t row) const { return m_lines[row]; }
    // The field of a row in the named column; empty when the table has no such column.
    QString at(size_t row, QLatin1String column) const {
        const auto found = m_columns.constFind(column);
        return found == m_columns.cend() ? QString() : m_rows[row][*found];
    }

  private:
    QHash<QString, qsizetype> m_columns;
    std::vector<QStringList> m_rows;
    std::vector<qsizetype> m_lines;
};

double toNumber(const QString& text) {
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok ? value : SessionEvent::NotApplicable;
}

int64_t toCount(const QString& text) {
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok);
    return ok ? value : -1;
}

SessionTotals totalsFrom(const QJsonObject& json) {
    const auto value = [&](QLatin1String key) {
        const QJsonValue v = json.value(key);
        return v.isDouble() ? v.toDouble() : SessionEvent::NotApplicable;
    };
    SessionTotals totals;
    totals.seconds = value(Key::Seconds);
    totals.frames = json.value(Key::Frames).toInteger();
    totals.pacedFrames = json.value(Key::PacedFrames).toInteger();
    totals.litFrames = json.value(Key::LitFrames).toInteger();
    totals.failedWrites = json.value(Key::FailedWrites).toInteger();
    totals.askedHz = value(Key::AskedHz);
    totals.deliveredHz = value(Key::DeliveredHz);
    totals.ratio = value(Key::Ratio);
    totals.lateP99Ms = value(Key::LateP99Ms);
    totals.lateMaxMs = value(Key::LateMaxMs);
    totals.jitterMs = value(Key::JitterMs);
    totals.stalls = json.value(Key::Stalls).toInt();
    totals.skippedFrames = json.value(Key::SkippedFrames).toInteger();
    totals.deviceLosses = json.value(Key::DeviceLosses).toInt();
    totals.heldSeconds = json.value(Key::HeldSeconds).toDouble();
    totals.deviceLostAtEnd = json.value(Key::DeviceLostAtEnd).toBool();
    return totals;
}

// The events of the table's rows; nothing, with the reason in error, for a row of a kind
// that is none.
std::optional<std::vector<SessionEvent>> eventsOf(const Table& table, const QString& path,
                                                  QString* error) {
    std::vector<SessionEvent> events;
    for (size_t r = 0; r < table.rows(); ++r) {
        const auto field = [&](EventColumn column) { return table.at(r, name(column)); };
        SessionEvent event;
        const std::optional<EventKind> kind = eventKindNamed(field(EventColumn::TrialType));
        if (!kind) {
            *error = QStringLiteral("%1:%2: unknown trial_type \"%3\"")
                         .arg(path)
                         .arg(table.lineOf(r))
                         .arg(field(EventColumn::TrialType));
            return std::nullopt;
        }
        event.kind = *kind;
        event.onset = toNumber(field(EventColumn::Onset));
        event.duration = toNumber(field(EventColumn::Duration));
        event.line = static_cast<int>(std::max<int64_t>(toCount(field(EventColumn::Line)), 0));
        bool isId = false;
        if (const int id = field(EventColumn::SegmentId).toInt(&isId); isId) {
            event.segmentId = id;
        }
        if (event.kind == EventKind::Segment) {
            const auto value = [&](EventColumn column) {
                return static_cast<int16_t>(toCount(field(column)));
            };
            ProgramRecord record;
            record.nSegmentID = static_cast<int16_t>(event.segmentId.value_or(0));
            record.nStartFrequency = value(EventColumn::StartHz);
            record.nEndFrequency = value(EventColumn::EndHz);
            record.nStartBrightness = value(EventColumn::StartLevel);
            record.nEndBrightness = value(EventColumn::EndLevel);
            record.lines.fill(event.line);
            event.record = record;
        }
        event.litFrames = toCount(field(EventColumn::LitFrames));
        event.deliveredHz = toNumber(field(EventColumn::DeliveredHz));
        event.ratio = toNumber(field(EventColumn::Ratio));
        event.lateP99Ms = toNumber(field(EventColumn::LateP99Ms));
        event.lateMaxMs = toNumber(field(EventColumn::LateMaxMs));
        event.jitterMs = toNumber(field(EventColumn::JitterMs));
        event.askedHz = toNumber(field(EventColumn::AskedHz));
        event.stalls = static_cast<int>(toCount(field(EventColumn::Stalls)));
        event.skippedFrames = toCount(field(EventColumn::SkippedFrames));
        const QString note = field(EventColumn::Note);
        event.note = note == NotApplicable ? QString() : note;
        events.push_back(event);
    }
    return events;
}

}  // namespace

QString filePath(const Loaded& loaded, QLatin1String key) {
    return QFileInfo(loaded.jsonPath)
        .dir()
        .filePath(loaded.json.value(Key::Files).toObject().value(key).toString());
}

std::optional<Loaded> read(const QString& path, QString* error) {
    Loaded loaded;
    loaded.jsonPath = QFileInfo(path).isDir() ? newestRecordIn(path) : path;
    if (loaded.jsonPath.isEmpty()) {
        *error = QStringLiteral("%1 holds no record (*%2)").arg(path, Suffix::Record);
        return std::nullopt;
    }
    const std::optional<QByteArray> bytes = readWhole(loaded.jsonPath, error);
    if (!bytes) {
        return std::nullopt;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(*bytes, &parseError);
    if (!document.isObject()) {
        *error =
            QStringLiteral("%1 is not a record: %2").arg(loaded.jsonPath, parseError.errorString());
        return std::nullopt;
    }
    loaded.json = document.object();
    loaded.totals = totalsFrom(loaded.json.value(Key::Summary).toObject());

    const QString eventsPath = filePath(loaded, Key::Events);
    const std::optional<QByteArray> eventBytes = readWhole(eventsPath, error);
    if (!eventBytes) {
        return std::nullopt;
    }
    const std::optional<Table> table = Table::parse(*eventBytes, eventsPath, error);
    if (!table) {
        return std::nullopt;
    }
    std::optional<std::vector<SessionEvent>> events = eventsOf(*table, eventsPath, error);
    if (!events) {
        return std::nullopt;
    }
    loaded.events = std::move(*events);
    return loaded;
}

std::optional<std::vector<FrameRow>> readFrames(const Loaded& loaded, QString* error) {
    const QString path = filePath(loaded, Key::Frames);
    std::optional<QByteArray> bytes = readWhole(path, error);
    if (!bytes) {
        return std::nullopt;
    }
    if (path.endsWith(Suffix::Gzipped)) {
        bytes = Gzip::decompress(*bytes);
        if (!bytes) {
            *error = QStringLiteral("%1 is not a whole gzip file").arg(path);
            return std::nullopt;
        }
    }
    const std::optional<Table> table = Table::parse(*bytes, path, error);
    if (!table) {
        return std::nullopt;
    }
    std::vector<FrameRow> frames;
    frames.reserve(table->rows());
    for (size_t r = 0; r < table->rows(); ++r) {
        const auto field = [&](FrameColumn column) { return table->at(r, name(column)); };
        const auto whole = [&](FrameColumn column) {
            return static_cast<int>(std::max<int64_t>(toCount(field(column)), 0));
        };
        FrameRow frame;
        frame.due = toNumber(field(FrameColumn::Due));
        frame.called = toNumber(field(FrameColumn::Called));
        frame.returned = toNumber(field(FrameColumn::Returned));
        frame.result = static_cast<int>(toCount(field(FrameColumn::Result)));
        frame.lead = field(FrameColumn::Lead);
        frame.address = field(FrameColumn::Address).toInt(nullptr, 16);
        frame.colour = field(FrameColumn::Colour);
        frame.lit = static_cast<int>(toCount(field(FrameColumn::Lit)));
        frame.hz = whole(FrameColumn::Hz);
        frame.line = whole(FrameColumn::Line);
        frames.push_back(frame);
    }
    return frames;
}

}  // namespace SessionFiles
