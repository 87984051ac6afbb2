#include "records/BidsDataset.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>
#include <vector>

#include "core/BuildInfo.h"
#include "records/Gzip.h"
#include "records/RecordSchema.h"
#include "records/RecordWriter.h"

namespace BidsDataset {

namespace {

using namespace RecordSchema;

QByteArray jsonText(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

// The files written by one filing, with what each held before, so that a filing that fails
// part-way leaves the dataset as it found it.
class Changes {
  public:
    bool write(const QString& path, const QByteArray& bytes, QString* error) {
        std::optional<QByteArray> before;
        if (QFile old(path); old.exists()) {
            if (!old.open(QIODevice::ReadOnly)) {
                *error = QStringLiteral("cannot read %1: %2").arg(path, old.errorString());
                return false;
            }
            before = old.readAll();
        }
        if (!QDir().mkpath(QFileInfo(path).path())) {
            *error = QStringLiteral("cannot create the folder %1").arg(QFileInfo(path).path());
            return false;
        }
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() ||
            !file.commit()) {
            *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
            return false;
        }
        m_done.push_back({path, std::move(before)});
        return true;
    }

    // Puts back what was there before, the last change first.
    void undo() {
        for (auto done = m_done.rbegin(); done != m_done.rend(); ++done) {
            if (!done->before) {
                QFile::remove(done->path);
                continue;
            }
            QSaveFile file(done->path);
            if (file.open(QIODevice::WriteOnly)) {
                file.write(*done->before);
                file.commit();
            }
        }
        m_done.clear();
    }

  private:
    struct Done {
        QString path;
        std::optional<QByteArray> before;  // nothing: the file was not there
    };
    std::vector<Done> m_done;
};

QString labelError(const QString& what, const QString& label) {
    if (label.isEmpty()) {
        return QStringLiteral("the %1 label is missing").arg(what);
    }
    return QStringLiteral(
               "the %1 label \"%2\" holds other characters than letters and digits, "
               "which BIDS does not allow in a label")
        .arg(what, label);
}

QByteArray datasetDescription(const QString& root) {
    QString name = QFileInfo(QFileInfo(root).absoluteFilePath()).fileName();
    if (name.isEmpty()) {
        name = QStringLiteral("Orlesse sessions");
    }
    const QJsonObject orlesse{
        {Bids::Name, QStringLiteral("Orlesse")},
        {Bids::Version, QLatin1String(OrlesseVersion)},
        {Key::Description, QStringLiteral("Records of light programs played on the Vantorb LED "
                                          "light, filed into this dataset")}};
    return jsonText(QJsonObject{{Bids::Name, name},
                                {Bids::BidsVersion, Bids::VersionWritten},
                                {Bids::DatasetType, Bids::Raw},
                                {Bids::GeneratedBy, QJsonArray{orlesse}}});
}

QByteArray readme(const QString& root) {
    return QStringLiteral(
               "# %1\n"
               "\n"
               "Sessions of flashing light played on a Vantorb LED light and recorded by Orlesse "
               "%2.\n"
               "\n"
               "- sub-<label>/[ses-<label>/]beh/*_events.tsv: a row per segment of the light "
               "program, pause, device loss and return, stall, and the end of the run, with the "
               "frequency asked and delivered and how late the frames were written; the "
               "_events.json beside it describes every column.\n"
               "- sourcedata/: for each run the table of every frame written (_frames.tsv.gz) "
               "and the record's description (_record.json: the program and its text, the port "
               "and device, the software, the start time in UTC, how the run ended, the "
               "totals).\n"
               "\n"
               "Times are seconds from the run's first frame on the controller's monotonic "
               "clock: when frames were written to the serial port, not light measured at the "
               "device.\n"
               "\n"
               "To fill in: what the study is, its authors (Authors in dataset_description.json) "
               "and its licence.\n")
        .arg(QFileInfo(QFileInfo(root).absoluteFilePath()).fileName(),
             QLatin1String(OrlesseVersion))
        .toUtf8();
}

QByteArray participantsSidecar() {
    return jsonText(QJsonObject{
        {Bids::ParticipantId,
         QJsonObject{
             {Key::Description, QStringLiteral("The participant's label, as its folder sub-<label> "
                                               "names it.")}}}});
}

// participants.tsv's text with the participant listed: the file's own when it lists them
// already (listed is then true), otherwise a row is added (a new file for a new dataset).
// Nothing, with the reason in error, for a file that cannot be read or has no participant_id.
std::optional<QByteArray> participantsWith(const QString& path, const QString& id, bool* listed,
                                           QString* error) {
    *listed = false;
    QFile file(path);
    if (!file.exists()) {
        return QByteArray(Bids::ParticipantId.data()) + '\n' + id.toUtf8() + '\n';
    }
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    QByteArray text = file.readAll();
    const QList<QByteArray> lines = text.split('\n');
    const QList<QByteArray> header = lines.first().trimmed().split('\t');
    const qsizetype column = header.indexOf(QByteArray(Bids::ParticipantId.data()));
    if (column < 0) {
        *error = QStringLiteral("%1 has no %2 column").arg(path, Bids::ParticipantId);
        return std::nullopt;
    }
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].trimmed().split('\t');
        if (column < fields.size() && fields[column] == id.toUtf8()) {
            *listed = true;
            return text;
        }
    }
    QList<QByteArray> row(header.size(), QByteArray(NotApplicable.data()));
    row[column] = id.toUtf8();
    if (!text.isEmpty() && !text.endsWith('\n')) {
        text += '\n';
    }
    return text + row.join('\t') + '\n';
}

// The events table's data dictionary with the software that presented the light, which BIDS
// recommends in an events sidecar. (The task's name and description, which BIDS recommends too,
// are refused there by the validator of BIDS 1.8, which takes every other key of an events
// sidecar for a column: the task's label is in the file names.)
QByteArray eventsSidecar(const QJsonObject& record) {
    QJsonObject sidecar = SessionFiles::eventsSidecar();
    sidecar.insert(Bids::StimulusPresentation,
                   QJsonObject{{Key::OperatingSystem, record.value(Key::OperatingSystem)},
                               {Bids::SoftwareName, record.value(Key::Software)},
                               {Key::SoftwareVersion, record.value(Key::SoftwareVersion)}});
    return jsonText(sidecar);
}

}  // namespace

bool isLabel(const QString& text) {
    static const QRegularExpression label(QStringLiteral("^[A-Za-z0-9]+$"));
    return label.match(text).hasMatch();
}

QString entitiesError(const Entities& entities) {
    if (!isLabel(entities.subject)) {
        return labelError(QStringLiteral("subject"), entities.subject);
    }
    if (!entities.session.isEmpty() && !isLabel(entities.session)) {
        return labelError(QStringLiteral("session"), entities.session);
    }
    if (!isLabel(entities.task)) {
        return labelError(QStringLiteral("task"), entities.task);
    }
    if (entities.run < 0) {
        return QStringLiteral("the run is %1, not a whole number from 1").arg(entities.run);
    }
    return {};
}

QString baseName(const Entities& entities) {
    const auto entity = [](QLatin1String key, const QString& value) {
        return key + QLatin1Char('-') + value;
    };
    QStringList parts{entity(Bids::Subject, entities.subject)};
    if (!entities.session.isEmpty()) {
        parts << entity(Bids::Session, entities.session);
    }
    parts << entity(Bids::Task, entities.task);
    if (entities.run > 0) {
        parts << entity(Bids::Run, QString::number(entities.run));
    }
    return parts.join(QLatin1Char('_'));
}

std::optional<Filed> file(const QString& root, const SessionFiles::Loaded& record,
                          const Entities& entities, QString* error) {
    if (const QString wrong = entitiesError(entities); !wrong.isEmpty()) {
        *error = wrong;
        return std::nullopt;
    }
    const QDir dataset(root);
    const QString descriptionPath = dataset.filePath(Bids::DatasetDescription);
    const QFileInfo rootInfo(root);
    if (rootInfo.exists() && !rootInfo.isDir()) {
        *error = QStringLiteral("%1 is no folder").arg(root);
        return std::nullopt;
    }
    Filed filed;
    filed.newDataset = !QFileInfo::exists(descriptionPath);
    if (filed.newDataset && rootInfo.exists() &&
        !dataset.isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)) {
        *error = QStringLiteral(
                     "%1 holds files but no %2, so it is no BIDS dataset; name a "
                     "dataset, or a new or empty folder")
                     .arg(root, Bids::DatasetDescription);
        return std::nullopt;
    }

    // Where the run goes: the raw data, and the source data beside it.
    QString folder = Bids::Subject + QLatin1Char('-') + entities.subject;
    if (!entities.session.isEmpty()) {
        folder += QLatin1Char('/') + Bids::Session + QLatin1Char('-') + entities.session;
    }
    folder += QLatin1Char('/') + Bids::Behaviour;
    const QDir raw(dataset.filePath(folder));
    const QDir source(dataset.filePath(Bids::SourceData + QLatin1Char('/') + folder));
    const QString base = baseName(entities);
    filed.events = raw.filePath(base + Bids::Events);
    filed.eventsSidecar = raw.filePath(base + Bids::EventsSidecar);
    filed.frames = source.filePath(base + Bids::Frames);
    filed.record = source.filePath(base + Bids::Record);
    for (const QString& path : {filed.events, filed.eventsSidecar, filed.frames, filed.record}) {
        if (QFileInfo::exists(path)) {
            *error = QStringLiteral(
                         "the dataset holds this run already (%1); file it under "
                         "another run")
                         .arg(dataset.relativeFilePath(path));
            return std::nullopt;
        }
    }

    // Everything is read before anything is written.
    const QString framesPath = SessionFiles::filePath(record, Key::Frames);
    QFile framesFile(framesPath);
    if (!QFileInfo(framesPath).isFile() || !framesFile.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read the record's frames %1: %2")
                     .arg(framesPath, framesFile.errorString());
        return std::nullopt;
    }
    QByteArray frames = framesFile.readAll();
    if (!framesPath.endsWith(Suffix::Gzipped)) {
        frames = Gzip::compress(frames);
    }
    const QString participantsPath = dataset.filePath(Bids::Participants);
    const QString participant = Bids::Subject + QLatin1Char('-') + entities.subject;
    bool listed = false;
    const std::optional<QByteArray> participants =
        participantsWith(participantsPath, participant, &listed, error);
    if (!participants) {
        return std::nullopt;
    }
    // The record's description names the filed tables, so that it reads back from
    // sourcedata as any record does.
    const QDir sourceFolder(QFileInfo(source.path()).absoluteFilePath());
    const auto fromSource = [&sourceFolder](const QString& path) {
        return sourceFolder.relativeFilePath(QFileInfo(path).absoluteFilePath());
    };
    QJsonObject description = record.json;
    description.insert(Key::Files,
                       QJsonObject{{Key::Events, fromSource(filed.events)},
                                   {Key::EventsSidecar, fromSource(filed.eventsSidecar)},
                                   {Key::Frames, QFileInfo(filed.frames).fileName()}});

    std::vector<std::pair<QString, QByteArray>> writes;
    if (filed.newDataset) {
        writes.emplace_back(descriptionPath, datasetDescription(root));
        if (!QFileInfo::exists(dataset.filePath(Bids::Readme))) {
            writes.emplace_back(dataset.filePath(Bids::Readme), readme(root));
        }
        if (!QFileInfo::exists(dataset.filePath(Bids::ParticipantsSidecar))) {
            writes.emplace_back(dataset.filePath(Bids::ParticipantsSidecar), participantsSidecar());
        }
    }
    if (!listed) {
        writes.emplace_back(participantsPath, *participants);
    }
    for (const auto& [path, bytes] : writes) {
        filed.changed << path;
    }
    // The events table last: a run whose table is there is whole.
    writes.emplace_back(filed.frames, frames);
    writes.emplace_back(filed.record, jsonText(description));
    writes.emplace_back(filed.eventsSidecar, eventsSidecar(record.json));
    writes.emplace_back(filed.events, SessionFiles::eventsText(record.events));
    Changes changes;
    for (const auto& [path, bytes] : writes) {
        if (!changes.write(path, bytes, error)) {
            changes.undo();
            return std::nullopt;
        }
    }
    return filed;
}

QStringList filedLines(const Filed& filed) {
    QStringList lines;
    const QStringList paths{filed.events, filed.eventsSidecar, filed.frames, filed.record};
    for (const QString& path : paths) {
        lines << (lines.isEmpty() ? QStringLiteral("filed: ") : QStringLiteral("       ")) +
                     QDir::toNativeSeparators(path);
    }
    for (const QString& path : filed.changed) {
        lines << (filed.newDataset ? QStringLiteral("made: ") : QStringLiteral("changed: ")) +
                     QDir::toNativeSeparators(path);
    }
    if (filed.newDataset) {
        lines << QStringLiteral(
            "The new dataset's description has no Authors and its README says only what Orlesse "
            "wrote: fill them in.");
    }
    return lines;
}

}  // namespace BidsDataset
