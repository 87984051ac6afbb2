#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

struct Frame;

// The --log file: one line per frame ("12.345678 SOH 80 FF0000") and one per malformed
// chunk ("12.345679 BAD 3 bytes: 01 30 5A"), with the monotonic receive time in seconds.
// Every line is flushed at once, so other processes can follow the file while it grows.
class FrameLogFile {
  public:
    // Opens (truncates) path; on failure returns false and sets *error.
    bool open(const QString& path, QString* error);
    // Whether a file is open.
    bool isOpen() const { return m_file.isOpen(); }
    // Writes the line for one frame.
    void writeFrame(const Frame& frame, qint64 receivedNs);
    // Writes the line for one malformed chunk.
    void writeMalformed(const QByteArray& bytes, qint64 receivedNs);

    // Monotonic nanoseconds as seconds with six decimals ("12.345678").
    static QString secondsText(qint64 ns);

  private:
    void writeLine(const QString& line);

    QFile m_file;  // the log file
};
