#include "LightView.h"

#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>

#include "LightModel.h"

namespace {

QColor fromRgb(quint32 rgb) {
    return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

// A quarter ring between radii inner and outer, centred on angleDeg (Qt Angles:
// counter-clockwise from three o'clock), leaving a small Gap at each end.
QPainterPath quarterRing(QPointF centre, qreal inner, qreal outer, qreal angleDeg) {
    constexpr qreal Gap = 6.0;
    const qreal start = angleDeg - 45.0 + Gap / 2;
    const qreal span = 90.0 - Gap;
    QPainterPath path;
    const QRectF outerRect(centre.x() - outer, centre.y() - outer, 2 * outer, 2 * outer);
    const QRectF innerRect(centre.x() - inner, centre.y() - inner, 2 * inner, 2 * inner);
    path.arcMoveTo(outerRect, start);
    path.arcTo(outerRect, start, span);
    path.arcTo(innerRect, start + span, -span);
    path.closeSubpath();
    return path;
}

}  // namespace

LightView::LightView(const LightModel& model, QWidget* parent) : QWidget(parent), m_model(model) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void LightView::paintEvent(QPaintEvent* /*event*/) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), QColor(24, 24, 28));

    const qreal side = std::min(width(), height());
    const QPointF centre = QRectF(rect()).center();
    const qreal outer = side / 2 - 8;
    const qreal inner = outer * 0.62;
    const qreal core = outer * 0.42;

    // Segment 1 at the top, then clockwise: right, bottom, left.
    constexpr qreal Angles[LightModel::SegmentCount] = {90.0, 0.0, 270.0, 180.0};
    QFont labelFont = font();
    labelFont.setPixelSize(std::max(10, static_cast<int>(side / 22)));
    labelFont.setBold(true);
    p.setFont(labelFont);
    for (int s = 1; s <= LightModel::SegmentCount; ++s) {
        const quint32 rgb = m_model.segmentColour(s);
        const QColor colour = fromRgb(rgb);
        const QPainterPath ring = quarterRing(centre, inner, outer, Angles[s - 1]);
        p.setPen(QPen(rgb == 0 ? QColor(90, 90, 96) : colour.lighter(130), 1.5));
        p.setBrush(rgb == 0 ? QColor(40, 40, 46) : colour);
        p.drawPath(ring);

        // The segment number in the middle of its arc, dark on light colours.
        const qreal mid = (inner + outer) / 2;
        const qreal rad = qDegreesToRadians(Angles[s - 1]);
        const QPointF at(centre.x() + mid * std::cos(rad), centre.y() - mid * std::sin(rad));
        const int luma = (299 * colour.red() + 587 * colour.green() + 114 * colour.blue()) / 1000;
        p.setPen(luma > 128 ? Qt::black : QColor(230, 230, 230));
        p.drawText(QRectF(at.x() - 20, at.y() - 12, 40, 24), Qt::AlignCenter, QString::number(s));
    }

    // The white LEDs: a glowing disc when on, a dim one when off.
    const QRectF coreRect(centre.x() - core, centre.y() - core, 2 * core, 2 * core);
    if (m_model.whiteOn()) {
        QRadialGradient glow(centre, core * 1.25);
        glow.setColorAt(0.0, Qt::white);
        glow.setColorAt(0.75, QColor(255, 255, 235));
        glow.setColorAt(1.0, QColor(255, 255, 220, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(glow);
        p.drawEllipse(centre, core * 1.25, core * 1.25);
        p.setBrush(QColor(255, 255, 250));
        p.setPen(QPen(QColor(255, 255, 200), 2));
        p.drawEllipse(coreRect);
    } else {
        p.setBrush(QColor(48, 48, 54));
        p.setPen(QPen(QColor(90, 90, 96), 1.5));
        p.drawEllipse(coreRect);
    }
    p.setPen(m_model.whiteOn() ? QColor(60, 60, 60) : QColor(150, 150, 150));
    p.drawText(coreRect, Qt::AlignCenter, m_model.whiteOn() ? tr("WHITE\nON") : tr("white\noff"));
}
