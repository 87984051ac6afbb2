#include "charts/RecordChart.h"

#include <QDateTime>
#include <cmath>

#include "records/RecordReport.h"
#include "records/RecordSchema.h"

using RecordSchema::EventKind;
namespace Key = RecordSchema::Key;

RecordChart recordChart(const SessionFiles::Loaded& loaded,
                        const std::vector<SessionFiles::FrameRow>& frames) {
    RecordChart chart;
    ProgramTrace& trace = chart.trace;
    PlotOverlay& overlay = chart.overlay;
    trace.start = 0;
    trace.end = recordEnd(loaded);
    for (const SessionEvent& event : loaded.events) {
        const double until = event.onset + (std::isnan(event.duration) ? 0 : event.duration);
        if (event.kind == EventKind::Segment && event.record) {
            SegmentTrace segment;
            segment.record = *event.record;
            segment.start = event.onset;
            segment.end = until;
            trace.segments.append(segment);
        } else if (event.kind == EventKind::DeviceLost) {
            overlay.losses.append({event.onset, until});
        } else if (event.kind == EventKind::Stall) {
            overlay.stalls.append({event.onset, until});
        } else if (event.kind == EventKind::Paused) {
            overlay.pauses.append({event.onset, until});
        }
    }
    for (const SessionFiles::FrameRow& frame : frames) {
        if (frame.lit < 0 || std::isnan(frame.due)) {
            continue;
        }
        if (trace.frequency.isEmpty() || trace.frequency.last().value != frame.hz) {
            trace.frequency.append({frame.due, frame.hz});
        }
        const int level = frame.colour.left(2).toInt(nullptr, 16);
        if (frame.lit == 1 && (trace.level.isEmpty() || trace.level.last().value != level)) {
            trace.level.append({frame.due, level});
        }
    }
    overlay.delivered = deliveredPerSecond(frames, trace.end);
    overlay.deliveredEnd = overlay.delivered.isEmpty()
                               ? trace.end
                               : std::min(trace.end, overlay.delivered.last().x() + 1.0);
    const QJsonObject& json = loaded.json;
    const SessionTotals& totals = loaded.totals;
    const QDateTime started =
        QDateTime::fromString(json.value(Key::StartTime).toString(), Qt::ISODateWithMs);
    overlay.title =
        QStringLiteral("%1 \u2014 %2 \u2014 ratio %5 (%3 of %4 Hz) \u2014 %6")
            .arg(json.value(Key::Program).toObject().value(Key::FileName).toString(),
                 started.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss 'UTC'")),
                 QString::number(totals.deliveredHz, 'f', 3),
                 QString::number(totals.askedHz, 'f', 3), QString::number(totals.ratio, 'f', 5),
                 json.value(Key::Ended).toObject().value(Key::Text).toString());
    return chart;
}

QImage plotRecord(const SessionFiles::Loaded& loaded,
                  const std::vector<SessionFiles::FrameRow>& frames, QSize size) {
    const RecordChart chart = recordChart(loaded, frames);
    return plotProgram(chart.trace, QString(), size, chart.overlay);
}
