// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The separate map window: one map view placed beside the window that opened it, showing one
// position at a time (the drive-record viewer's chosen record).

#include <QObject>
#include <QPointer>
#include <QRect>

#include <memory>

class QWidget;
class TileSource;
class TKMapView;

class ORBMapWindowController : public QObject {
    Q_OBJECT
public:
    // `tiles` gives the map's tiles; the program's own source when none is given.
    explicit ORBMapWindowController(std::shared_ptr<TileSource> tiles = {}, QObject* parent = nullptr);
    ~ORBMapWindowController() override;

    QWidget* window() const { return m_window; }
    TKMapView* mapView() const { return m_mapView; }

    // Logs the window's frame.
    void windowDidLoad();
    void showWindow();
    // The marker at this position, longitude first as the map takes it.
    void updateMapLat(double latitude, double longitude);
    // A record's position: the map moves only when neither coordinate is 0 (no fix recorded).
    void showRecordPosition(double latitude, double longitude);
    // Left edge on `frame`'s right edge, top edges level, size kept.
    void moveWindowRightBy(const QRect& frame);

    static QSize windowSize() { return {520, 560}; }

private:
    QPointer<QWidget> m_window;
    TKMapView* m_mapView; // owned by the window
    bool m_loaded = false;
};
