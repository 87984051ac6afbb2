#include "FrameLogFile.h"

#include "FrameDecoder.h"

bool FrameLogFile::open(const QString& path, QString* error) {
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, m_file.errorString());
        return false;
    }
    return true;
}

QString FrameLogFile::secondsText(qint64 ns) {
    const qint64 micros = ns / 1000;
    return QStringLiteral("%1.%2")
        .arg(micros / 1'000'000)
        .arg(micros % 1'000'000, 6, 10, QLatin1Char('0'));
}

void FrameLogFile::writeFrame(const Frame& frame, qint64 receivedNs) {
    writeLine(QStringLiteral("%1 %2 %3 %4")
                  .arg(secondsText(receivedNs), frame.leadName(), frame.addressText(),
                       frame.colourText()));
}

void FrameLogFile::writeMalformed(const QByteArray& bytes, qint64 receivedNs) {
    writeLine(QStringLiteral("%1 BAD %2 bytes: %3")
                  .arg(secondsText(receivedNs))
                  .arg(bytes.size())
                  .arg(QString::fromLatin1(bytes.toHex(' ').toUpper())));
}

void FrameLogFile::writeLine(const QString& line) {
    if (!m_file.isOpen()) {
        return;
    }
    m_file.write(line.toUtf8());
    m_file.write("\n");
    m_file.flush();
}
