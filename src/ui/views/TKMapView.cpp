// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/views/TKMapView.h"

#include "platform/TileSource.h"
#include "ui/views/ORBMapPreferencesDialog.h"

#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

using nura::map::kTileSize;

const QColor kBackground(0x1b, 0x1f, 0x24);
const QColor kGridFine(0x25, 0x2a, 0x31);
const QColor kGridTile(0x30, 0x37, 0x41);
const QColor kTrail(0x3f, 0xa7, 0xf5);
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
        connect(m_tiles.get(), &TileSource::tilesChanged, this, qOverload<>(&QWidget::update));
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
    update();
}

void TKMapView::setTrail(const std::vector<MapFix>& fixes) {
    m_trail.clear();
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

void TKMapView::ORBDebug(const QString& text) {
    // Said again with every position of a recording without GPS: nothing new to draw then.
    if (text == m_debug && !(text == kNoGps && m_marker)) {
        return;
    }
    m_debug = text;
    if (text == kNoGps) {
        // A recording without GPS: the last recording's car is not here.
        m_marker.reset();
    }
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

void TKMapView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), kBackground);
    const bool anyTile = drawTiles(painter);
    m_status = anyTile || (m_tiles && m_tiles->busy() > 0) ? QString()
                                                           : QStringLiteral("Offline \u00b7 no map tiles");
    painter.setRenderHint(QPainter::Antialiasing);
    drawTrail(painter);
    drawMarker(painter);
    drawOverlays(painter);
    ++m_paints;
}

bool TKMapView::drawTiles(QPainter& painter) {
    const double scale = std::exp2(m_zoom);
    const double left = m_centre.x() * scale - width() / 2.0;
    const double top = m_centre.y() * scale - height() / 2.0;
    const int n = 1 << m_zoom;
    const int firstX = static_cast<int>(std::floor(left / kTileSize));
    const int lastX = static_cast<int>(std::ceil((left + width()) / kTileSize)) - 1;
    const int firstY = std::max(0, static_cast<int>(std::floor(top / kTileSize)));
    const int lastY = std::min(n - 1, static_cast<int>(std::ceil((top + height()) / kTileSize)) - 1);
    if (m_tiles) {
        m_tiles->beginView();
    }
    bool any = false;
    m_missing = 0;
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    // The tile under the centre first: with few transfers free, it is fetched first.
    std::vector<std::pair<int, int>> order;
    for (int ty = firstY; ty <= lastY; ++ty) {
        for (int tx = firstX; tx <= lastX; ++tx) {
            order.emplace_back(tx, ty);
        }
    }
    const double cx = (left + width() / 2.0) / kTileSize - 0.5, cy = (top + height() / 2.0) / kTileSize - 0.5;
    std::stable_sort(order.begin(), order.end(), [&](auto a, auto b) {
        return std::hypot(a.first - cx, a.second - cy) < std::hypot(b.first - cx, b.second - cy);
    });
    for (const auto& [tx, ty] : order) {
        const QRectF target(tx * double(kTileSize) - left, ty * double(kTileSize) - top, kTileSize,
                            kTileSize);
        const nura::map::TileKey key{m_zoom, nura::map::wrapTileX(tx, m_zoom), ty};
        if (m_tiles) {
            if (const QPixmap tile = m_tiles->tile(key); !tile.isNull()) {
                painter.drawPixmap(target, tile, QRectF(tile.rect()));
                any = true;
                continue;
            }
            ++m_missing;
            // A lower zoom's tile, scaled, while this one is missing.
            bool drawn = false;
            for (int up = 1; up <= kMaxParentSteps && up <= m_zoom && !drawn; ++up) {
                const nura::map::TileKey parent{m_zoom - up, key.x >> up, key.y >> up};
                const QPixmap tile = m_tiles->tile(parent, false);
                if (tile.isNull()) {
                    continue;
                }
                const double part = tile.width() / double(1 << up);
                const QRectF source((key.x & ((1 << up) - 1)) * part, (key.y & ((1 << up) - 1)) * part, part,
                                    part);
                painter.drawPixmap(target, tile, source);
                drawn = any = true;
            }
            if (drawn) {
                continue;
            }
        }
        if (!m_tiles) {
            ++m_missing;
        }
        drawGrid(painter, target, kTileSize / 4.0);
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    return any;
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

void TKMapView::drawTrail(QPainter& painter) {
    if (m_trail.size() < 2) {
        return;
    }
    const double scale = std::exp2(m_zoom);
    // The copy of the world holding the trail's end is the one drawn; far-away pieces are skipped,
    // so points millions of pixels off the widget never reach the rasteriser.
    const QPointF end = toScreen(m_trail.last());
    const QPointF shift = end - (m_trail.last() - m_centre) * scale - QPointF(width() / 2.0, height() / 2.0);
    const QRectF view = QRectF(rect()).adjusted(-20, -20, 20, 20);
    painter.setPen(QPen(kTrail, 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    QPolygonF run;
    auto flush = [&] {
        if (run.size() > 1) {
            painter.drawPolyline(run);
        }
        run.clear();
    };
    const QPointF origin = QPointF(width() / 2.0, height() / 2.0) + shift;
    QPointF previous = origin + (m_trail[0] - m_centre) * scale;
    for (qsizetype i = 1; i < m_trail.size(); ++i) {
        const QPointF next = origin + (m_trail[i] - m_centre) * scale;
        if (QRectF(previous, next).normalized().adjusted(-1, -1, 1, 1).intersects(view)) {
            if (run.isEmpty()) {
                run.append(previous);
            }
            run.append(next);
        } else {
            flush();
        }
        previous = next;
    }
    flush();
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

// ---------------------------------------------------------------- mouse and menu

void TKMapView::wheelEvent(QWheelEvent* event) {
    m_wheelRest += event->angleDelta().y();
    const int steps = m_wheelRest / 120;
    if (steps != 0) {
        m_wheelRest -= steps * 120;
        zoomAbout(steps, event->position());
    }
    event->accept();
}

void TKMapView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_dragging = true;
        m_dragFrom = event->position();
        setCursor(Qt::ClosedHandCursor);
    }
}

void TKMapView::mouseMoveEvent(QMouseEvent* event) {
    if (!m_dragging) {
        return;
    }
    m_centre -= (event->position() - m_dragFrom) / std::exp2(m_zoom);
    m_centre.setY(std::clamp(m_centre.y(), 0.0, double(kTileSize)));
    // Round the world as often as wished.
    const double x = std::fmod(m_centre.x(), double(kTileSize));
    m_centre.setX(x < 0 ? x + kTileSize : x);
    m_dragFrom = event->position();
    update();
}

void TKMapView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_dragging = false;
        setCursor(Qt::OpenHandCursor);
    }
}

void TKMapView::mouseDoubleClickEvent(QMouseEvent* event) {
    zoomAbout(event->button() == Qt::RightButton ? -1 : 1, event->position());
}

void TKMapView::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    QAction* follow = menu.addAction(QStringLiteral("Follow the Car"));
    follow->setCheckable(true);
    follow->setChecked(m_follow);
    connect(follow, &QAction::toggled, this, &TKMapView::setFollowsCar);
    menu.addAction(QStringLiteral("Zoom In"), this, [this] { zoomAbout(1, rect().center()); });
    menu.addAction(QStringLiteral("Zoom Out"), this, [this] { zoomAbout(-1, rect().center()); });
    if (m_tiles) {
        menu.addSeparator();
        ORBMapPreferencesDialog::addMapActions(menu, *m_tiles, this, chooseOfflineFile);
    }
    menu.exec(event->globalPos());
}
