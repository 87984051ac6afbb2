#include "records/RecordFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryFile>

#include "records/RecordSchema.h"

namespace SessionFiles {

namespace {

// The program's name as it can stand in a file name.
QString fileStem(const QString& programPath) {
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9.-]+"));
    QString stem = QFileInfo(programPath).completeBaseName().replace(unsafe, QStringLiteral("-"));
    return stem.isEmpty() ? QStringLiteral("program") : stem;
}

}  // namespace

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

Paths newPaths(const QString& folder, const SessionRecord& record) {
    using namespace RecordSchema;
    const QDir dir(folder);
    const QString stem = fileStem(record.programPath) + QLatin1Char('_') +
                         record.startUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    QString base = stem;
    for (int n = 2; QFileInfo::exists(dir.filePath(base + Suffix::Record)); ++n) {
        base = stem + QLatin1Char('-') + QString::number(n);
    }
    return {dir.filePath(base + Suffix::Events), dir.filePath(base + Suffix::EventsSidecar),
            dir.filePath(base + Suffix::Frames), dir.filePath(base + Suffix::Record)};
}

QString newestRecordIn(const QString& folder) {
    const QFileInfoList found = QDir(folder).entryInfoList(
        {QLatin1Char('*') + RecordSchema::Suffix::Record}, QDir::Files, QDir::Time);
    return found.isEmpty() ? QString() : found.first().filePath();
}

}  // namespace SessionFiles
