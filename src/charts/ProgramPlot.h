#pragma once

#include <QImage>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QString>
#include <optional>

class QPainter;
struct ProgramTrace;

// What a recorded run adds to the chart of its program.
struct PlotOverlay {
    // A stretch of time marked on the chart.
    struct Span {
        double start = 0;
        double end = 0;
    };
    QString title;             // the title line; empty: the program's own
    QList<QPointF> delivered;  // the frequency delivered (time, Hz), each value until the next
    double deliveredEnd = 0;   // when the last delivered value ends
    QList<Span> losses;        // where the device was lost
    QList<Span> stalls;        // where frames were not sent for a stall
    QList<Span> pauses;        // where the run was held dark
};

// Where a drawn chart put its time axis, so that a point of the chart maps back to the run
// (hover read-outs) and a moment of the run to a point (a playhead).
struct PlotGeometry {
    QRectF area;              // the plot area, in the painter's coordinates
    double start = 0;         // clock at the area's left edge
    double length = 1;        // seconds across the area
    double frequencyTop = 1;  // Hz at the area's top

    // The x of a clock time.
    double xOf(double time) const;
    // The clock at x, or nothing outside the plot area.
    std::optional<double> timeAt(double x) const;
};

// What a run does at one moment, as the chart shows it.
struct PlotReading {
    double elapsed = 0;            // seconds since the run started
    int segment = 0;               // index into the trace's segments
    std::optional<int> frequency;  // Hz of the frame last written, if any
    std::optional<int> level;      // level of the lit frame last written, if any
};

// The scale the chart's fonts and lines take for an image of the given size (1 at 1200x600).
double plotScale(QSize size);

// Draws a program run as a chart: the flash frequency (Hz, left axis) and the light level
// (0 to 255, right axis) against time, the segment boundaries marked with their ids, and a
// title line with the file name and the total length (and the failure that ends the run, if
// any). A recorded run adds the frequency delivered and its losses and stalls (overlay). Paints
// the rectangle from (0, 0) of the given size; scale sizes the fonts and lines (0:
// plotScale(size)). Returns where the time axis went. Needs a QGuiApplication for fonts.
PlotGeometry paintProgram(QPainter& painter, const ProgramTrace& trace, const QString& name,
                          QSize size, double scale = 0, const PlotOverlay& overlay = {});

// The chart of paintProgram as an image of the given size, as `orlesse-program plot` and
// `report --plot` write it.
QImage plotProgram(const ProgramTrace& trace, const QString& name, QSize size,
                   const PlotOverlay& overlay = {});

// The segment, frequency and level of the run at a clock time, or nothing outside the run.
std::optional<PlotReading> readingAt(const ProgramTrace& trace, double time);
