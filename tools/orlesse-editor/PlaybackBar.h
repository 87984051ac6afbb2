#pragma once

#include <QString>
#include <QWidget>
#include <optional>

#include "EditorPlayer.h"
#include "LslMarkerStream.h"
#include "app/ComPortListing.h"

class PortList;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSettings;
class QTimer;
class QToolButton;
class SegmentModel;

// The row under the chart that plays: the COM port list (which follows the ports present as
// it opens), the white LEDs and Record boxes with the records' folder, the LSL markers box,
// Play, Pause and Stop, the time played and left of the run, and the chart's read-out. The
// port, the Record and LSL boxes and the folder are kept in the editor's settings for the next
// start. While the LSL box is ticked the marker stream of the chosen port is open, also
// between runs, so that a recorder can connect before Play.
class PlaybackBar final : public QWidget {
    Q_OBJECT

  public:
    // Lists the ports of ports; records go to defaultRecordFolder until one is chosen. The
    // buttons and times follow the runs of player, through the table of model. The marker
    // stream loads liblsl from the first of lslLibraries that loads.
    PlaybackBar(PortList& ports, QSettings& settings, const QString& defaultRecordFolder,
                EditorPlayer& player, const SegmentModel& model, const QStringList& lslLibraries,
                QWidget* parent = nullptr);

    // The COM port chosen, if any.
    std::optional<int> comNumber() const;
    // Whether the white LEDs light with the lit frames.
    bool white() const;
    // Whether each run leaves a session record.
    bool recordsRuns() const;
    // The folder session records are written in.
    QString recordFolder() const;
    void setRecordFolder(const QString& folder);
    // The open marker stream the runs publish on while the LSL box is ticked, or nullptr.
    PlayMarkers* markerStream();

    // Shows the chart's read-out under the mouse.
    void showReadout(const QString& text);

  signals:
    void playClicked();
    void pauseClicked();
    void stopClicked();
    // The folder button was clicked: the window asks for a folder.
    void recordFolderClicked();
    // The marker stream could not be opened, for the reason given; the LSL box is unticked.
    void markerStreamFailed(const QString& error);
    // The run has played seconds of the record on file line.
    void progressed(int line, double seconds);

  private:
    void showState(EditorPlayer::State state);
    void showProgress();
    void updateRecordToolTips();
    // Opens, reopens or closes the marker stream as the LSL box and the port say, between runs.
    void syncMarkerStream();

    QSettings& m_settings;
    QString m_defaultRecordFolder;
    EditorPlayer& m_player;
    const SegmentModel& m_model;
    ComPortListing m_comPorts;
    QTimer* m_progressTimer = nullptr;
    QComboBox* m_comPort = nullptr;
    QCheckBox* m_white = nullptr;
    QCheckBox* m_record = nullptr;
    QToolButton* m_recordFolder = nullptr;
    QCheckBox* m_markers = nullptr;
    LslMarkerStream m_markerStream;
    QPushButton* m_play = nullptr;
    QPushButton* m_pause = nullptr;
    QPushButton* m_stop = nullptr;
    QLabel* m_time = nullptr;
    QLabel* m_readout = nullptr;
};
