// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A map drawn with QPainter: Web Mercator tiles from a TileSource, a whole route and the trail as
// lines, the car as a marker (an arrow when its heading is known), its coordinates, a scale bar and
// the tiles' attribution. The wheel zooms about the cursor, a drag pans, and while "follow the car"
// is on the next position brings the car back to the centre. Where a tile is missing, the tile of a
// lower zoom is drawn scaled, else a grid: the map never blanks. Without any tile it says so.
//
// The car moves several times a second, so the ground (tiles or grid, the route, the trail) is drawn
// once into a layer larger than the view, in whole pixels; a new position shifts that layer, draws
// the trail's new piece onto it, and paints only the car and the texts over it. The layer is drawn
// again when the view leaves it, the zoom changes or tiles arrive.

#include "core/map/WebMercator.h"
#include "ui/app/PlaybackMap.h"

#include <QImage>
#include <QPointF>
#include <QPolygonF>
#include <QRect>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class TileSource;

class TKMapView : public QWidget, public PlaybackMap {
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
    void clearMarker() override;
    // A whole route (a drive's, many fixes), drawn under the trail; empty removes it. The marker and
    // the view stay where they are.
    void setRoute(const std::vector<MapFix>& fixes) override;
    std::size_t routeSize() const { return m_route.size(); }

    std::optional<MapFix> marker() const { return m_marker; }
    std::size_t trailSize() const { return m_trail.size(); }
    QString debugText() const { return m_debug; }
    // "Offline · no map tiles" when the last picture had no tile at all; else empty.
    QString statusText() const { return m_status; }
    static QString attribution();
    // Pictures drawn so far, and the tiles the last one lacked (drawn from a coarser tile or as grid).
    int paintCount() const { return m_paints; }
    int missingTiles() const { return m_missing; }
    // Times the ground was drawn whole into the layer.
    int layerDraws() const { return m_layerDraws; }
    // The picture as drawn straight onto the view, without the layer: what the layer must give.
    QImage pictureWithoutLayer();

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
    void hideEvent(QHideEvent* event) override;

private:
    // A tile place of the ground drawn, in world pixels at the zoom drawn, and whether its own tile
    // was there (else a coarser one, or the grid).
    struct GroundTile {
        QRect rect;
        nura::map::TileKey key;
        bool own = false;
    };
    struct Ground {
        QRect area; // world pixels at `zoom`, unwrapped as the centre is
        int zoom = -1;
        double trailShift = 0, routeShift = 0; // whole worlds, in world pixels
    };

    QPointF toScreen(QPointF world0) const;
    // The world pixel (at the view's zoom) at the view's top left corner, rounded: the ground is
    // drawn in whole pixels so that the layer's shifted picture is exactly the one drawn in place.
    QPoint viewOrigin() const;
    Ground groundFor(QRect area) const;
    std::vector<GroundTile> drawGround(QPainter& painter, const Ground& ground);
    std::vector<GroundTile> drawTiles(QPainter& painter, const Ground& ground);
    void drawGrid(QPainter& painter, const QRectF& area, double spacing);
    void drawRoute(QPainter& painter, const Ground& ground);
    void drawTrail(QPainter& painter, const Ground& ground, qsizetype from);
    void drawMarker(QPainter& painter);
    void drawOverlays(QPainter& painter);
    void paintOver(QPainter& painter, const std::vector<GroundTile>& tiles, QPoint origin);
    void updateLayer();
    void dropLayer();
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
    QPolygonF m_trail;                 // the world at zoom 0, each point unwrapped next to the one before
    QPolygonF m_route;                 // likewise
    std::vector<QRectF> m_routeBounds; // of each piece of the route drawn as one line
    double m_routeMiddle = 0;          // across, of the route's bounds
    QImage m_layer;
    Ground m_layerGround;
    std::vector<GroundTile> m_layerTiles;
    qsizetype m_layerTrail = 0; // trail points drawn into the layer
    bool m_layerValid = false;
    int m_layerDraws = 0;
    QString m_debug;
    QString m_status;
    int m_paints = 0;
    int m_missing = 0;
};
