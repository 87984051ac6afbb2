#include "records/RecordWriter.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>
#include <QSysInfo>
#include <cmath>

#include "core/BuildInfo.h"
#include "records/FrameWalk.h"
#include "records/Gzip.h"
#include "records/RecordSchema.h"

namespace SessionFiles {

namespace {

using namespace RecordSchema;

QString number(double value, int decimals) {
    return std::isnan(value) ? QString(NotApplicable) : QString::number(value, 'f', decimals);
}

QString count(int64_t value) {
    return value < 0 ? QString(NotApplicable) : QString::number(value);
}

QJsonValue jsonNumber(double value) {
    return std::isnan(value) ? QJsonValue() : QJsonValue(value);
}

QByteArray leadName(uint8_t lead) {
    switch (lead) {
        case 1:
            return "SOH";
        case 2:
            return "STX";
        default:
            return QByteArray::number(lead);
    }
}

QByteArray hex2(int value) {
    return QByteArray::number(value, 16).rightJustified(2, '0').toUpper();
}

// One field of an event's row, as the events table has it.
QString eventField(const SessionEvent& event, EventColumn column) {
    const std::optional<ProgramRecord>& record = event.record;
    const auto field = [&](int16_t ProgramRecord::*member) {
        return record ? QString::number((*record).*member) : QString(NotApplicable);
    };
    switch (column) {
        case EventColumn::Onset:
            return number(event.onset, 6);
        case EventColumn::Duration:
            return number(event.duration, 6);
        case EventColumn::TrialType:
            return eventKindName(event.kind);
        case EventColumn::Line:
            return event.line > 0 ? QString::number(event.line) : QString(NotApplicable);
        case EventColumn::SegmentId:
            return event.segmentId ? QString::number(*event.segmentId) : QString(NotApplicable);
        case EventColumn::StartHz:
            return field(&ProgramRecord::nStartFrequency);
        case EventColumn::EndHz:
            return field(&ProgramRecord::nEndFrequency);
        case EventColumn::StartLevel:
            return field(&ProgramRecord::nStartBrightness);
        case EventColumn::EndLevel:
            return field(&ProgramRecord::nEndBrightness);
        case EventColumn::LitFrames:
            return count(event.litFrames);
        case EventColumn::DeliveredHz:
            return number(event.deliveredHz, 4);
        case EventColumn::Ratio:
            return number(event.ratio, 6);
        case EventColumn::LateP99Ms:
            return number(event.lateP99Ms, 3);
        case EventColumn::LateMaxMs:
            return number(event.lateMaxMs, 3);
        case EventColumn::JitterMs:
            return number(event.jitterMs, 3);
        case EventColumn::AskedHz:
            return number(event.askedHz, 4);
        case EventColumn::Stalls:
            return count(event.stalls);
        case EventColumn::SkippedFrames:
            return count(event.skippedFrames);
        case EventColumn::Note:
            break;
    }
    QString note = event.note;
    note.replace(QLatin1Char('\t'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    return note.isEmpty() ? QString(NotApplicable) : note;
}

bool writeFile(const QString& path, const QByteArray& bytes, QString* error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

}  // namespace

QString timestampMeaning() {
    return QStringLiteral(
        "Every time is the controller's monotonic clock, in seconds from the first frame: when "
        "a frame was due, when the serial library's write call (SioPuts) was made and when it "
        "returned. These are the moments frames were handed to the serial port of this "
        "computer, not moments of light measured at the device: nothing is read back from the "
        "device, so the times cannot show the delay of the port, the cable or the light itself, "
        "nor whether the device showed a frame at all.");
}

QByteArray eventsText(const std::vector<SessionEvent>& events) {
    QString text = eventColumnNames().join(QLatin1Char('\t')) + QLatin1Char('\n');
    for (const SessionEvent& event : events) {
        for (const ColumnDescription& described : eventColumns()) {
            text += eventField(event, described.column);
            text += described.column == EventColumn::Note ? QLatin1Char('\n') : QLatin1Char('\t');
        }
    }
    return text.toUtf8();
}

QJsonObject eventsSidecar() {
    QJsonObject sidecar;
    for (const ColumnDescription& described : eventColumns()) {
        QJsonObject entry{{Key::LongName, QLatin1String(described.longName)},
                          {Key::Description, QLatin1String(described.description)}};
        if (described.units != nullptr) {
            entry.insert(Key::Units, QLatin1String(described.units));
        }
        if (described.column == EventColumn::TrialType) {
            QJsonObject levels;
            for (const EventKind kind : AllEventKinds) {
                levels.insert(eventKindName(kind), eventKindDescription(kind));
            }
            entry.insert(Key::Levels, levels);
        }
        sidecar.insert(described.name, entry);
    }
    return sidecar;
}

QByteArray framesText(const SessionRecord& record) {
    const FrameLog& frames = record.frames;
    const double origin = record.origin();
    QByteArray text = frameColumnNames().join(QLatin1Char('\t')).toUtf8() + '\n';
    text.reserve(static_cast<qsizetype>(frames.size()) * 64 + text.size());
    const QByteArray none(NotApplicable.data(), NotApplicable.size());
    FrameWalk walk(record);
    for (size_t i = 0; i < frames.size(); ++i) {
        walk.to(i);
        const RecordedFrame& frame = walk.frame();
        const bool paced = frame.paced();
        for (size_t c = 0; c < FrameColumnCount; ++c) {
            if (c > 0) {
                text += '\t';
            }
            switch (static_cast<FrameColumn>(c)) {
                case FrameColumn::Due:
                    text += paced ? QByteArray::number(frame.due() - origin, 'f', 6) : none;
                    break;
                case FrameColumn::Called:
                    text += QByteArray::number(frame.called - origin, 'f', 6);
                    break;
                case FrameColumn::Returned:
                    text += QByteArray::number(frame.returned() - origin, 'f', 6);
                    break;
                case FrameColumn::Result:
                    text += QByteArray::number(frame.result);
                    break;
                case FrameColumn::Lead:
                    text += leadName(frame.lead);
                    break;
                case FrameColumn::Address:
                    text += hex2(frame.address);
                    break;
                case FrameColumn::Colour:
                    text += hex2(frame.colour[0]) + hex2(frame.colour[1]) + hex2(frame.colour[2]);
                    break;
                case FrameColumn::Lit:
                    text += paced ? QByteArray(frame.lit() ? "1" : "0") : none;
                    break;
                case FrameColumn::Hz:
                    text += paced ? QByteArray::number(walk.frequency()) : none;
                    break;
                case FrameColumn::Line:
                    text += paced && walk.line() > 0 ? QByteArray::number(walk.line()) : none;
                    break;
            }
        }
        text += '\n';
    }
    return text;
}

QJsonObject totalsJson(const SessionTotals& totals) {
    return QJsonObject{
        {Key::Seconds, jsonNumber(totals.seconds)},
        {Key::Frames, static_cast<qint64>(totals.frames)},
        {Key::PacedFrames, static_cast<qint64>(totals.pacedFrames)},
        {Key::LitFrames, static_cast<qint64>(totals.litFrames)},
        {Key::FailedWrites, static_cast<qint64>(totals.failedWrites)},
        {Key::AskedHz, jsonNumber(totals.askedHz)},
        {Key::DeliveredHz, jsonNumber(totals.deliveredHz)},
        {Key::Ratio, jsonNumber(totals.ratio)},
        {Key::LateP99Ms, jsonNumber(totals.lateP99Ms)},
        {Key::LateMaxMs, jsonNumber(totals.lateMaxMs)},
        {Key::JitterMs, jsonNumber(totals.jitterMs)},
        {Key::Stalls, totals.stalls},
        {Key::SkippedFrames, static_cast<qint64>(totals.skippedFrames)},
        {Key::DeviceLosses, totals.deviceLosses},
        {Key::HeldSeconds, jsonNumber(totals.heldSeconds)},
        {Key::DeviceLostAtEnd, totals.deviceLostAtEnd},
    };
}

QJsonObject eventJson(const SessionEvent& event) {
    QJsonObject json;
    for (const ColumnDescription& described : eventColumns()) {
        const QString text = eventField(event, described.column);
        if (text == NotApplicable) {
            json.insert(described.name, QJsonValue());
            continue;
        }
        bool isNumber = false;
        const double value = text.toDouble(&isNumber);
        json.insert(described.name, isNumber ? QJsonValue(value) : QJsonValue(text));
    }
    return json;
}

QJsonObject describe(const SessionRecord& record, const SessionSummary& summary,
                     const Paths& paths) {
    const QFileInfo program(record.programPath);
    QJsonObject ended{
        {Key::How, record.ending.name()},
        {Key::Text, record.ending.text()},
        {Key::Seconds, jsonNumber(summary.totals.seconds)},
        {Key::DeviceLostAtEnd, summary.totals.deviceLostAtEnd},
    };
    if (record.ending.how == SessionEnding::How::Signal) {
        ended.insert(Key::Signal, record.ending.signalName);
    }
    if (record.ending.failure) {
        ended.insert(Key::Message, record.ending.failure->message());
        if (record.ending.failure->line() > 0) {
            ended.insert(Key::Line, record.ending.failure->line());
        }
    }
    QJsonObject description{
        {Key::Software, QStringLiteral("Orlesse")},
        {Key::SoftwareProgram, record.software},
        {Key::SoftwareVersion, QLatin1String(OrlesseVersion)},
        {Key::OperatingSystem,
         QStringLiteral("%1 (%2 %3, %4)")
             .arg(QSysInfo::prettyProductName(), QSysInfo::kernelType(), QSysInfo::kernelVersion(),
                  QSysInfo::currentCpuArchitecture())},
        {Key::QtVersion, QLatin1String(qVersion())},
        {Key::ComPort, QJsonObject{{Key::Number, record.comNumber},
                                   {Key::Name, QStringLiteral("COM%1").arg(record.comNumber)},
                                   {Key::DevicePath, record.devicePath},
                                   {Key::Identity, record.deviceIdentity}}},
        {Key::Program, QJsonObject{{Key::FileName, program.fileName()},
                                   {Key::Path, program.absoluteFilePath()},
                                   {Key::Size, static_cast<qint64>(record.programBytes.size())},
                                   {Key::Sha256, QString::fromLatin1(QCryptographicHash::hash(
                                                                         record.programBytes,
                                                                         QCryptographicHash::Sha256)
                                                                         .toHex())},
                                   {Key::Text, QString::fromLatin1(record.programBytes)}}},
        {Key::StartTime, record.startUtc().toString(Qt::ISODateWithMs)},
        {Key::StartMonotonic, record.origin()},
        {Key::WhiteLeds, record.whiteLeds},
        {Key::Ended, ended},
        {Key::TimestampMeaning, timestampMeaning()},
        {Key::Files, QJsonObject{{Key::Events, QFileInfo(paths.events).fileName()},
                                 {Key::EventsSidecar, QFileInfo(paths.eventsSidecar).fileName()},
                                 {Key::Frames, QFileInfo(paths.frames).fileName()}}},
        {Key::Summary, totalsJson(summary.totals)},
    };
    if (const std::optional<MarkerStreamNote>& stream = record.markerStream) {
        // A marker's LSL time minus this is the record's time of the same moment.
        description.insert(
            Key::LabStreamingLayer,
            QJsonObject{{Key::StreamName, stream->name},
                        {Key::SourceId, stream->sourceId},
                        {Key::ClockAtFirstFrame, record.origin() + stream->lslOffset}});
    }
    return description;
}

std::optional<Paths> write(const SessionRecord& record, const SessionSummary& summary,
                           const QString& folder, QString* error) {
    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("cannot create the folder %1").arg(folder);
        return std::nullopt;
    }
    Paths paths = newPaths(folder, record);
    QByteArray frames = framesText(record);
    if (frames.size() > GzipAbove) {
        frames = Gzip::compress(frames);
        paths.frames += Suffix::Gzipped;
    }
    const QByteArray json =
        QJsonDocument(describe(record, summary, paths)).toJson(QJsonDocument::Indented);
    const QByteArray sidecar = QJsonDocument(eventsSidecar()).toJson(QJsonDocument::Indented);
    // The description last: a record whose description is there is whole.
    if (!writeFile(paths.events, eventsText(summary.events), error) ||
        !writeFile(paths.eventsSidecar, sidecar, error) ||
        !writeFile(paths.frames, frames, error) || !writeFile(paths.json, json, error)) {
        return std::nullopt;
    }
    return paths;
}

}  // namespace SessionFiles
