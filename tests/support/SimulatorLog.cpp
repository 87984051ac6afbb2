#include "support/SimulatorLog.h"

#include <QRegularExpression>
#include <QTest>

#include "support/Marker.h"
#include "support/TestFiles.h"

QStringList simulatorLogEntries(const QString& path) {
    static const QRegularExpression line(QStringLiteral("^\\d+\\.\\d{6} (.*)$"));
    QStringList entries;
    for (const QByteArray& raw : fileBytes(path).split('\n')) {
        const QRegularExpressionMatch m = line.match(QString::fromUtf8(raw));
        if (m.hasMatch()) {
            entries << m.captured(1);
        }
    }
    return entries;
}

QStringList simulatorLogThroughMarker(int comNumber, const QString& path, int timeoutMs) {
    QStringList entries;
    const auto logged = [&] {
        entries = simulatorLogEntries(path);
        return entries.contains(MarkerLogText);
    };
    if (sendMarker(comNumber) && QTest::qWaitFor(logged, timeoutMs)) {
        entries.resize(entries.indexOf(MarkerLogText) + 1);
    }
    return entries;
}
