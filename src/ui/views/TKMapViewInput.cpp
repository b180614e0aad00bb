// SPDX-License-Identifier: GPL-3.0-or-later
// The map's answers to the mouse and its menu: the wheel zooms about the cursor, a drag pans.
#include "ui/views/ORBMapPreferencesDialog.h"
#include "ui/views/TKMapView.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

using nura::map::kTileSize;

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

void TKMapView::hideEvent(QHideEvent* event) {
    // Hidden, the map keeps no picture: drawn again when shown.
    dropLayer();
    m_layer = QImage();
    QWidget::hideEvent(event);
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
