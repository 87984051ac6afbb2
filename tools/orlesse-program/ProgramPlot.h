#pragma once

#include <QImage>
#include <QSize>
#include <QString>

struct ProgramTrace;

// Draws a program run as a chart: the flash frequency (Hz, left axis) and the light level
// (0 to 255, right axis) against time, the segment boundaries marked with their ids, and a
// title line with the file name and the total length (and the failure that ends the run, if
// any). Needs a QGuiApplication for its fonts.
QImage plotProgram(const ProgramTrace& trace, const QString& name, QSize size);
