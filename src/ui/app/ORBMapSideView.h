// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The map of the right column: a TKMapView in the map container, made with the window so that no
// call of the playback is lost while the map is hidden. Hidden, it draws and fetches nothing.

#include "ui/app/PlaybackMap.h"
#include "ui/views/TKMapView.h"

#include <QPointer>

#include <memory>

class QWidget;
class TileSource;

class ORBMapSideView : public PlaybackMap {
public:
    // `tiles` may be null: the map draws its grid only.
    ORBMapSideView(std::shared_ptr<TileSource> tiles, QWidget* container);
    ~ORBMapSideView() override;
    ORBMapSideView(const ORBMapSideView&) = delete;
    ORBMapSideView& operator=(const ORBMapSideView&) = delete;

    void setLatLag(double longitude, double latitude, std::optional<double> heading = {}) override;
    void restartTrail() override;
    void setTrail(const std::vector<MapFix>& fixes) override;
    void clearMarker() override;
    void setRoute(const std::vector<MapFix>& fixes) override;

    // Puts the map in place of the container's placeholder text.
    void show();
    TKMapView* mapView() const { return m_view.data(); }

private:
    QWidget* m_container;
    QPointer<TKMapView> m_view; // owned by the container when there is one
};
