#include "PlaybackBar.h"

#include <QCheckBox>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <algorithm>

#include "SegmentModel.h"
#include "core/ClockText.h"
#include "widgets/DropDownList.h"

namespace {

// How often the times and the playhead move while a program plays.
constexpr int ProgressMs = 100;
const QString ComPortKey = QStringLiteral("play/comPort");
const QString RecordKey = QStringLiteral("record/enabled");
const QString RecordFolderKey = QStringLiteral("record/folder");
const QString MarkersKey = QStringLiteral("markers/enabled");

}  // namespace

PlaybackBar::PlaybackBar(PortList& ports, QSettings& settings, const QString& defaultRecordFolder,
                         EditorPlayer& player, const SegmentModel& model,
                         const QStringList& lslLibraries, QWidget* parent)
    : QWidget(parent),
      m_settings(settings),
      m_defaultRecordFolder(defaultRecordFolder),
      m_player(player),
      m_model(model),
      m_comPorts(ports),
      m_markerStream(lslLibraries) {
    auto* bar = new QHBoxLayout(this);
    bar->setContentsMargins(0, 0, 0, 0);
    bar->addWidget(new QLabel(tr("COM Port:"), this));
    auto* comPort = new DropDownList(this);
    m_comPort = comPort;
    m_comPort->setObjectName(QStringLiteral("comPort"));
    m_comPort->setMinimumContentsLength(7);
    for (const ComPortListing::Item& item : m_comPorts.fill()) {
        m_comPort->addItem(ComPortListing::itemText(item.number));
        m_comPort->setItemData(m_comPort->count() - 1, item.description, Qt::ToolTipRole);
    }
    comPort->onDropDown = [this] {
        m_comPorts.refresh(
            [this](int index, const ComPortListing::Item& item) {
                m_comPort->insertItem(index, ComPortListing::itemText(item.number));
                m_comPort->setItemData(index, item.description, Qt::ToolTipRole);
            },
            [this](int index, const QString& toolTip) {
                m_comPort->setItemData(index, toolTip, Qt::ToolTipRole);
            });
    };
    m_comPort->setCurrentIndex(
        m_comPort->findText(ComPortListing::itemText(m_settings.value(ComPortKey, 0).toInt())));
    connect(m_comPort, &QComboBox::activated, this, [this] {
        if (const auto number = comNumber()) {
            m_settings.setValue(ComPortKey, *number);
        }
    });
    bar->addWidget(m_comPort);

    m_white = new QCheckBox(tr("Flash White LED's"), this);
    m_white->setObjectName(QStringLiteral("white"));
    bar->addWidget(m_white);
    m_record = new QCheckBox(tr("Record"), this);
    m_record->setObjectName(QStringLiteral("record"));
    m_record->setChecked(m_settings.value(RecordKey, false).toBool());
    connect(m_record, &QCheckBox::toggled, this,
            [this](bool on) { m_settings.setValue(RecordKey, on); });
    bar->addWidget(m_record);
    m_recordFolder = new QToolButton(this);
    m_recordFolder->setObjectName(QStringLiteral("recordFolder"));
    m_recordFolder->setText(tr("Folder\u2026"));
    connect(m_recordFolder, &QToolButton::clicked, this, &PlaybackBar::recordFolderClicked);
    bar->addWidget(m_recordFolder);
    updateRecordToolTips();
    m_markers = new QCheckBox(tr("LSL markers"), this);
    m_markers->setObjectName(QStringLiteral("lslMarkers"));
    m_markers->setChecked(m_settings.value(MarkersKey, false).toBool());
    connect(m_markers, &QCheckBox::toggled, this, [this](bool on) {
        m_settings.setValue(MarkersKey, on);
        syncMarkerStream();
    });
    connect(m_comPort, &QComboBox::currentIndexChanged, this, &PlaybackBar::syncMarkerStream);
    bar->addWidget(m_markers);
    // A stream remembered from the last start opens once the window can show why it cannot.
    QTimer::singleShot(0, this, &PlaybackBar::syncMarkerStream);

    m_play = new QPushButton(style()->standardIcon(QStyle::SP_MediaPlay), tr("Play"), this);
    m_play->setObjectName(QStringLiteral("play"));
    m_play->setToolTip(tr("Play from the selected row (F5)"));
    m_pause = new QPushButton(style()->standardIcon(QStyle::SP_MediaPause), tr("Pause"), this);
    m_pause->setObjectName(QStringLiteral("pause"));
    m_pause->setToolTip(tr("Darken the light and hold; again to resume (F6)"));
    m_stop = new QPushButton(style()->standardIcon(QStyle::SP_MediaStop), tr("Stop"), this);
    m_stop->setObjectName(QStringLiteral("stop"));
    m_stop->setToolTip(tr("End the run dark (Escape)"));
    connect(m_play, &QPushButton::clicked, this, &PlaybackBar::playClicked);
    connect(m_pause, &QPushButton::clicked, this, &PlaybackBar::pauseClicked);
    connect(m_stop, &QPushButton::clicked, this, &PlaybackBar::stopClicked);
    bar->addWidget(m_play);
    bar->addWidget(m_pause);
    bar->addWidget(m_stop);
    m_time = new QLabel(this);
    m_time->setObjectName(QStringLiteral("time"));
    bar->addWidget(m_time, 1);
    m_readout = new QLabel(this);
    m_readout->setObjectName(QStringLiteral("readout"));
    bar->addWidget(m_readout);

    m_progressTimer = new QTimer(this);
    m_progressTimer->setInterval(ProgressMs);
    connect(m_progressTimer, &QTimer::timeout, this, &PlaybackBar::showProgress);
    showState(EditorPlayer::State::Idle);
    connect(&m_player, &EditorPlayer::stateChanged, this, &PlaybackBar::showState);
    connect(&m_player, &EditorPlayer::stateChanged, this, [this](EditorPlayer::State state) {
        if (state == EditorPlayer::State::Idle) {
            syncMarkerStream();
        }
    });
    connect(&m_player, &EditorPlayer::segmentStarted, this, &PlaybackBar::showProgress);
}

std::optional<int> PlaybackBar::comNumber() const {
    if (m_comPort->currentIndex() < 0) {
        return std::nullopt;
    }
    return ComPortListing::numberOf(m_comPort->currentText());
}

bool PlaybackBar::white() const {
    return m_white->isChecked();
}

bool PlaybackBar::recordsRuns() const {
    return m_record->isChecked();
}

QString PlaybackBar::recordFolder() const {
    return m_settings.value(RecordFolderKey, m_defaultRecordFolder).toString();
}

void PlaybackBar::setRecordFolder(const QString& folder) {
    m_settings.setValue(RecordFolderKey, folder);
    updateRecordToolTips();
}

PlayMarkers* PlaybackBar::markerStream() {
    return m_markers->isChecked() && m_markerStream.isOpen() ? &m_markerStream : nullptr;
}

void PlaybackBar::syncMarkerStream() {
    // A run publishes on the stream open when it started: it is changed once the run is over.
    if (m_player.state() != EditorPlayer::State::Idle) {
        return;
    }
    const std::optional<int> port = comNumber();
    if (!m_markers->isChecked() || !port) {
        m_markerStream.close();
    } else if (m_markerStream.comNumber() != *port) {
        QString error;
        if (!m_markerStream.open(*port, &error)) {
            m_markers->setChecked(false);
            emit markerStreamFailed(error);
        }
    }
    m_markers->setToolTip(
        m_markerStream.isOpen()
            ? tr("Each run sends its markers on the Lab Streaming Layer stream\n\"%1\" "
                 "(source_id %2),\nopen while this box is ticked")
                  .arg(m_markerStream.name(), m_markerStream.sourceId())
            : tr("Send markers of each run (segments, pauses, the end) on a Lab Streaming "
                 "Layer stream of the COM port, open while this box is ticked so that a "
                 "recorder can connect before Play; needs liblsl"));
}

void PlaybackBar::showState(EditorPlayer::State state) {
    const bool idle = state == EditorPlayer::State::Idle;
    m_markers->setEnabled(idle);
    m_play->setEnabled(idle);
    m_pause->setEnabled(!idle);
    m_stop->setEnabled(!idle);
    m_pause->setText(state == EditorPlayer::State::Paused ? tr("Resume") : tr("Pause"));
    if (idle) {
        m_progressTimer->stop();
    } else if (!m_progressTimer->isActive()) {
        m_progressTimer->start();
    }
    showProgress();
}

void PlaybackBar::showProgress() {
    const int row = m_model.table().rowOfLine(m_player.line());
    if (m_player.state() == EditorPlayer::State::Idle || row < 0) {
        m_time->clear();
        return;
    }
    const double into = m_player.secondsIntoSegment();
    const int first = m_player.firstRecord();
    const double played = m_model.secondsOfRows(first, row) + into;
    const double left = std::max(0.0, m_model.secondsOfRows(first, m_model.rowCount()) - played);
    m_time->setText(tr("%1 played, %2 left%3")
                        .arg(clockText(played), clockText(left),
                             m_player.state() == EditorPlayer::State::Paused
                                 ? tr(" \u2014 paused, the light is dark")
                                 : QString()));
    emit progressed(m_player.line(), into);
}

void PlaybackBar::showReadout(const QString& text) {
    m_readout->setText(text);
}

void PlaybackBar::updateRecordToolTips() {
    const QString folder = QDir::toNativeSeparators(recordFolder());
    m_record->setToolTip(
        tr("Keep a session record of every run (each frame sent and when) in %1").arg(folder));
    m_recordFolder->setToolTip(tr("Choose the folder of the session records: now %1").arg(folder));
}
