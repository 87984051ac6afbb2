#include "records/RecordReport.h"

#include <QDir>
#include <QJsonArray>
#include <cmath>

#include "core/ClockText.h"
#include "records/RecordSchema.h"

namespace {

using namespace RecordSchema;

// Half a millisecond: how far the bins of the delivered frequency start before the first frame.
constexpr double BinLead = 0.0005;

QString fixed(double value, int decimals, int width) {
    return std::isnan(value) ? QString(NotApplicable).rightJustified(width)
                             : QString::number(value, 'f', decimals).rightJustified(width);
}

QString where(const SessionEvent& event) {
    return event.line > 0 ? QStringLiteral(" (line %1)").arg(event.line) : QString();
}

}  // namespace

double recordEnd(const SessionFiles::Loaded& loaded) {
    for (const SessionEvent& event : loaded.events) {
        if (event.kind == EventKind::Ended) {
            return event.onset;
        }
    }
    return loaded.totals.seconds;
}

QStringList reportLines(const SessionFiles::Loaded& loaded) {
    const QJsonObject& json = loaded.json;
    const QJsonObject program = json.value(Key::Program).toObject();
    const QJsonObject port = json.value(Key::ComPort).toObject();
    const QJsonObject ended = json.value(Key::Ended).toObject();
    const SessionTotals& totals = loaded.totals;

    QStringList lines;
    lines << QStringLiteral("record: %1").arg(QDir::toNativeSeparators(loaded.jsonPath));
    lines << QStringLiteral("program: %1, %2 bytes, SHA-256 %3")
                 .arg(program.value(Key::FileName).toString())
                 .arg(program.value(Key::Size).toInteger())
                 .arg(program.value(Key::Sha256).toString());
    lines << QStringLiteral("played: %1 by %2 %3 on %4 (%5)%6")
                 .arg(json.value(Key::StartTime).toString(),
                      json.value(Key::SoftwareProgram).toString(),
                      json.value(Key::SoftwareVersion).toString(), port.value(Key::Name).toString(),
                      port.value(Key::Identity)
                          .toString()
                          .replace(QLatin1Char('\n'), QStringLiteral("; ")),
                      json.value(Key::WhiteLeds).toBool() ? QStringLiteral(", white LEDs on")
                                                          : QString());
    lines << QString();
    lines << QStringLiteral(
        "line  segment  Hz asked  Hz delivered     ratio  late p99 ms  "
        "late max ms  jitter ms  stalls");
    for (const SessionEvent& event : loaded.events) {
        if (event.kind != EventKind::Segment) {
            continue;
        }
        lines << QStringLiteral("%1  %2  %3  %4  %5  %6  %7  %8  %9")
                     .arg(event.line, 4)
                     .arg(event.segmentId.value_or(0), 7)
                     .arg(fixed(event.askedHz, 3, 8), fixed(event.deliveredHz, 3, 12),
                          fixed(event.ratio, 6, 8), fixed(event.lateP99Ms, 3, 11),
                          fixed(event.lateMaxMs, 3, 11), fixed(event.jitterMs, 3, 9))
                     .arg(event.stalls < 0 ? 0 : event.stalls, 6);
    }
    lines << QString();
    for (const SessionEvent& event : loaded.events) {
        if (event.kind == EventKind::DeviceLost) {
            lines << QStringLiteral("device lost at %1 s for %2 s%3: %4")
                         .arg(event.onset, 0, 'f', 3)
                         .arg(event.duration, 0, 'f', 3)
                         .arg(where(event), event.note);
        } else if (event.kind == EventKind::Paused) {
            lines << QStringLiteral("paused at %1 s for %2 s%3")
                         .arg(event.onset, 0, 'f', 3)
                         .arg(event.duration, 0, 'f', 3)
                         .arg(where(event));
        } else if (event.kind == EventKind::Stall) {
            lines << QStringLiteral("stall at %1 s for %2 ms%3: %4")
                         .arg(event.onset, 0, 'f', 3)
                         .arg(event.duration * 1000.0, 0, 'f', 3)
                         .arg(where(event), event.note);
        }
    }
    lines << QStringLiteral(
                 "total: %1 (%2 s), %3 frames, %4 lit frames delivered, %5 failed "
                 "writes")
                 .arg(clockText(totals.seconds))
                 .arg(totals.seconds, 0, 'f', 3)
                 .arg(totals.frames)
                 .arg(totals.litFrames)
                 .arg(totals.failedWrites);
    lines << QStringLiteral(
                 "       %1 Hz asked, %2 Hz delivered, ratio %3; late p99 %4 ms, "
                 "max %5 ms; jitter %6 ms; %7 stall(s), %8 frame(s) skipped, %9 device "
                 "loss(es)")
                 .arg(fixed(totals.askedHz, 3, 0), fixed(totals.deliveredHz, 3, 0),
                      fixed(totals.ratio, 6, 0), fixed(totals.lateP99Ms, 3, 0),
                      fixed(totals.lateMaxMs, 3, 0), fixed(totals.jitterMs, 3, 0))
                 .arg(totals.stalls)
                 .arg(totals.skippedFrames)
                 .arg(totals.deviceLosses);
    if (totals.heldSeconds > 0) {
        lines << QStringLiteral("       paused for %1 s; the rates leave that time out")
                     .arg(totals.heldSeconds, 0, 'f', 3);
    }
    lines << QStringLiteral("ended: %1%2")
                 .arg(
                     ended.value(Key::Text).toString(),
                     totals.deviceLostAtEnd ? QStringLiteral(", with the device lost") : QString());
    return lines;
}

QJsonObject reportJson(const SessionFiles::Loaded& loaded) {
    QJsonArray segments;
    QJsonArray events;
    for (const SessionEvent& event : loaded.events) {
        (event.kind == EventKind::Segment ? segments : events)
            .append(SessionFiles::eventJson(event));
    }
    const QJsonObject& json = loaded.json;
    return QJsonObject{
        {Key::Record, loaded.jsonPath},
        {Key::Program, json.value(Key::Program).toObject().value(Key::FileName)},
        {Key::StartTime, json.value(Key::StartTime)},
        {Key::ComPort, json.value(Key::ComPort)},
        {Key::Segments, segments},
        {Key::Events, events},
        {Key::Totals, SessionFiles::totalsJson(loaded.totals)},
        {Key::Ended, json.value(Key::Ended)},
    };
}

QList<QPointF> deliveredPerSecond(const std::vector<SessionFiles::FrameRow>& frames, double end) {
    QList<QPointF> result;
    const double first = -BinLead;
    const auto bins = static_cast<qsizetype>(std::ceil(end - first));
    if (bins <= 0) {
        return result;
    }
    std::vector<int> counts(static_cast<size_t>(bins), 0);
    for (const SessionFiles::FrameRow& frame : frames) {
        if (frame.lit != 1 || frame.result <= 0 || frame.called < first) {
            continue;
        }
        const auto bin = static_cast<size_t>(std::floor(frame.called - first));
        if (bin < counts.size()) {
            ++counts[bin];
        }
    }
    for (qsizetype i = 0; i < bins; ++i) {
        const double from = first + static_cast<double>(i);
        const double length = std::min(from + 1.0, end) - from;
        // A last bin of less than half a second says little; it is left out.
        if (length < 0.5) {
            break;
        }
        result.append(QPointF(from, counts[static_cast<size_t>(i)] / length));
    }
    return result;
}
