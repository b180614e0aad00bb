#pragma once
// The separate map window: one web view with the map page, placed beside the window that opened
// it, showing one position at a time (the drive-record viewer's chosen record).

#include "platform/MapPage.h"

#include <QObject>
#include <QPointer>
#include <QRect>

#include <functional>
#include <memory>

class QWidget;

class ORBMapWindowController : public QObject {
    Q_OBJECT
public:
    using PageFactory = std::function<std::unique_ptr<MapPage>(QWidget* parent)>;

    // `makePage` gives the web view; the real one when none is given.
    explicit ORBMapWindowController(PageFactory makePage = {}, QObject* parent = nullptr);
    ~ORBMapWindowController() override;

    QWidget* window() const { return m_window; }
    MapPage* mapWebView() const { return m_mapWebView.get(); }

    // Logs the window's frame, then loads the map page.
    void windowDidLoad();
    void showWindow();
    // "setLatLag('%lf','%lf')" with the longitude first.
    void updateMapLat(double latitude, double longitude);
    // A record's position: the map moves only when neither coordinate is 0 (no fix recorded).
    void showRecordPosition(double latitude, double longitude);
    // Left edge on `frame`'s right edge, top edges level, size kept.
    void moveWindowRightBy(const QRect& frame);

    static QSize windowSize() { return {520, 560}; }

private:
    QPointer<QWidget> m_window;
    std::unique_ptr<MapPage> m_mapWebView;
    bool m_loaded = false;
};
