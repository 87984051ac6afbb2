#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include "FrameDecoder.h"
#include "FrameLogFile.h"
#include "LightModel.h"

// The simulated device: decodes the bytes from the line, keeps the light model up to date,
// writes the frame log and tells the window when something changed. Junk or a partial frame
// left pending is reported as malformed once the line has been idle for IdleFlushMs.
class Simulator : public QObject {
    Q_OBJECT
  public:
    // How long the line must stay quiet before pending bytes count as a malformed chunk.
    static constexpr int IdleFlushMs = 250;

    // A simulator with a dark light and, until openLog() succeeds, no log.
    explicit Simulator(QObject* parent = nullptr);

    // Starts the frame log at path; on failure returns false and sets *error.
    bool openLog(const QString& path, QString* error) { return m_log.open(path, error); }
    // Handles bytes from the line received at receivedNs (monotonic nanoseconds).
    void receive(const QByteArray& bytes, qint64 receivedNs);

    // The light as the frames so far left it.
    const LightModel& model() const { return m_model; }
    // The most recent frame (meaningful once model().frameCount() > 0).
    const Frame& lastFrame() const { return m_lastFrame; }

  signals:
    // The model changed (new frames or malformed chunks).
    void changed();

  private:
    void handle(const QList<DecodedItem>& items, qint64 receivedNs);
    void flushIdle();

    FrameDecoder m_decoder;      // the byte stream decoder
    LightModel m_model;          // what the light shows
    FrameLogFile m_log;          // the optional frame log
    Frame m_lastFrame;           // the most recent frame
    QTimer m_idle;               // reports pending bytes after a quiet line
    qint64 m_lastReceiveNs = 0;  // receive time of the latest bytes
};
