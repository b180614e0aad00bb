// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/views/ORBMapWindowController.h"

#include "core/log.h"
#include "platform/TileSource.h"
#include "ui/views/TKMapView.h"

#include <QVBoxLayout>
#include <QWidget>

ORBMapWindowController::ORBMapWindowController(std::shared_ptr<TileSource> tiles, QObject* parent)
    : QObject(parent), m_window(new QWidget) {
    m_window->setWindowTitle(QStringLiteral("Map"));
    m_window->setObjectName(QStringLiteral("ORBMapWindowController"));
    m_window->resize(windowSize());
    m_mapView = new TKMapView(tiles ? std::move(tiles) : TileSource::shared(), m_window);
    auto* layout = new QVBoxLayout(m_window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_mapView);
}

ORBMapWindowController::~ORBMapWindowController() {
    delete m_window;
}

void ORBMapWindowController::windowDidLoad() {
    const QRect frame = m_window->frameGeometry();
    nura::logf("{{%d, %d}, {%d, %d}}", frame.x(), frame.y(), frame.width(), frame.height());
    m_loaded = true;
}

void ORBMapWindowController::showWindow() {
    if (!m_loaded) {
        windowDidLoad();
    }
    m_window->show();
    m_window->raise();
}

void ORBMapWindowController::updateMapLat(double latitude, double longitude) {
    // One record at a time: the trail is that record alone.
    m_mapView->setTrail({MapFix{longitude, latitude, std::nullopt}});
}

void ORBMapWindowController::showRecordPosition(double latitude, double longitude) {
    if (latitude != 0 && longitude != 0) {
        updateMapLat(latitude, longitude);
    }
}

void ORBMapWindowController::moveWindowRightBy(const QRect& frame) {
    // Qt's y grows downward, so "top edges level" is the same y.
    m_window->move(frame.x() + frame.width(), frame.y());
}
