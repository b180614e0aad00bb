// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/app/ORBMapSideView.h"

#include "ui/views/TKMapView.h"

#include <QLabel>
#include <QLayout>
#include <QWidget>

#include <utility>

ORBMapSideView::ORBMapSideView(std::shared_ptr<TileSource> tiles, QWidget* container)
    : m_container(container), m_view(new TKMapView(std::move(tiles), container)) {
    m_view->hide();
}

ORBMapSideView::~ORBMapSideView() {
    if (m_view && !m_view->parent()) {
        delete m_view;
    }
}

void ORBMapSideView::setLatLag(double longitude, double latitude, std::optional<double> heading) {
    if (m_view) {
        m_view->setLatLag(longitude, latitude, heading);
    }
}

void ORBMapSideView::restartTrail() {
    m_view->restartTrail();
}

void ORBMapSideView::setTrail(const std::vector<MapFix>& fixes) {
    m_view->setTrail(fixes);
}

void ORBMapSideView::setRoute(const std::vector<MapFix>& fixes) {
    m_view->setRoute(fixes);
}

void ORBMapSideView::clearMarker() {
    m_view->clearMarker();
}

void ORBMapSideView::show() {
    if (!m_view) {
        return;
    }
    if (m_container && m_container->layout() && m_container->layout()->indexOf(m_view) < 0) {
        auto* layout = m_container->layout();
        layout->setContentsMargins(0, 0, 0, 0);
        for (auto* label : m_container->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
            label->hide();
        }
        layout->addWidget(m_view);
    }
    m_view->show();
}
