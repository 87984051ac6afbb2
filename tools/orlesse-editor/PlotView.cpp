#include "PlotView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <algorithm>

#include "core/ClockText.h"

namespace {

const QColor PlayheadColour(200, 30, 30);

}  // namespace

PlotView::PlotView(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void PlotView::setTrace(const ProgramTrace& trace, const QString& name) {
    m_trace = trace;
    m_name = name;
    m_chart = QPixmap();
    update();
}

void PlotView::setPlayhead(std::optional<double> time) {
    if (time != m_playhead) {
        m_playhead = time;
        update();
    }
}

void PlotView::showPlayhead(int line, double seconds) {
    const auto segment =
        std::find_if(m_trace.segments.begin(), m_trace.segments.end(),
                     [line](const SegmentTrace& s) { return s.record.line() == line; });
    if (segment != m_trace.segments.end()) {
        setPlayhead(segment->start + seconds);
    }
}

QString PlotView::readoutAt(QPointF point) const {
    const std::optional<double> time = m_geometry.timeAt(point.x());
    if (!time || point.y() < m_geometry.area.top() || point.y() > m_geometry.area.bottom()) {
        return {};
    }
    const std::optional<PlotReading> reading = readingAt(m_trace, *time);
    if (!reading) {
        return {};
    }
    const ProgramRecord& record = m_trace.segments[reading->segment].record;
    QString text = QStringLiteral("%1 \u00b7 segment #%2 (line %3)")
                       .arg(clockText(reading->elapsed))
                       .arg(record.nSegmentID)
                       .arg(record.line());
    if (reading->frequency) {
        text += QStringLiteral(" \u00b7 %1 Hz").arg(*reading->frequency);
    }
    if (reading->level) {
        text += QStringLiteral(" \u00b7 level %1").arg(*reading->level);
    }
    return text;
}

void PlotView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange ||
        event->type() == QEvent::StyleChange) {
        m_chart = QPixmap();
    }
    QWidget::changeEvent(event);
}

void PlotView::paintEvent(QPaintEvent*) {
    const qreal ratio = devicePixelRatioF();
    if (m_chart.isNull() || m_chart.deviceIndependentSize() != QSizeF(size()) ||
        m_chart.devicePixelRatio() != ratio) {
        m_chart = QPixmap(size() * ratio);
        m_chart.setDevicePixelRatio(ratio);
        m_chart.fill(Qt::transparent);
        QPainter chart(&m_chart);
        // The chart's fonts follow the widget's font, so it reads as the rest of the window
        // does.
        const double scale = QFontInfo(font()).pixelSize() / 14.0;
        m_geometry = paintProgram(chart, m_trace, m_name, size(), scale);
    }
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_chart);
    if (m_playhead) {
        const double x = m_geometry.xOf(*m_playhead);
        painter.setPen(QPen(PlayheadColour, 2));
        painter.drawLine(QPointF(x, m_geometry.area.top()), QPointF(x, m_geometry.area.bottom()));
    }
}

void PlotView::mouseMoveEvent(QMouseEvent* event) {
    const QString text = readoutAt(event->position());
    if (text.isEmpty()) {
        QToolTip::hideText();
    } else {
        QToolTip::showText(event->globalPosition().toPoint(), text, this);
    }
    emit readoutChanged(text);
}

void PlotView::leaveEvent(QEvent*) {
    emit readoutChanged({});
}
