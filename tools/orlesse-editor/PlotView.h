#pragma once

#include <QPixmap>
#include <QString>
#include <QWidget>
#include <optional>

#include "analysis/Simulation.h"
#include "charts/ProgramPlot.h"

// The chart of what the device will receive, drawn by the same code as `orlesse-program plot`,
// with a read-out of the time, segment, frequency and level under the mouse and a playhead
// while the program plays.
class PlotView final : public QWidget {
    Q_OBJECT

  public:
    explicit PlotView(QWidget* parent = nullptr);

    // Shows a run, titled with the name.
    void setTrace(const ProgramTrace& trace, const QString& name);
    const ProgramTrace& trace() const { return m_trace; }

    // Puts the playhead at a clock time of the run shown; nothing hides it.
    void setPlayhead(std::optional<double> time);
    // Puts the playhead seconds into the segment of the record on file line, in the run shown;
    // it stays where it is when that run has no such segment.
    void showPlayhead(int line, double seconds);

    // The read-out for a point of the widget: "0:01:23 · segment #2 (line 3) · 9 Hz · level
    // 200", or an empty text off the chart.
    QString readoutAt(QPointF point) const;

    // Where the last paint put the time axis.
    const PlotGeometry& geometry() const { return m_geometry; }

    QSize sizeHint() const override { return {900, 320}; }
    QSize minimumSizeHint() const override { return {300, 160}; }

  signals:
    // The read-out under the mouse changed (empty when it left the chart).
    void readoutChanged(const QString& text);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    void changeEvent(QEvent* event) override;

    ProgramTrace m_trace;
    QString m_name;
    std::optional<double> m_playhead;
    PlotGeometry m_geometry;
    // The chart as last painted, so that a playhead moving during a run costs a copy of it and
    // not a chart drawn anew between two frames; null when it has to be drawn again.
    QPixmap m_chart;
};
