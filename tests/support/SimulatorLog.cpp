#include "support/SimulatorLog.h"

#include <QRegularExpression>
#include <QTest>
#include <csignal>

#include "support/Marker.h"
#include "support/TestFiles.h"

HeadlessSimulator::HeadlessSimulator(const QString& binFolder, int comNumber,
                                     const QString& logPath)
    : m_program(binFolder + QStringLiteral("/vantorb-sim")),
      m_arguments{QStringLiteral("--headless"), QStringLiteral("--com"), QString::number(comNumber),
                  QStringLiteral("--log"), logPath} {
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

HeadlessSimulator::~HeadlessSimulator() {
    if (m_process.state() != QProcess::NotRunning) {
        stop(10000);
    }
}

bool HeadlessSimulator::start(int timeoutMs) {
    m_process.start(m_program, m_arguments);
    return m_process.waitForStarted(timeoutMs) && m_process.waitForReadyRead(timeoutMs);
}

bool HeadlessSimulator::stop(int timeoutMs) {
    ::kill(static_cast<pid_t>(m_process.processId()), SIGTERM);
    if (!m_process.waitForFinished(timeoutMs)) {
        m_process.kill();
        m_process.waitForFinished();
        return false;
    }
    return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
}

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
