#include "charts/ProgramPlot.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "analysis/Simulation.h"
#include "core/ClockText.h"
#include "programs/SegmentPlayer.h"

namespace {

constexpr int MaxLevel = SegmentPlayer::MaxLevel;
// The level axis reaches a little past 255, so full level does not run along the frame.
constexpr double LevelAxisTop = 280;
const QColor FrequencyColour(31, 97, 180);
const QColor DeliveredColour(60, 170, 80);
const QColor LossColour(220, 40, 40, 70);
const QColor StallColour(140, 60, 200, 70);
const QColor PauseColour(110, 110, 110, 60);
const QColor LevelColour(222, 120, 20);
const QColor GridColour(225, 225, 225);
const QColor BoundaryColour(150, 150, 150);
const QColor TextColour(40, 40, 40);

// A step of 1, 2 or 5 times a power of ten that splits span into at most maxTicks pieces.
double niceStep(double span, int maxTicks) {
    const double raw = span / std::max(maxTicks, 1);
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double factor : {1.0, 2.0, 5.0, 10.0}) {
        if (factor * power >= raw) {
            return factor * power;
        }
    }
    return 10.0 * power;
}

// The time axis in a unit that suits the length: seconds, minutes or hours.
struct TimeUnit {
    double seconds;
    QString name;
};

TimeUnit timeUnit(double length) {
    if (length <= 180) {
        return {1, QStringLiteral("s")};
    }
    if (length <= 3 * 3600) {
        return {60, QStringLiteral("min")};
    }
    return {3600, QStringLiteral("h")};
}

QString number(double value) {
    return QString::number(value, 'g', 6);
}

// Draws values that hold from each step's time (x) to the next step's (or the end) as a
// stepped line.
void drawSteps(QPainter& painter, const QList<QPointF>& steps, double end,
               const std::function<QPointF(double, double)>& at) {
    if (steps.isEmpty()) {
        return;
    }
    QPainterPath path(at(steps[0].x(), steps[0].y()));
    for (qsizetype i = 0; i < steps.size(); ++i) {
        const double until = i + 1 < steps.size() ? steps[i + 1].x() : end;
        path.lineTo(at(until, steps[i].y()));
        if (i + 1 < steps.size()) {
            path.lineTo(at(until, steps[i + 1].y()));
        }
    }
    painter.drawPath(path);
}

QList<QPointF> points(const QList<TraceStep>& steps) {
    QList<QPointF> result;
    result.reserve(steps.size());
    for (const TraceStep& step : steps) {
        result.append(QPointF(step.time, step.value));
    }
    return result;
}

}  // namespace

QImage plotProgram(const ProgramTrace& trace, const QString& name, QSize size,
                   const PlotOverlay& overlay) {
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    paintProgram(painter, trace, name, size, 0, overlay);
    return image;
}

double plotScale(QSize size) {
    return std::clamp(std::min(size.width() / 1200.0, size.height() / 600.0), 0.5, 4.0);
}

double PlotGeometry::xOf(double time) const {
    return area.left() + (time - start) / length * area.width();
}

std::optional<double> PlotGeometry::timeAt(double x) const {
    if (area.width() <= 0 || x < area.left() || x > area.right()) {
        return std::nullopt;
    }
    return start + (x - area.left()) / area.width() * length;
}

std::optional<PlotReading> readingAt(const ProgramTrace& trace, double time) {
    if (trace.segments.isEmpty() || time < trace.start || time > trace.end) {
        return std::nullopt;
    }
    // The value of the last step at or before the time.
    const auto valueAt = [time](const QList<TraceStep>& steps) -> std::optional<int> {
        const auto after =
            std::upper_bound(steps.begin(), steps.end(), time,
                             [](double t, const TraceStep& step) { return t < step.time; });
        if (after == steps.begin()) {
            return std::nullopt;
        }
        return std::prev(after)->value;
    };
    const auto segmentAfter =
        std::upper_bound(trace.segments.begin(), trace.segments.end(), time,
                         [](double t, const SegmentTrace& segment) { return t < segment.start; });
    if (segmentAfter == trace.segments.begin()) {
        return std::nullopt;
    }
    PlotReading reading;
    reading.elapsed = time - trace.start;
    reading.segment = static_cast<int>(std::prev(segmentAfter) - trace.segments.begin());
    reading.frequency = valueAt(trace.frequency);
    reading.level = valueAt(trace.level);
    return reading;
}

PlotGeometry paintProgram(QPainter& painter, const ProgramTrace& trace, const QString& name,
                          QSize size, double scale, const PlotOverlay& overlay) {
    PlotGeometry geometry;
    painter.save();
    painter.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    painter.setRenderHint(QPainter::Antialiasing);
    if (scale <= 0) {
        scale = plotScale(size);
    }
    QFont font = painter.font();
    font.setPixelSize(std::max(9, static_cast<int>(std::lround(14 * scale))));
    QFont titleFont = font;
    titleFont.setPixelSize(std::max(11, static_cast<int>(std::lround(18 * scale))));
    titleFont.setBold(true);
    painter.setFont(font);
    const QFontMetrics metrics(font);
    const int gap = metrics.height() / 2;

    // Title line.
    painter.setPen(TextColour);
    painter.setFont(titleFont);
    QString title = QStringLiteral("%1 \u2014 %2").arg(name, clockText(trace.length()));
    if (trace.stoppedAtLine > 0) {
        title += QStringLiteral(" \u2014 drawn up to line %1: too many frames to work out")
                     .arg(trace.stoppedAtLine);
    }
    if (trace.failure) {
        title += QStringLiteral(" \u2014 the run ends: %1").arg(trace.failure->message());
    }
    if (!overlay.title.isEmpty()) {
        title = overlay.title;
    }
    const int titleHeight = QFontMetrics(titleFont).height();
    // A title wider than the image loses its end rather than both ends.
    title = QFontMetrics(titleFont).elidedText(title, Qt::ElideRight, size.width() - 2 * gap);
    painter.drawText(QRect(0, gap, size.width(), titleHeight), Qt::AlignCenter, title);
    painter.setFont(font);

    // The plot area, with room for the axis labels and the legend.
    const int left = metrics.horizontalAdvance(QStringLiteral("0000")) + 3 * metrics.height();
    const int right = left;
    const int top = gap + titleHeight + gap + 2 * metrics.height();
    const int bottom = 3 * metrics.height() + gap;
    const QRectF area(left, top, size.width() - left - right, size.height() - top - bottom);
    const double length = std::max(trace.length(), 1.0);
    geometry.area = area;
    geometry.start = trace.start;
    geometry.length = length;
    if (area.width() < 10 || area.height() < 10) {
        painter.restore();
        return geometry;
    }

    int maxFrequency = 1;
    for (const TraceStep& step : trace.frequency) {
        maxFrequency = std::max(maxFrequency, step.value);
    }
    for (const QPointF& point : overlay.delivered) {
        maxFrequency = std::max(maxFrequency, static_cast<int>(std::ceil(point.y())));
    }
    const double frequencyStep = niceStep(maxFrequency * 1.1, 8);
    const double frequencyTop = std::ceil(maxFrequency * 1.1 / frequencyStep) * frequencyStep;
    geometry.frequencyTop = frequencyTop;
    const auto x = [&geometry](double time) { return geometry.xOf(time); };
    const auto yFrequency = [&](double hz) {
        return area.bottom() - std::max(hz, 0.0) / frequencyTop * area.height();
    };
    const auto yLevel = [&](double level) {
        return area.bottom() -
               std::clamp(level, 0.0, double(MaxLevel)) / LevelAxisTop * area.height();
    };

    // Grid and frequency ticks (left).
    for (double hz = 0; hz <= frequencyTop + 1e-9; hz += frequencyStep) {
        const double y = yFrequency(hz);
        painter.setPen(GridColour);
        painter.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
        painter.setPen(FrequencyColour);
        painter.drawText(QRectF(0, y - metrics.height(), area.left() - gap, 2 * metrics.height()),
                         Qt::AlignRight | Qt::AlignVCenter, number(hz));
    }
    // Level ticks (right).
    painter.setPen(LevelColour);
    for (int level = 0; level <= MaxLevel; level += 50) {
        const double y = yLevel(level);
        painter.drawLine(QPointF(area.right(), y), QPointF(area.right() + gap / 2.0, y));
        painter.drawText(
            QRectF(area.right() + gap, y - metrics.height(), right, 2 * metrics.height()),
            Qt::AlignLeft | Qt::AlignVCenter, QString::number(level));
    }
    // Time ticks (bottom).
    const TimeUnit unit = timeUnit(length);
    const double timeStep = niceStep(length / unit.seconds, 10);
    painter.setPen(TextColour);
    for (double t = 0; t <= length / unit.seconds + 1e-9; t += timeStep) {
        const double px = x(trace.start + t * unit.seconds);
        painter.setPen(GridColour);
        painter.drawLine(QPointF(px, area.top()), QPointF(px, area.bottom()));
        painter.setPen(TextColour);
        painter.drawLine(QPointF(px, area.bottom()), QPointF(px, area.bottom() + gap / 2.0));
        painter.drawText(
            QRectF(px - 50 * scale, area.bottom() + gap / 2.0, 100 * scale, metrics.height()),
            Qt::AlignCenter, number(t));
    }

    // Axis titles.
    painter.drawText(QRectF(area.left(), area.bottom() + gap / 2.0 + metrics.height(), area.width(),
                            metrics.height() * 1.5),
                     Qt::AlignCenter, QStringLiteral("time (%1)").arg(unit.name));
    painter.save();
    painter.setPen(FrequencyColour);
    painter.translate(metrics.height() * 0.8, area.center().y());
    painter.rotate(-90);
    painter.drawText(
        QRectF(-area.height() / 2, -metrics.height(), area.height(), 2 * metrics.height()),
        Qt::AlignCenter, QStringLiteral("flash frequency (Hz)"));
    painter.restore();
    painter.save();
    painter.setPen(LevelColour);
    painter.translate(size.width() - metrics.height() * 0.8, area.center().y());
    painter.rotate(90);
    painter.drawText(
        QRectF(-area.height() / 2, -metrics.height(), area.height(), 2 * metrics.height()),
        Qt::AlignCenter, QStringLiteral("light level (0 to 255)"));
    painter.restore();

    // Segment boundaries with their ids, where there is room for the label.
    QPen boundaryPen(BoundaryColour, 1, Qt::DashLine);
    double lastLabelEnd = -1e9;
    for (const SegmentTrace& segment : trace.segments) {
        const double px = x(segment.start);
        painter.setPen(boundaryPen);
        painter.drawLine(QPointF(px, area.top()), QPointF(px, area.bottom()));
        const QString label = QStringLiteral("#%1").arg(segment.record.nSegmentID);
        const int width = metrics.horizontalAdvance(label);
        if (px + 2 > lastLabelEnd + gap && px + 2 + width <= area.right() + width) {
            painter.setPen(TextColour);
            painter.drawText(QPointF(px + 2, area.top() - gap / 2.0), label);
            lastLabelEnd = px + 2 + width;
        }
    }
    painter.setPen(QPen(TextColour, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(area);

    // Losses, stalls and pauses as shaded stretches, at least a pixel wide.
    painter.setPen(Qt::NoPen);
    for (const auto& [spans, colour] :
         {std::pair{&overlay.losses, LossColour}, std::pair{&overlay.stalls, StallColour},
          std::pair{&overlay.pauses, PauseColour}}) {
        painter.setBrush(colour);
        for (const PlotOverlay::Span& span : *spans) {
            const double from = x(span.start);
            painter.drawRect(
                QRectF(from, area.top(), std::max(x(span.end) - from, 1.5), area.height()));
        }
    }
    painter.setBrush(Qt::NoBrush);

    // The curves: the frequency delivered wide and light under the frequency asked, which is
    // solid, and the level thinner and dashed, so they differ in grey too.
    painter.setClipRect(area.adjusted(-2, -2, 2, 2));
    const auto frequencyPoint = [&](double t, double v) { return QPointF(x(t), yFrequency(v)); };
    painter.setPen(QPen(DeliveredColour, 6 * scale, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    drawSteps(painter, overlay.delivered, overlay.deliveredEnd, frequencyPoint);
    painter.setPen(QPen(LevelColour, 2 * scale, Qt::DashLine, Qt::FlatCap, Qt::MiterJoin));
    drawSteps(painter, points(trace.level), trace.end,
              [&](double t, double v) { return QPointF(x(t), yLevel(v)); });
    painter.setPen(QPen(FrequencyColour, 2.5 * scale, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    drawSteps(painter, points(trace.frequency), trace.end, frequencyPoint);
    painter.setClipping(false);

    // Legend above the plot, at its right end.
    const bool recorded = !overlay.delivered.isEmpty();
    const QString frequencyText =
        recorded ? QStringLiteral("frequency asked (Hz)") : QStringLiteral("flash frequency (Hz)");
    const QString deliveredText = QStringLiteral("delivered (Hz, per second)");
    const QString levelText = QStringLiteral("light level");
    const QString lossText = QStringLiteral("device lost");
    const QString stallText = QStringLiteral("stall");
    const QString pauseText = QStringLiteral("paused");
    const int swatch = 3 * metrics.height() / 2;
    const double legendY = area.top() - gap / 2.0 - metrics.height() * 1.6;
    const auto entryWidth = [&](const QString& text) {
        return swatch + gap + metrics.horizontalAdvance(text) + 2 * gap;
    };
    double legendWidth = entryWidth(frequencyText) + entryWidth(levelText) - 2 * gap;
    if (recorded) {
        legendWidth += entryWidth(deliveredText);
    }
    if (!overlay.losses.isEmpty()) {
        legendWidth += entryWidth(lossText);
    }
    if (!overlay.stalls.isEmpty()) {
        legendWidth += entryWidth(stallText);
    }
    if (!overlay.pauses.isEmpty()) {
        legendWidth += entryWidth(pauseText);
    }
    double lx = area.right() - legendWidth;
    const auto legendEntry = [&](const QPen& pen, const QString& text) {
        painter.setPen(pen);
        painter.drawLine(QPointF(lx, legendY), QPointF(lx + swatch, legendY));
        lx += swatch + gap;
        painter.setPen(TextColour);
        painter.drawText(QPointF(lx, legendY + metrics.ascent() / 2.5), text);
        lx += metrics.horizontalAdvance(text) + 2 * gap;
    };
    legendEntry(QPen(FrequencyColour, 2.5 * scale), frequencyText);
    if (recorded) {
        legendEntry(QPen(DeliveredColour, 6 * scale), deliveredText);
    }
    legendEntry(QPen(LevelColour, 2 * scale, Qt::DashLine), levelText);
    if (!overlay.losses.isEmpty()) {
        legendEntry(QPen(QColor(220, 40, 40), 6 * scale), lossText);
    }
    if (!overlay.stalls.isEmpty()) {
        legendEntry(QPen(QColor(140, 60, 200), 6 * scale), stallText);
    }
    if (!overlay.pauses.isEmpty()) {
        legendEntry(QPen(QColor(110, 110, 110), 6 * scale), pauseText);
    }
    painter.restore();
    return geometry;
}
