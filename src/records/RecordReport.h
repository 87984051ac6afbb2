#pragma once

#include <QJsonObject>
#include <QList>
#include <QPointF>
#include <QStringList>
#include <vector>

#include "records/SessionFiles.h"

// The lines a report of a record shows: where it came from, the table of segments (line,
// segment, Hz asked and delivered, ratio, lateness, stalls), the losses and stalls, the totals
// and how the run ended.
QStringList reportLines(const SessionFiles::Loaded& loaded);

// The same summary as JSON, for scripts.
QJsonObject reportJson(const SessionFiles::Loaded& loaded);

// When the run ended, seconds from its first frame.
double recordEnd(const SessionFiles::Loaded& loaded);

// The frequency delivered in each second of the run, from the lit frames the library took
// (time, Hz); the bins start half a millisecond before the first frame's due time, so that a
// frame due on a whole second and written a little late stays in its own second.
QList<QPointF> deliveredPerSecond(const std::vector<SessionFiles::FrameRow>& frames, double end);
