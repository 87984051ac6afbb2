#pragma once

#include <QString>
#include <QStringList>
#include <memory>

#include "EditorPlayer.h"
#include "markers/LslLibrary.h"

class MarkerOutlet;

// The editor's Lab Streaming Layer marker stream, the one of the light's COM port: it stays open
// while the playback bar's box is ticked, so that a recorder can connect before Play, and each
// run publishes on it.
class LslMarkerStream final : public PlayMarkers {
  public:
    // Loads liblsl from the first of libraries that loads, when a stream is opened.
    explicit LslMarkerStream(QStringList libraries = LslLibrary::defaultCandidates());
    ~LslMarkerStream() override;

    // Opens the stream of COM comNumber, in place of the one open. False, with the reason in
    // *error and no stream open, when liblsl is missing or refuses the stream.
    bool open(int comNumber, QString* error);
    void close();

    bool isOpen() const { return m_outlet != nullptr; }
    // The COM port of the open stream, or 0.
    int comNumber() const { return m_comNumber; }
    // The open stream's source id, or nothing.
    QString sourceId() const;

    QString name() const override;
    bool hasRecorder() const override;
    void publish(DeviceRun::Request& request) override;

  private:
    QStringList m_libraries;
    std::unique_ptr<MarkerOutlet> m_outlet;
    int m_comNumber = 0;
};
