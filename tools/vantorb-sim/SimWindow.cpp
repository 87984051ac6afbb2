#include "SimWindow.h"

#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>

#include "LightView.h"
#include "MonotonicClock.h"
#include "Simulator.h"

SimWindow::SimWindow(const Simulator& simulator, int comNumber, const QString& terminalPath,
                     QWidget* parent)
    : QWidget(parent), m_simulator(simulator) {
    setWindowTitle(tr("Vantorb simulator - COM%1").arg(comNumber));

    m_view = new LightView(simulator.model(), this);
    m_frames = new QLabel(this);
    m_malformed = new QLabel(this);
    m_frequency = new QLabel(this);
    m_white = new QLabel(this);
    m_last = new QLabel(this);
    QFont mono(QStringLiteral("monospace"));
    mono.setStyleHint(QFont::Monospace);
    m_last->setFont(mono);
    for (QLabel* label : {m_frames, m_malformed, m_frequency, m_white}) {
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        label->setFont(mono);
    }
    auto* port = new QLabel(tr("COM%1\n%2").arg(comNumber).arg(terminalPath), this);
    port->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* panel = new QFrame(this);
    panel->setFrameShape(QFrame::StyledPanel);
    auto* form = new QFormLayout(panel);
    form->addRow(tr("Port:"), port);
    form->addRow(tr("Frames:"), m_frames);
    form->addRow(tr("Malformed:"), m_malformed);
    form->addRow(tr("Flash rate:"), m_frequency);
    form->addRow(tr("White LEDs:"), m_white);
    form->addRow(tr("Last frame:"), m_last);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(m_view, 1);
    layout->addWidget(panel, 0, Qt::AlignTop);

    m_frameTimer.setSingleShot(true);
    m_frameTimer.setInterval(16);
    connect(&m_frameTimer, &QTimer::timeout, this, &SimWindow::refresh);
    connect(&simulator, &Simulator::changed, this, &SimWindow::scheduleRefresh);
    m_tick.setInterval(250);
    connect(&m_tick, &QTimer::timeout, this, &SimWindow::refresh);
    m_tick.start();
    refresh();
}

void SimWindow::scheduleRefresh() {
    if (!m_frameTimer.isActive()) {
        m_frameTimer.start();
    }
}

void SimWindow::refresh() {
    const LightModel& model = m_simulator.model();
    m_frames->setText(QString::number(model.frameCount()));
    m_malformed->setText(QString::number(model.malformedCount()));
    m_frequency->setText(tr("%1 Hz").arg(model.flashFrequency(monotonicNs()), 0, 'f', 1));
    m_white->setText(model.whiteOn() ? tr("on") : tr("off"));
    if (model.frameCount() > 0) {
        const Frame& f = m_simulator.lastFrame();
        m_last->setText(
            QStringLiteral("%1 %2 %3").arg(f.leadName(), f.addressText(), f.colourText()));
    } else {
        m_last->setText(tr("(none)"));
    }
    m_view->update();
}
