#pragma once

#include <QImage>
#include <QList>
#include <QPointF>
#include <QSize>
#include <QString>

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
};

// Draws a program run as a chart: the flash frequency (Hz, left axis) and the light level
// (0 to 255, right axis) against time, the segment boundaries marked with their ids, and a
// title line with the file name and the total length (and the failure that ends the run, if
// any). A recorded run adds the frequency delivered and its losses and stalls (overlay). Needs a
// QGuiApplication for its fonts.
QImage plotProgram(const ProgramTrace& trace, const QString& name, QSize size,
                   const PlotOverlay& overlay = {});
