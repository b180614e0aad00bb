// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A map drawn with QPainter: Web Mercator tiles from a TileSource, the trail as a line, the car as
// a marker (an arrow when its heading is known), its coordinates, a scale bar and the tiles'
// attribution. The wheel zooms about the cursor, a drag pans, and while "follow the car" is on the
// next position brings the car back to the centre. Where a tile is missing, the tile of a lower
// zoom is drawn scaled, else a grid: the map never blanks. Without any tile it says so.

#include "core/map/WebMercator.h"
#include "ui/app/MapScriptTarget.h"

#include <QPointF>
#include <QPolygonF>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class TileSource;

class TKMapView : public QWidget, public MapScriptTarget {
    Q_OBJECT
public:
    // Positions kept in the trail; the oldest go first (a whole day's driving at one fix a second).
    static constexpr std::size_t kMaxTrail = 100000;
    static constexpr int kFirstFixZoom = 16;
    static constexpr int kMinViewZoom = 1;
    static constexpr int kMaxParentSteps = 6;

    // `tiles` may be null: a grid only, nothing fetched.
    explicit TKMapView(std::shared_ptr<TileSource> tiles, QWidget* parent = nullptr);
    ~TKMapView() override;

    void setLatLag(double longitude, double latitude, std::optional<double> heading = {}) override;
    void restartTrail() override;
    void setTrail(const std::vector<MapFix>& fixes) override;
    void ORBDebug(const QString& text) override;

    std::optional<MapFix> marker() const { return m_marker; }
    std::size_t trailSize() const { return m_trail.size(); }
    QString debugText() const { return m_debug; }
    // "Offline · no map tiles" when the last picture had no tile at all; else empty.
    QString statusText() const { return m_status; }
    static QString attribution();
    // Pictures drawn so far, and the tiles the last one lacked (drawn from a coarser tile or as grid).
    int paintCount() const { return m_paints; }
    int missingTiles() const { return m_missing; }

    int zoom() const { return m_zoom; }
    void setZoom(int zoom);
    // Zooms by `steps` keeping the ground under `pos` where it is.
    void zoomAbout(int steps, QPointF pos);
    nura::map::LatLon centre() const;
    void setCentre(nura::map::LatLon where);
    bool followsCar() const { return m_follow; }
    void setFollowsCar(bool follow);
    // Where a position is drawn in the widget.
    QPointF pointOf(nura::map::LatLon where) const;

    TileSource* tiles() const { return m_tiles.get(); }
    // The offline map chooser of the menu ("Offline Map…"); a file dialog unless a test sets one.
    std::function<QString(QWidget* parent)> chooseOfflineFile;

protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QPointF toScreen(QPointF world0) const;
    bool drawTiles(QPainter& painter);
    void drawGrid(QPainter& painter, const QRectF& area, double spacing);
    void drawTrail(QPainter& painter);
    void drawMarker(QPainter& painter);
    void drawOverlays(QPainter& painter);
    void moveMarker(const MapFix& fix);
    void appendToTrail(const MapFix& fix);

    std::shared_ptr<TileSource> m_tiles;
    int m_zoom = 2;
    bool m_userZoomed = false;
    QPointF m_centre{128, 128}; // the world at zoom 0
    bool m_follow = true;
    bool m_dragging = false;
    QPointF m_dragFrom;
    int m_wheelRest = 0;
    std::optional<MapFix> m_marker;
    QPolygonF m_trail; // the world at zoom 0, each point unwrapped next to the one before
    QString m_debug;
    QString m_status;
    int m_paints = 0;
    int m_missing = 0;
};
