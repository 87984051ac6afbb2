#include "records/SessionFiles.h"

#include <zlib.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSysInfo>
#include <QTemporaryFile>
#include <cmath>

#include "core/BuildInfo.h"

namespace SessionFiles {

namespace {

const QString NotApplicable = QStringLiteral("n/a");

QString number(double value, int decimals) {
    return std::isnan(value) ? NotApplicable : QString::number(value, 'f', decimals);
}

QString count(int64_t value) {
    return value < 0 ? NotApplicable : QString::number(value);
}

QJsonValue jsonNumber(double value) {
    return std::isnan(value) ? QJsonValue() : QJsonValue(value);
}

QString leadName(uint8_t lead) {
    switch (lead) {
        case 1:
            return QStringLiteral("SOH");
        case 2:
            return QStringLiteral("STX");
        default:
            return QString::number(lead);
    }
}

QString hex2(int value) {
    return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
}

// The program's name as it can stand in a file name.
QString fileStem(const QString& programPath) {
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9.-]+"));
    QString stem = QFileInfo(programPath).completeBaseName().replace(unsafe, QStringLiteral("-"));
    return stem.isEmpty() ? QStringLiteral("program") : stem;
}

bool writeFile(const QString& path, const QByteArray& bytes, QString* error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

std::optional<QByteArray> readWhole(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    return file.readAll();
}

// The rows of a tab-separated table with a header line, each as column -> text.
std::optional<std::vector<QHash<QString, QString>>> parseTable(const QByteArray& text,
                                                               const QString& path,
                                                               QString* error) {
    const QList<QByteArray> lines = text.split('\n');
    if (lines.isEmpty() || lines.first().trimmed().isEmpty()) {
        *error = QStringLiteral("%1 has no header line").arg(path);
        return std::nullopt;
    }
    const QStringList header = QString::fromUtf8(lines.first()).trimmed().split(QLatin1Char('\t'));
    std::vector<QHash<QString, QString>> rows;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QString line = QString::fromUtf8(lines[i]);
        if (line.trimmed().isEmpty()) {
            continue;
        }
        const QStringList fields = line.split(QLatin1Char('\t'));
        if (fields.size() != header.size()) {
            *error = QStringLiteral("%1:%2: %3 fields, not %4")
                         .arg(path)
                         .arg(i + 1)
                         .arg(fields.size())
                         .arg(header.size());
            return std::nullopt;
        }
        QHash<QString, QString> row;
        for (qsizetype c = 0; c < header.size(); ++c) {
            row.insert(header[c], fields[c]);
        }
        rows.push_back(row);
    }
    return rows;
}

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
    const auto value = [&](const char* key) {
        const QJsonValue v = json.value(QLatin1String(key));
        return v.isDouble() ? v.toDouble() : SessionEvent::NotApplicable;
    };
    SessionTotals totals;
    totals.seconds = value("Seconds");
    totals.frames = json.value(QLatin1String("Frames")).toInteger();
    totals.pacedFrames = json.value(QLatin1String("PacedFrames")).toInteger();
    totals.litFrames = json.value(QLatin1String("LitFrames")).toInteger();
    totals.failedWrites = json.value(QLatin1String("FailedWrites")).toInteger();
    totals.askedHz = value("AskedHz");
    totals.deliveredHz = value("DeliveredHz");
    totals.ratio = value("Ratio");
    totals.lateP99Ms = value("LateP99Ms");
    totals.lateMaxMs = value("LateMaxMs");
    totals.stalls = json.value(QLatin1String("Stalls")).toInt();
    totals.skippedFrames = json.value(QLatin1String("SkippedFrames")).toInteger();
    totals.deviceLosses = json.value(QLatin1String("DeviceLosses")).toInt();
    totals.heldSeconds = json.value(QLatin1String("HeldSeconds")).toDouble();
    totals.deviceLostAtEnd = json.value(QLatin1String("DeviceLostAtEnd")).toBool();
    return totals;
}

// The newest record description in folder, or an empty text.
QString newestRecordIn(const QString& folder) {
    const QFileInfoList found =
        QDir(folder).entryInfoList({QStringLiteral("*_record.json")}, QDir::Files, QDir::Time);
    return found.isEmpty() ? QString() : found.first().filePath();
}

// The path of one of a record's files, as its description names it under Files (the files
// lie beside the description).
QString fileOf(const Loaded& loaded, const char* key) {
    return QFileInfo(loaded.jsonPath)
        .dir()
        .filePath(loaded.json.value(QLatin1String("Files"))
                      .toObject()
                      .value(QLatin1String(key))
                      .toString());
}

}  // namespace

const QStringList& eventColumns() {
    static const QStringList columns{
        QStringLiteral("onset"),          QStringLiteral("duration"),
        QStringLiteral("trial_type"),     QStringLiteral("line"),
        QStringLiteral("segment_id"),     QStringLiteral("start_hz"),
        QStringLiteral("end_hz"),         QStringLiteral("start_level"),
        QStringLiteral("end_level"),      QStringLiteral("lit_frames"),
        QStringLiteral("delivered_hz"),   QStringLiteral("ratio"),
        QStringLiteral("late_p99_ms"),    QStringLiteral("late_max_ms"),
        QStringLiteral("asked_hz"),       QStringLiteral("stalls"),
        QStringLiteral("skipped_frames"), QStringLiteral("note")};
    return columns;
}

const QStringList& frameColumns() {
    static const QStringList columns{QStringLiteral("due"),      QStringLiteral("called"),
                                     QStringLiteral("returned"), QStringLiteral("result"),
                                     QStringLiteral("lead"),     QStringLiteral("address"),
                                     QStringLiteral("colour"),   QStringLiteral("lit"),
                                     QStringLiteral("hz"),       QStringLiteral("line")};
    return columns;
}

QString timestampMeaning() {
    return QStringLiteral(
        "Every time is the controller's monotonic clock, in seconds from the first frame: when "
        "a frame was due, when the serial library's write call (SioPuts) was made and when it "
        "returned. These are the moments frames were handed to the serial port of this "
        "computer, not moments of light measured at the device: nothing is read back from the "
        "device, so the times cannot show the delay of the port, the cable or the light itself, "
        "nor whether the device showed a frame at all.");
}

bool prepareFolder(const QString& folder, QString* error) {
    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("cannot create the folder %1").arg(folder);
        return false;
    }
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".orlesse-record-XXXXXX")));
    if (!probe.open() || probe.write("x", 1) != 1 || !probe.flush()) {
        *error =
            QStringLiteral("cannot write in the folder %1: %2").arg(folder, probe.errorString());
        return false;
    }
    return true;
}

QByteArray eventsText(const std::vector<SessionEvent>& events) {
    QString text = eventColumns().join(QLatin1Char('\t')) + QLatin1Char('\n');
    for (const SessionEvent& event : events) {
        const std::optional<ProgramRecord>& record = event.record;
        const auto field = [&](int16_t ProgramRecord::*member) {
            return record ? QString::number((*record).*member) : NotApplicable;
        };
        QString note = event.note;
        note.replace(QLatin1Char('\t'), QLatin1Char(' '))
            .replace(QLatin1Char('\n'), QLatin1Char(' '));
        const QStringList fields{
            number(event.onset, 6),
            number(event.duration, 6),
            event.trialType,
            event.line > 0 ? QString::number(event.line) : NotApplicable,
            event.segmentId ? QString::number(*event.segmentId) : NotApplicable,
            field(&ProgramRecord::nStartFrequency),
            field(&ProgramRecord::nEndFrequency),
            field(&ProgramRecord::nStartBrightness),
            field(&ProgramRecord::nEndBrightness),
            count(event.litFrames),
            number(event.deliveredHz, 4),
            number(event.ratio, 6),
            number(event.lateP99Ms, 3),
            number(event.lateMaxMs, 3),
            number(event.askedHz, 4),
            count(event.stalls),
            count(event.skippedFrames),
            note.isEmpty() ? NotApplicable : note};
        text += fields.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    return text.toUtf8();
}

QByteArray framesText(const SessionRecord& record) {
    const FrameLog& frames = record.frames;
    const double origin = record.origin();
    QByteArray text = frameColumns().join(QLatin1Char('\t')).toUtf8() + '\n';
    text.reserve(static_cast<qsizetype>(frames.size()) * 64 + text.size());
    size_t step = 0;
    size_t segment = 0;
    int frequency = 0;
    int line = 0;
    for (size_t i = 0; i < frames.size(); ++i) {
        const RecordedFrame& frame = frames[i];
        while (segment < record.segments.size() && record.segments[segment].firstFrame <= i) {
            line = record.segments[segment++].record.line();
        }
        while (step < record.steps.size() && record.steps[step].frame <= i) {
            frequency = record.steps[step++].frequency;
        }
        const bool paced = frame.paced();
        text += (paced ? QByteArray::number(frame.due() - origin, 'f', 6) : "n/a") + '\t';
        text += QByteArray::number(frame.called - origin, 'f', 6) + '\t';
        text += QByteArray::number(frame.returned() - origin, 'f', 6) + '\t';
        text += QByteArray::number(frame.result) + '\t';
        text += leadName(frame.lead).toLatin1() + '\t';
        text += hex2(frame.address).toLatin1() + '\t';
        text += (hex2(frame.colour[0]) + hex2(frame.colour[1]) + hex2(frame.colour[2])).toLatin1() +
                '\t';
        text += (paced ? QByteArray(frame.lit() ? "1" : "0") : QByteArray("n/a")) + '\t';
        text += (paced ? QByteArray::number(frequency) : QByteArray("n/a")) + '\t';
        text += (paced && line > 0 ? QByteArray::number(line) : QByteArray("n/a")) + '\n';
    }
    return text;
}

QJsonObject totalsJson(const SessionTotals& totals) {
    return QJsonObject{
        {QStringLiteral("Seconds"), jsonNumber(totals.seconds)},
        {QStringLiteral("Frames"), static_cast<qint64>(totals.frames)},
        {QStringLiteral("PacedFrames"), static_cast<qint64>(totals.pacedFrames)},
        {QStringLiteral("LitFrames"), static_cast<qint64>(totals.litFrames)},
        {QStringLiteral("FailedWrites"), static_cast<qint64>(totals.failedWrites)},
        {QStringLiteral("AskedHz"), jsonNumber(totals.askedHz)},
        {QStringLiteral("DeliveredHz"), jsonNumber(totals.deliveredHz)},
        {QStringLiteral("Ratio"), jsonNumber(totals.ratio)},
        {QStringLiteral("LateP99Ms"), jsonNumber(totals.lateP99Ms)},
        {QStringLiteral("LateMaxMs"), jsonNumber(totals.lateMaxMs)},
        {QStringLiteral("Stalls"), totals.stalls},
        {QStringLiteral("SkippedFrames"), static_cast<qint64>(totals.skippedFrames)},
        {QStringLiteral("DeviceLosses"), totals.deviceLosses},
        {QStringLiteral("HeldSeconds"), jsonNumber(totals.heldSeconds)},
        {QStringLiteral("DeviceLostAtEnd"), totals.deviceLostAtEnd},
    };
}

QJsonObject eventJson(const SessionEvent& event) {
    const QStringList fields = QString::fromUtf8(eventsText({event}))
                                   .section(QLatin1Char('\n'), 1, 1)
                                   .split(QLatin1Char('\t'));
    QJsonObject json;
    const QStringList& columns = eventColumns();
    for (qsizetype i = 0; i < columns.size() && i < fields.size(); ++i) {
        const QString& text = fields[i];
        if (text == NotApplicable) {
            json.insert(columns[i], QJsonValue());
            continue;
        }
        bool isNumber = false;
        const double value = text.toDouble(&isNumber);
        json.insert(columns[i], isNumber ? QJsonValue(value) : QJsonValue(text));
    }
    return json;
}

QJsonObject describe(const SessionRecord& record, const SessionSummary& summary,
                     const Paths& paths) {
    const QFileInfo program(record.programPath);
    QJsonObject ended{
        {QStringLiteral("How"), record.ending.name()},
        {QStringLiteral("Text"), record.ending.text()},
        {QStringLiteral("Seconds"), jsonNumber(summary.totals.seconds)},
        {QStringLiteral("DeviceLostAtEnd"), summary.totals.deviceLostAtEnd},
    };
    if (record.ending.how == SessionEnding::How::Signal) {
        ended.insert(QStringLiteral("Signal"), record.ending.signalName);
    }
    if (record.ending.failure) {
        ended.insert(QStringLiteral("Message"), record.ending.failure->message());
        if (record.ending.failure->line() > 0) {
            ended.insert(QStringLiteral("Line"), record.ending.failure->line());
        }
    }
    return QJsonObject{
        {QStringLiteral("Software"), QStringLiteral("Orlesse")},
        {QStringLiteral("SoftwareProgram"), record.software},
        {QStringLiteral("SoftwareVersion"), QLatin1String(OrlesseVersion)},
        {QStringLiteral("OperatingSystem"),
         QStringLiteral("%1 (%2 %3, %4)")
             .arg(QSysInfo::prettyProductName(), QSysInfo::kernelType(), QSysInfo::kernelVersion(),
                  QSysInfo::currentCpuArchitecture())},
        {QStringLiteral("QtVersion"), QLatin1String(qVersion())},
        {QStringLiteral("ComPort"),
         QJsonObject{{QStringLiteral("Number"), record.comNumber},
                     {QStringLiteral("Name"), QStringLiteral("COM%1").arg(record.comNumber)},
                     {QStringLiteral("DevicePath"), record.devicePath},
                     {QStringLiteral("Identity"), record.deviceIdentity}}},
        {QStringLiteral("Program"),
         QJsonObject{{QStringLiteral("FileName"), program.fileName()},
                     {QStringLiteral("Path"), program.absoluteFilePath()},
                     {QStringLiteral("Size"), static_cast<qint64>(record.programBytes.size())},
                     {QStringLiteral("SHA256"),
                      QString::fromLatin1(
                          QCryptographicHash::hash(record.programBytes, QCryptographicHash::Sha256)
                              .toHex())},
                     {QStringLiteral("Text"), QString::fromLatin1(record.programBytes)}}},
        {QStringLiteral("StartTime"), record.startUtc().toString(Qt::ISODateWithMs)},
        {QStringLiteral("StartMonotonic"), record.origin()},
        {QStringLiteral("WhiteLEDs"), record.whiteLeds},
        {QStringLiteral("Ended"), ended},
        {QStringLiteral("TimestampMeaning"), timestampMeaning()},
        {QStringLiteral("Files"),
         QJsonObject{{QStringLiteral("Events"), QFileInfo(paths.events).fileName()},
                     {QStringLiteral("Frames"), QFileInfo(paths.frames).fileName()}}},
        {QStringLiteral("Summary"), totalsJson(summary.totals)},
    };
}

std::optional<Paths> write(const SessionRecord& record, const SessionSummary& summary,
                           const QString& folder, QString* error) {
    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("cannot create the folder %1").arg(folder);
        return std::nullopt;
    }
    const QDir dir(folder);
    const QString stem = fileStem(record.programPath) + QLatin1Char('_') +
                         record.startUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    QString base = stem;
    for (int n = 2; QFileInfo::exists(dir.filePath(base + QStringLiteral("_record.json"))); ++n) {
        base = stem + QLatin1Char('-') + QString::number(n);
    }

    QByteArray frames = framesText(record);
    Paths paths{dir.filePath(base + QStringLiteral("_events.tsv")),
                dir.filePath(base + QStringLiteral("_frames.tsv")),
                dir.filePath(base + QStringLiteral("_record.json"))};
    if (frames.size() > GzipAbove) {
        frames = gzip(frames);
        paths.frames += QStringLiteral(".gz");
    }
    const QByteArray json =
        QJsonDocument(describe(record, summary, paths)).toJson(QJsonDocument::Indented);
    // The description last: a record whose description is there is whole.
    if (!writeFile(paths.events, eventsText(summary.events), error) ||
        !writeFile(paths.frames, frames, error) || !writeFile(paths.json, json, error)) {
        return std::nullopt;
    }
    return paths;
}

std::optional<Loaded> read(const QString& path, QString* error) {
    Loaded loaded;
    loaded.jsonPath = QFileInfo(path).isDir() ? newestRecordIn(path) : path;
    if (loaded.jsonPath.isEmpty()) {
        *error = QStringLiteral("%1 holds no record (*_record.json)").arg(path);
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
    loaded.totals = totalsFrom(loaded.json.value(QLatin1String("Summary")).toObject());

    const QString eventsPath = fileOf(loaded, "Events");
    const std::optional<QByteArray> eventBytes = readWhole(eventsPath, error);
    if (!eventBytes) {
        return std::nullopt;
    }
    const auto rows = parseTable(*eventBytes, eventsPath, error);
    if (!rows) {
        return std::nullopt;
    }
    for (const QHash<QString, QString>& row : *rows) {
        SessionEvent event;
        event.trialType = row.value(QStringLiteral("trial_type"));
        event.onset = toNumber(row.value(QStringLiteral("onset")));
        event.duration = toNumber(row.value(QStringLiteral("duration")));
        event.line =
            static_cast<int>(std::max<int64_t>(toCount(row.value(QStringLiteral("line"))), 0));
        if (const int64_t id = toCount(row.value(QStringLiteral("segment_id")));
            id >= -32768 && row.value(QStringLiteral("segment_id")) != NotApplicable) {
            event.segmentId = static_cast<int>(id);
        }
        if (event.trialType == QLatin1String("segment")) {
            ProgramRecord record;
            record.nSegmentID = static_cast<int16_t>(event.segmentId.value_or(0));
            record.nStartFrequency =
                static_cast<int16_t>(toCount(row.value(QStringLiteral("start_hz"))));
            record.nEndFrequency =
                static_cast<int16_t>(toCount(row.value(QStringLiteral("end_hz"))));
            record.nStartBrightness =
                static_cast<int16_t>(toCount(row.value(QStringLiteral("start_level"))));
            record.nEndBrightness =
                static_cast<int16_t>(toCount(row.value(QStringLiteral("end_level"))));
            record.lines.fill(event.line);
            event.record = record;
        }
        event.litFrames = toCount(row.value(QStringLiteral("lit_frames")));
        event.deliveredHz = toNumber(row.value(QStringLiteral("delivered_hz")));
        event.ratio = toNumber(row.value(QStringLiteral("ratio")));
        event.lateP99Ms = toNumber(row.value(QStringLiteral("late_p99_ms")));
        event.lateMaxMs = toNumber(row.value(QStringLiteral("late_max_ms")));
        event.askedHz = toNumber(row.value(QStringLiteral("asked_hz")));
        event.stalls = static_cast<int>(toCount(row.value(QStringLiteral("stalls"))));
        event.skippedFrames = toCount(row.value(QStringLiteral("skipped_frames")));
        const QString note = row.value(QStringLiteral("note"));
        event.note = note == NotApplicable ? QString() : note;
        loaded.events.push_back(event);
    }
    return loaded;
}

std::optional<std::vector<FrameRow>> readFrames(const Loaded& loaded, QString* error) {
    const QString path = fileOf(loaded, "Frames");
    std::optional<QByteArray> bytes = readWhole(path, error);
    if (!bytes) {
        return std::nullopt;
    }
    if (path.endsWith(QLatin1String(".gz"))) {
        bytes = gunzip(*bytes);
        if (!bytes) {
            *error = QStringLiteral("%1 is not a whole gzip file").arg(path);
            return std::nullopt;
        }
    }
    const auto rows = parseTable(*bytes, path, error);
    if (!rows) {
        return std::nullopt;
    }
    std::vector<FrameRow> frames;
    frames.reserve(rows->size());
    for (const QHash<QString, QString>& row : *rows) {
        FrameRow frame;
        frame.due = toNumber(row.value(QStringLiteral("due")));
        frame.called = toNumber(row.value(QStringLiteral("called")));
        frame.returned = toNumber(row.value(QStringLiteral("returned")));
        frame.result = static_cast<int>(toCount(row.value(QStringLiteral("result"))));
        frame.lead = row.value(QStringLiteral("lead"));
        frame.address = row.value(QStringLiteral("address")).toInt(nullptr, 16);
        frame.colour = row.value(QStringLiteral("colour"));
        frame.lit = static_cast<int>(toCount(row.value(QStringLiteral("lit"))));
        frame.hz = static_cast<int>(std::max<int64_t>(toCount(row.value(QStringLiteral("hz"))), 0));
        frame.line =
            static_cast<int>(std::max<int64_t>(toCount(row.value(QStringLiteral("line"))), 0));
        frames.push_back(frame);
    }
    return frames;
}

QByteArray gzip(const QByteArray& bytes) {
    z_stream stream{};
    // Window bits 15 + 16: a gzip header and trailer around the deflate stream.
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) !=
        Z_OK) {
        return {};
    }
    QByteArray out(static_cast<qsizetype>(deflateBound(&stream, static_cast<uLong>(bytes.size()))),
                   Qt::Uninitialized);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.constData()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int status = deflate(&stream, Z_FINISH);
    out.resize(static_cast<qsizetype>(stream.total_out));
    deflateEnd(&stream);
    return status == Z_STREAM_END ? out : QByteArray();
}

std::optional<QByteArray> gunzip(const QByteArray& bytes) {
    z_stream stream{};
    // Window bits 15 + 32: gzip or zlib, told by the header.
    if (inflateInit2(&stream, 15 + 32) != Z_OK) {
        return std::nullopt;
    }
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.constData()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    QByteArray out;
    char buffer[64 * 1024];
    int status = Z_OK;
    while (status == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef*>(buffer);
        stream.avail_out = sizeof buffer;
        status = inflate(&stream, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END) {
            break;
        }
        out.append(buffer, static_cast<qsizetype>(sizeof buffer - stream.avail_out));
    }
    inflateEnd(&stream);
    if (status != Z_STREAM_END) {
        return std::nullopt;
    }
    return out;
}

}  // namespace SessionFiles
