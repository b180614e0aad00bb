// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/views/GraphView.h"

#include <QHelpEvent>
#include <QPainter>
#include <QPolygonF>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kBottom = 8;
// Event markers: amber, apart from the axes' colours and the white bar.
const QColor kMarkerColour(255, 176, 0);

} // namespace

GraphView::GraphView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

QSizeF GraphView::graphAreaSize() const {
    return {std::max(0, width() - 40) * 1.0, std::max(0, height() - 16) * 1.0};
}

QPointF GraphView::graphAreaZeroValuePoint() const {
    return {kLeft, kBottom + graphAreaSize().height() / 2};
}

QRectF GraphView::timeBarRect() const {
    const QSizeF area = graphAreaSize();
    return {kLeft + area.width() * m_timePosition, flip(kBottom + area.height()), 2, area.height()};
}

void GraphView::setGraphData(Samples values) {
    m_values = std::move(values);
    m_cache = QPixmap();
    update();
}

void GraphView::setMarkers(std::vector<Marker> markers) {
    m_markers = std::move(markers);
    m_cache = QPixmap();
    update();
}

const GraphView::Marker* GraphView::markerAt(double x) const {
    const Marker* nearest = nullptr;
    double best = 4;
    for (const Marker& m : m_markers) {
        if (const double d = std::abs(markerX(m) - x); d <= best) {
            best = d;
            nearest = &m;
        }
    }
    return nearest;
}

bool GraphView::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip) {
        return QWidget::event(event);
    }
    auto* help = static_cast<QHelpEvent*>(event);
    if (const Marker* m = markerAt(help->pos().x())) {
        QToolTip::showText(help->globalPos(), m->toolTip, this);
    } else {
        QToolTip::hideText();
        event->ignore();
    }
    return true;
}

void GraphView::renderMarkers(QPainter& p) const {
    const QSizeF area = graphAreaSize();
    for (const Marker& m : m_markers) {
        const double x = markerX(m), top = flip(kBottom + area.height());
        p.fillRect(QRectF(x - 0.5, top, 1, area.height()), kMarkerColour);
        // A small flag at the top, pointing down at the moment.
        p.setPen(Qt::NoPen);
        p.setBrush(kMarkerColour);
        p.drawPolygon(QPolygonF({QPointF(x - 4, top - 6), QPointF(x + 4, top - 6), QPointF(x, top)}));
    }
}

void GraphView::updateTimePosition(double position) {
    if (!std::isfinite(position)) {
        position = 0;
    }
    const QRect before = timeBarRect().toAlignedRect().adjusted(-1, 0, 1, 0);
    m_timePosition = position;
    if (sampleCount() > 0) {
        update(before);
        update(timeBarRect().toAlignedRect().adjusted(-1, 0, 1, 0));
    }
}

void GraphView::renderTraces() {
    ++m_traceRenders;
    const qreal ratio = devicePixelRatioF();
    m_cache = QPixmap((QSizeF(size()) * ratio).toSize());
    m_cache.setDevicePixelRatio(ratio);
    m_cache.fill(Qt::transparent);
    QPainter p(&m_cache);

    const QSizeF area = graphAreaSize();
    const double w = area.width(), h = area.height(), q = h / 4;
    const QColor grey = QColor::fromRgbF(0.8f, 0.8f, 0.8f);
    for (int k = 0; k <= 4; ++k) {
        p.fillRect(QRectF(kLeft, flip(kBottom + k * q) - 1, w, 1), grey);
    }
    p.fillRect(QRectF(kLeft, flip(kBottom + h), 1, h), grey);

    QFont font(QStringLiteral("helvetica"));
    font.setPixelSize(12);
    p.setFont(font);
    p.setPen(Qt::white);
    const QFontMetricsF metrics(font);
    const char* labels[] = {"-2", "-1", "0", "+1", "+2"};
    for (int k = 0; k <= 4; ++k) {
        const QString text = QLatin1String(labels[k]);
        const double tw = metrics.horizontalAdvance(text), th = metrics.height();
        // Right-aligned 2 points left of the axis, about centred on its line.
        const double bottomUp = kBottom + k * q - (th / 2 - 2);
        p.drawText(QPointF(kLeft - (tw + 2), flip(bottomUp) - metrics.descent()), text);
    }

    renderMarkers(p);
    const size_t n = sampleCount();
    if (n == 0 || w <= 0) {
        return;
    }
    const QPointF zero = graphAreaZeroValuePoint();
    const double s = q;
    // Ten points per unit of width, whatever the recording's length: samples are picked, not averaged.
    const auto steps = static_cast<long>(w * 10 + 1);
    const auto& samples = *m_values;
    const std::pair<float (nura::ORBGSensor::*)() const, QColor> axes[] = {
        {&nura::ORBGSensor::x, Qt::red}, {&nura::ORBGSensor::y, Qt::green}, {&nura::ORBGSensor::z, Qt::blue}};
    QPolygonF line;
    line.reserve(static_cast<qsizetype>(std::min<long>(steps, 100000)));
    for (const auto& [value, colour] : axes) {
        line.clear();
        line << QPointF(zero.x() + 1, flip(zero.y() + s * static_cast<double>((samples[0].*value)())));
        for (long i = 1; i < steps; ++i) {
            const auto index = static_cast<size_t>(static_cast<double>(n) / static_cast<double>(steps) * i);
            if (index >= n) {
                break;
            }
            line << QPointF(zero.x() + 1 + i * 0.1,
                            flip(zero.y() + s * static_cast<double>((samples[index].*value)())));
        }
        QPen pen(colour, 1);
        pen.setJoinStyle(Qt::RoundJoin);
        p.setPen(pen);
        p.drawPolyline(line);
    }
}

void GraphView::paintEvent(QPaintEvent*) {
    if (m_cache.isNull() || m_cache.deviceIndependentSize().toSize() != size()) {
        renderTraces();
    }
    QPainter p(this);
    p.drawPixmap(0, 0, m_cache);
    if (sampleCount() > 0) {
        p.fillRect(timeBarRect(), Qt::white);
    }
}
