// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/views/TKMapView.h"

#include "platform/TileSource.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

using nura::map::kTileSize;

const QColor kBackground(0x1b, 0x1f, 0x24);
const QColor kGridFine(0x25, 0x2a, 0x31);
const QColor kGridTile(0x30, 0x37, 0x41);
const QColor kTrail(0x3f, 0xa7, 0xf5);
const QColor kRoute(0x5b, 0x7c, 0x99);
constexpr double kTrailWidth = 4, kRouteWidth = 6;
// Points of the route drawn as one line: a piece is drawn whole or not at all, wherever the view is.
constexpr qsizetype kRoutePiece = 64;
// The layer reaches half a view past each edge, within these bounds: a car at 100 km/h at zoom 16
// crosses such a margin in some 15 s; a window-sized map keeps its layer in some 20 MB.
constexpr int kMinLayerMargin = 192, kMaxLayerMargin = 384;
const QColor kMarker(0xe8, 0x45, 0x3c);
const QColor kBadge(20, 24, 29, 210);
const QColor kText(0xd9, 0xde, 0xe4);
const QColor kStatus(0xf0, 0xb3, 0x5a);
const QLatin1String kNoGps("GPS Data Count=Zero");

QPointF world0(double latitude, double longitude) {
    const auto p = nura::map::project({latitude, longitude}, 0);
    return {p.x, p.y};
}

QString hemisphere(double value, QChar positive, QChar negative) {
    return QStringLiteral("%1\u00b0 %2").arg(std::abs(value), 0, 'f', 6).arg(value < 0 ? negative : positive);
}

// A text on a dark rounded box; `anchor` is the corner of the box nearest the widget's corner.
QRectF badge(QPainter& painter, const QString& text, QPointF anchor, Qt::Alignment corner,
             const QColor& colour) {
    const QFontMetricsF metrics(painter.font());
    const QSizeF size(metrics.horizontalAdvance(text) + 14, metrics.height() + 6);
    QRectF box(anchor, size);
    if (corner & Qt::AlignRight) {
        box.moveRight(anchor.x());
    }
    if (corner & Qt::AlignBottom) {
        box.moveBottom(anchor.y());
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(kBadge);
    painter.drawRoundedRect(box, 3, 3);
    painter.setPen(colour);
    painter.drawText(box, Qt::AlignCenter, text);
    return box;
}

} // namespace

TKMapView::TKMapView(std::shared_ptr<TileSource> tiles, QWidget* parent)
    : QWidget(parent), m_tiles(std::move(tiles)) {
    setObjectName(QStringLiteral("mapView"));
    setMinimumSize(120, 120);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::OpenHandCursor);
    if (m_tiles) {
        connect(m_tiles.get(), &TileSource::tilesChanged, this, [this] {
            dropLayer();
            update();
        });
    }
}

TKMapView::~TKMapView() = default;

QString TKMapView::attribution() {
    return QStringLiteral("\u00a9 OpenStreetMap contributors");
}

// ---------------------------------------------------------------- the playback's calls

void TKMapView::setLatLag(double longitude, double latitude, std::optional<double> heading) {
    if (!std::isfinite(longitude) || !std::isfinite(latitude) || std::abs(latitude) > 90 ||
        std::abs(longitude) > 180) {
        return;
    }
    if (heading && !std::isfinite(*heading)) {
        heading.reset();
    }
    const MapFix fix{longitude, latitude, heading};
    appendToTrail(fix);
    moveMarker(fix);
}

void TKMapView::restartTrail() {
    m_trail.clear();
    dropLayer();
    update();
}

void TKMapView::setTrail(const std::vector<MapFix>& fixes) {
    m_trail.clear();
    dropLayer();
    std::optional<MapFix> last;
    for (const MapFix& fix : fixes) {
        if (std::isfinite(fix.longitude) && std::isfinite(fix.latitude) && std::abs(fix.latitude) <= 90 &&
            std::abs(fix.longitude) <= 180) {
            appendToTrail(fix);
            last = fix;
        }
    }
    if (last) {
        moveMarker(*last);
    } else {
        m_marker.reset();
        update();
    }
}

void TKMapView::setRoute(const std::vector<MapFix>& fixes) {
    m_route.clear();
    m_routeBounds.clear();
    for (const MapFix& fix : fixes) {
        if (!std::isfinite(fix.longitude) || !std::isfinite(fix.latitude) || std::abs(fix.latitude) > 90 ||
            std::abs(fix.longitude) > 180) {
            continue;
        }
        QPointF p = world0(fix.latitude, fix.longitude);
        if (!m_route.isEmpty()) {
            p.rx() -= std::round((p.x() - m_route.last().x()) / kTileSize) * kTileSize;
            if (p == m_route.last()) {
                continue;
            }
        }
        m_route.append(p);
    }
    // Pieces share their end points, so that the line goes on unbroken from one to the next.
    QRectF all;
    for (qsizetype first = 0; first + 1 < m_route.size(); first += kRoutePiece) {
        const qsizetype last = std::min(first + kRoutePiece, m_route.size() - 1);
        const QRectF bounds = QPolygonF(m_route.mid(first, last - first + 1)).boundingRect();
        m_routeBounds.push_back(bounds);
        all = all.isNull() ? bounds : all.united(bounds);
    }
    m_routeMiddle = m_route.isEmpty() ? 0 : (m_route.size() == 1 ? m_route[0].x() : all.center().x());
    dropLayer();
    update();
}

void TKMapView::clearMarker() {
    // Said again with every position of a recording without GPS: nothing new to draw then.
    if (m_debug == kNoGps && !m_marker) {
        return;
    }
    m_debug = kNoGps;
    m_marker.reset(); // the last recording's car is not here
    update();
}

void TKMapView::appendToTrail(const MapFix& fix) {
    QPointF p = world0(fix.latitude, fix.longitude);
    if (!m_trail.isEmpty()) {
        // Crossing the antimeridian continues the line past the world's edge instead of across it.
        const double dx = p.x() - m_trail.last().x();
        p.rx() -= std::round(dx / kTileSize) * kTileSize;
        if (p == m_trail.last()) {
            return;
        }
    }
    if (m_trail.size() >= static_cast<qsizetype>(kMaxTrail)) {
        m_trail.remove(0, m_trail.size() / 10);
        dropLayer();
    }
    m_trail.append(p);
}

void TKMapView::moveMarker(const MapFix& fix) {
    const bool first = !m_marker;
    // Playback sends the position several times a second and the car's fix changes less often:
    // the same fix where the view already shows it is not painted again.
    if (!first && m_debug.isEmpty() && m_marker->latitude == fix.latitude &&
        m_marker->longitude == fix.longitude && m_marker->headingDegrees == fix.headingDegrees &&
        (!m_follow || m_dragging || m_centre == world0(fix.latitude, fix.longitude))) {
        return;
    }
    m_marker = fix;
    m_debug.clear();
    if (first && !m_userZoomed) {
        m_zoom = kFirstFixZoom;
    }
    if (m_follow && !m_dragging) {
        m_centre = world0(fix.latitude, fix.longitude);
    }
    update();
}

// ---------------------------------------------------------------- the view

void TKMapView::setZoom(int zoom) {
    m_zoom = std::clamp(zoom, kMinViewZoom, nura::map::kMaxZoom);
    m_userZoomed = true;
    update();
}

void TKMapView::zoomAbout(int steps, QPointF pos) {
    const int zoom = std::clamp(m_zoom + steps, kMinViewZoom, nura::map::kMaxZoom);
    if (zoom == m_zoom) {
        return;
    }
    // The ground under `pos` stays under it.
    const QPointF offset = pos - QPointF(width() / 2.0, height() / 2.0);
    const QPointF ground = m_centre + offset / std::exp2(m_zoom);
    m_zoom = zoom;
    m_userZoomed = true;
    m_centre = ground - offset / std::exp2(m_zoom);
    update();
}

nura::map::LatLon TKMapView::centre() const {
    return nura::map::unproject({m_centre.x(), m_centre.y()}, 0);
}

void TKMapView::setCentre(nura::map::LatLon where) {
    m_centre = world0(where.latitude, where.longitude);
    update();
}

void TKMapView::setFollowsCar(bool follow) {
    m_follow = follow;
    if (follow && m_marker) {
        m_centre = world0(m_marker->latitude, m_marker->longitude);
    }
    update();
}

QPointF TKMapView::toScreen(QPointF world) const {
    double dx = world.x() - m_centre.x();
    dx -= std::round(dx / kTileSize) * kTileSize; // the nearest copy of the world
    return QPointF(width() / 2.0 + dx * std::exp2(m_zoom),
                   height() / 2.0 + (world.y() - m_centre.y()) * std::exp2(m_zoom));
}

QPointF TKMapView::pointOf(nura::map::LatLon where) const {
    return toScreen(world0(where.latitude, where.longitude));
}

// ---------------------------------------------------------------- drawing

QPoint TKMapView::viewOrigin() const {
    const double scale = std::exp2(m_zoom);
    return QPoint(static_cast<int>(std::lround(m_centre.x() * scale - width() / 2.0)),
                  static_cast<int>(std::lround(m_centre.y() * scale - height() / 2.0)));
}

TKMapView::Ground TKMapView::groundFor(QRect area) const {
    // The copy of the world holding the trail's end is the one drawn, and the copy holding the
    // route's middle: the nearest to the centre.
    const auto shift = [this](double x) { return std::round((x - m_centre.x()) / kTileSize) * kTileSize; };
    return {area, m_zoom, m_trail.isEmpty() ? 0.0 : shift(m_trail.last().x()),
            m_route.isEmpty() ? 0.0 : shift(m_routeMiddle)};
}

void TKMapView::dropLayer() {
    m_layerValid = false;
}

void TKMapView::updateLayer() {
    const QRect view(viewOrigin(), size());
    const Ground now = groundFor(m_layerGround.area);
    if (m_layerValid && m_layerGround.zoom == m_zoom && m_layerGround.area.contains(view) &&
        now.trailShift == m_layerGround.trailShift && now.routeShift == m_layerGround.routeShift) {
        if (m_layerTrail < m_trail.size()) {
            // Only the trail's new piece, onto the ground already drawn.
            QPainter painter(&m_layer);
            painter.setRenderHint(QPainter::Antialiasing);
            drawTrail(painter, m_layerGround, m_layerTrail);
            m_layerTrail = m_trail.size();
        }
        return;
    }
    const int margin = std::clamp(std::max(width(), height()) / 2, kMinLayerMargin, kMaxLayerMargin);
    m_layerGround = groundFor(view.adjusted(-margin, -margin, margin, margin));
    if (m_layer.size() != m_layerGround.area.size()) {
        m_layer = QImage(m_layerGround.area.size(), QImage::Format_ARGB32_Premultiplied);
    }
    QPainter painter(&m_layer);
    m_layerTiles = drawGround(painter, m_layerGround);
    m_layerTrail = m_trail.size();
    m_layerValid = true;
    ++m_layerDraws;
}

void TKMapView::paintEvent(QPaintEvent*) {
    updateLayer();
    QPainter painter(this);
    const QPoint origin = viewOrigin();
    painter.drawImage(m_layerGround.area.topLeft() - origin, m_layer);
    paintOver(painter, m_layerTiles, origin);
    ++m_paints;
}

QImage TKMapView::pictureWithoutLayer() {
    QImage picture(size(), QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&picture);
    const QPoint origin = viewOrigin();
    const auto tiles = drawGround(painter, groundFor(QRect(origin, size())));
    paintOver(painter, tiles, origin);
    return picture;
}

std::vector<TKMapView::GroundTile> TKMapView::drawGround(QPainter& painter, const Ground& ground) {
    painter.fillRect(QRect(QPoint(), ground.area.size()), kBackground);
    auto tiles = drawTiles(painter, ground);
    painter.setRenderHint(QPainter::Antialiasing);
    drawRoute(painter, ground);
    drawTrail(painter, ground, 1);
    painter.setRenderHint(QPainter::Antialiasing, false);
    return tiles;
}

void TKMapView::paintOver(QPainter& painter, const std::vector<GroundTile>& tiles, QPoint origin) {
    // The tiles the view shows are asked for, the one under the centre first: with few transfers
    // free, it is fetched first. Those drawn are asked too, so that a stale one is fetched again.
    // The layer's margin is never fetched.
    const QRect view(origin, size());
    bool any = false;
    m_missing = 0;
    std::vector<const GroundTile*> shown;
    for (const GroundTile& tile : tiles) {
        if (tile.rect.intersects(view)) {
            shown.push_back(&tile);
            any = any || tile.own;
            m_missing += tile.own ? 0 : 1;
        }
    }
    if (m_tiles) {
        const QPointF middle = QRectF(view).center();
        const auto distance = [&](const GroundTile* t) {
            return QLineF(QRectF(t->rect).center(), middle).length();
        };
        std::stable_sort(shown.begin(), shown.end(),
                         [&](const GroundTile* a, const GroundTile* b) { return distance(a) < distance(b); });
        m_tiles->beginView();
        bool atHand = false;
        for (const GroundTile* tile : shown) {
            atHand = (!m_tiles->tile(tile->key).isNull() && !tile->own) || atHand;
        }
        if (atHand) {
            // Come since the layer was drawn, without word: drawn at the next paint.
            dropLayer();
            update();
        }
    }
    m_status =
        any || (m_tiles && m_tiles->busy() > 0) ? QString() : QStringLiteral("Offline \u00b7 no map tiles");
    painter.setRenderHint(QPainter::Antialiasing);
    drawMarker(painter);
    drawOverlays(painter);
}

std::vector<TKMapView::GroundTile> TKMapView::drawTiles(QPainter& painter, const Ground& ground) {
    const QRect area = ground.area;
    const int n = 1 << ground.zoom;
    const int firstX = static_cast<int>(std::floor(area.left() / double(kTileSize)));
    const int lastX = static_cast<int>(std::ceil((area.left() + area.width()) / double(kTileSize))) - 1;
    const int firstY = std::max(0, static_cast<int>(std::floor(area.top() / double(kTileSize))));
    const int lastY =
        std::min(n - 1, static_cast<int>(std::ceil((area.top() + area.height()) / double(kTileSize))) - 1);
    std::vector<GroundTile> drawn;
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    for (int ty = firstY; ty <= lastY; ++ty) {
        for (int tx = firstX; tx <= lastX; ++tx) {
            const QRect place(tx * kTileSize, ty * kTileSize, kTileSize, kTileSize);
            const QRectF target(place.translated(-area.topLeft()));
            const nura::map::TileKey key{ground.zoom, nura::map::wrapTileX(tx, ground.zoom), ty};
            drawn.push_back({place, key, false});
            if (m_tiles) {
                // Read from this machine if need be, never fetched here: the view asks for what it shows.
                if (const QPixmap tile = m_tiles->tile(key, false); !tile.isNull()) {
                    painter.drawPixmap(target, tile, QRectF(tile.rect()));
                    drawn.back().own = true;
                    continue;
                }
                // A lower zoom's tile, scaled, while this one is missing.
                bool fallback = false;
                for (int up = 1; up <= kMaxParentSteps && up <= ground.zoom && !fallback; ++up) {
                    const nura::map::TileKey parent{ground.zoom - up, key.x >> up, key.y >> up};
                    const QPixmap tile = m_tiles->tile(parent, false);
                    if (tile.isNull()) {
                        continue;
                    }
                    const double part = tile.width() / double(1 << up);
                    const QRectF source((key.x & ((1 << up) - 1)) * part, (key.y & ((1 << up) - 1)) * part,
                                        part, part);
                    painter.drawPixmap(target, tile, source);
                    fallback = true;
                }
                if (fallback) {
                    continue;
                }
            }
            drawGrid(painter, target, kTileSize / 4.0);
        }
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    return drawn;
}

void TKMapView::drawGrid(QPainter& painter, const QRectF& area, double spacing) {
    painter.setPen(QPen(kGridFine, 1));
    for (double x = area.left() + spacing; x < area.right() - 0.5; x += spacing) {
        painter.drawLine(QPointF(std::round(x) + 0.5, area.top()),
                         QPointF(std::round(x) + 0.5, area.bottom()));
    }
    for (double y = area.top() + spacing; y < area.bottom() - 0.5; y += spacing) {
        painter.drawLine(QPointF(area.left(), std::round(y) + 0.5),
                         QPointF(area.right(), std::round(y) + 0.5));
    }
    painter.setPen(QPen(kGridTile, 1));
    painter.drawLine(QPointF(area.left(), std::round(area.top()) + 0.5),
                     QPointF(area.right(), std::round(area.top()) + 0.5));
    painter.drawLine(QPointF(std::round(area.left()) + 0.5, area.top()),
                     QPointF(std::round(area.left()) + 0.5, area.bottom()));
}

void TKMapView::drawRoute(QPainter& painter, const Ground& ground) {
    if (m_route.size() < 2) {
        return;
    }
    const double scale = std::exp2(ground.zoom);
    const QPointF origin = ground.area.topLeft(), shift(ground.routeShift, 0);
    const auto place = [&](QPointF p) { return (p - shift) * scale - origin; };
    const QRectF cull = QRectF(QPointF(), QSizeF(ground.area.size()))
                            .adjusted(-kRouteWidth, -kRouteWidth, kRouteWidth, kRouteWidth);
    painter.setPen(QPen(kRoute, kRouteWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    QPolygonF line;
    for (std::size_t i = 0; i < m_routeBounds.size(); ++i) {
        const QRectF& b = m_routeBounds[i];
        if (!QRectF(place(b.topLeft()), place(b.bottomRight())).normalized().intersects(cull)) {
            continue; // far-away pieces never reach the rasteriser
        }
        const qsizetype first = static_cast<qsizetype>(i) * kRoutePiece;
        const qsizetype last = std::min(first + kRoutePiece, m_route.size() - 1);
        line.clear();
        for (qsizetype k = first; k <= last; ++k) {
            line.append(place(m_route[k]));
        }
        painter.drawPolyline(line);
    }
}

void TKMapView::drawTrail(QPainter& painter, const Ground& ground, qsizetype from) {
    // Piece by piece, so that the pieces added one position at a time onto the layer give the same
    // picture as the whole trail drawn at once.
    const double scale = std::exp2(ground.zoom);
    const QPointF origin = ground.area.topLeft(), shift(ground.trailShift, 0);
    const auto place = [&](QPointF p) { return (p - shift) * scale - origin; };
    const double reach = kTrailWidth;
    const QRectF cull = QRectF(QPointF(), QSizeF(ground.area.size())).adjusted(-reach, -reach, reach, reach);
    painter.setPen(QPen(kTrail, kTrailWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    for (qsizetype i = std::max<qsizetype>(from, 1); i < m_trail.size(); ++i) {
        const QPointF a = place(m_trail[i - 1]), b = place(m_trail[i]);
        if (QRectF(a, b).normalized().adjusted(-1, -1, 1, 1).intersects(cull)) {
            painter.drawLine(QLineF(a, b));
        }
    }
}

void TKMapView::drawMarker(QPainter& painter) {
    if (!m_marker) {
        return;
    }
    const QPointF at = pointOf({m_marker->latitude, m_marker->longitude});
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(63, 167, 245, 64));
    painter.drawEllipse(at, 14, 14);
    if (m_marker->headingDegrees) {
        // An arrow pointing where the car drives, clockwise from north.
        painter.save();
        painter.translate(at);
        painter.rotate(*m_marker->headingDegrees);
        QPainterPath arrow;
        arrow.moveTo(0, -11);
        arrow.lineTo(8, 8);
        arrow.lineTo(0, 4);
        arrow.lineTo(-8, 8);
        arrow.closeSubpath();
        painter.setPen(QPen(Qt::white, 2));
        painter.setBrush(kMarker);
        painter.drawPath(arrow);
        painter.restore();
        return;
    }
    painter.setBrush(Qt::white);
    painter.drawEllipse(at, 7, 7);
    painter.setBrush(kMarker);
    painter.drawEllipse(at, 5, 5);
}

void TKMapView::drawOverlays(QPainter& painter) {
    QFont font = painter.font();
    font.setPixelSize(11);
    painter.setFont(font);
    const double margin = 6;

    // The tiles' attribution, along the bottom right edge, always.
    QFont small = font;
    small.setPixelSize(10);
    painter.setFont(small);
    const QRectF credit =
        badge(painter, attribution(), QPointF(width(), height()), Qt::AlignRight | Qt::AlignBottom, kText);
    painter.setFont(font);

    // Scale bar above it: a round distance of at most 100 pixels.
    if (m_marker || m_zoom > 2) {
        const double latitude = centre().latitude;
        const double mpp = nura::map::metresPerPixel(latitude, m_zoom);
        const double metres = nura::map::roundScaleDistance(mpp * 100);
        const double length = metres / mpp;
        if (metres > 0 && length >= 10) {
            const double right = width() - margin - 4, bottom = credit.top() - margin;
            painter.setPen(QPen(kText, 2));
            painter.drawPolyline(QPolygonF{QPointF(right - length, bottom - 6),
                                           QPointF(right - length, bottom), QPointF(right, bottom),
                                           QPointF(right, bottom - 6)});
            painter.drawText(QRectF(right - length - 40, bottom - 22, length + 80, 16), Qt::AlignCenter,
                             QString::fromStdString(nura::map::scaleText(metres)));
        }
    }

    // The car's coordinates, bottom left, above the attribution line.
    const QString coords = m_marker ? hemisphere(m_marker->latitude, u'N', u'S') + QStringLiteral("   ") +
                                          hemisphere(m_marker->longitude, u'E', u'W')
                                    : QStringLiteral("Waiting for a GPS position");
    badge(painter, coords, QPointF(margin, credit.top() - margin), Qt::AlignLeft | Qt::AlignBottom, kText);

    if (!m_debug.isEmpty()) {
        badge(painter, m_debug, QPointF(margin, margin), Qt::AlignLeft | Qt::AlignTop,
              QColor(0x9a, 0xa5, 0xb1));
    }
    if (!m_status.isEmpty()) {
        badge(painter, m_status, QPointF(width() - margin, margin), Qt::AlignRight | Qt::AlignTop, kStatus);
    }
}
