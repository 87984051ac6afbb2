#pragma once

#include <QImage>
#include <QJsonObject>
#include <QList>
#include <QPointF>
#include <QSize>
#include <QStringList>
#include <vector>

#include "ProgramPlot.h"
#include "Simulation.h"
#include "programs/SessionFiles.h"

// The lines `orlesse-program report` prints for a record: where it came from, the table of
// segments (line, segment, Hz asked and delivered, ratio, lateness, stalls), the losses and
// stalls, the totals and how the run ended.
QStringList reportLines(const SessionFiles::Loaded& loaded);

// The same summary as JSON, for scripts.
QJsonObject reportJson(const SessionFiles::Loaded& loaded);

// The frequency delivered in each second of the run, from the lit frames the library took
// (time, Hz); the bins start half a millisecond before the first frame's due time, so that a
// frame due on a whole second and written a little late stays in its own second.
QList<QPointF> deliveredPerSecond(const std::vector<SessionFiles::FrameRow>& frames, double end);

// What the chart of a recorded run draws: the program's trace as it played (segments, the
// frequency asked and the level from the frames) and the overlay of the frequency delivered
// per second, the losses, stalls and pauses, with the record's title line.
struct RecordChart {
    ProgramTrace trace;
    PlotOverlay overlay;
};
RecordChart recordChart(const SessionFiles::Loaded& loaded,
                        const std::vector<SessionFiles::FrameRow>& frames);

// The chart of a recorded run: the program's chart (frequency asked, level, segments) with the
// frequency delivered per second and the losses and stalls marked.
QImage plotRecord(const SessionFiles::Loaded& loaded,
                  const std::vector<SessionFiles::FrameRow>& frames, QSize size);
