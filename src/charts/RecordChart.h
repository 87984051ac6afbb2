#pragma once

#include <QImage>
#include <QSize>
#include <vector>

#include "analysis/Simulation.h"
#include "charts/ProgramPlot.h"
#include "records/SessionFiles.h"

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
