// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The whole G-sensor trace of a recording (x red, y green, z blue, -2 g to +2 g) with a white bar at
// the playback position. The grid and traces are drawn once into a cached picture per sample list and
// size (a new size draws them again); moving the bar only repaints the bar's old and new strips.
// Event markers (moments of sharp force) are drawn with the traces, each with its tooltip.

#include "core/telemetry/ORBGSensor.h"
#include "ui/views/TKMarker.h"

#include <QPixmap>
#include <QWidget>

#include <memory>
#include <vector>

class GraphView : public QWidget {
    Q_OBJECT
public:
    using Samples = std::shared_ptr<const std::vector<nura::ORBGSensor>>;
    using Marker = TKMarker;

    explicit GraphView(QWidget* parent = nullptr);

    void setGraphData(Samples values);
    void updateTimePosition(double position);
    void setMarkers(std::vector<Marker> markers);
    const std::vector<Marker>& markers() const { return m_markers; }
    // The marker drawn at `x` (widget coordinates, within a few points), or none.
    const Marker* markerAt(double x) const;
    double timePosition() const { return m_timePosition; }
    size_t sampleCount() const { return m_values ? m_values->size() : 0; }

    // Geometry in the view's own coordinates with y upward from the bottom edge.
    static QPointF graphAreaLeftBottom() { return {20, 8}; }
    QSizeF graphAreaSize() const;
    QPointF graphAreaZeroValuePoint() const;
    // The bar's rectangle in widget coordinates (y downward).
    QRectF timeBarRect() const;
    // How many times the grid and traces have been drawn (the cache's misses).
    int traceRenderCount() const { return m_traceRenders; }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    void renderTraces();
    void renderMarkers(QPainter& p) const;
    double markerX(const Marker& m) const { return kLeft + graphAreaSize().width() * m.position; }
    static constexpr double kLeft = 20;
    // y upward from the bottom edge to widget coordinates.
    double flip(double y) const { return height() - y; }

    Samples m_values;
    std::vector<Marker> m_markers;
    double m_timePosition = 0;
    QPixmap m_cache;
    int m_traceRenders = 0;
};
