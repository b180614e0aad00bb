// SPDX-License-Identifier: GPL-3.0-or-later
// The separate map window: where it opens beside another window, and which positions move its map.

#include "platform/TileSource.h"
#include "ui/views/ORBMapWindowController.h"
#include "ui/views/TKMapView.h"

#include <QTest>
#include <QWidget>

namespace {
// No server, no cache: the map draws its grid.
std::shared_ptr<TileSource> noTiles() {
    return std::make_shared<TileSource>(TileSourceOptions{});
}
} // namespace

class MapWindowTest : public QObject {
    Q_OBJECT
private slots:
    void placedRightOfTheViewerWithTopEdgesLevel() {
        ORBMapWindowController map(noTiles());
        map.showWindow();
        map.showWindow();
        QVERIFY(map.window()->isVisible());
        const QSize before = map.window()->frameGeometry().size();
        map.moveWindowRightBy(QRect(100, 80, 640, 480));
        QCOMPARE(map.window()->frameGeometry().topLeft(), QPoint(740, 80));
        QCOMPARE(map.window()->frameGeometry().size(), before);
    }

    void onlyAPositionWithBothCoordinatesMovesTheMapAndOneRecordIsShownAtATime() {
        ORBMapWindowController map(noTiles());
        TKMapView* view = map.mapView();
        map.showRecordPosition(0, 127.5);
        map.showRecordPosition(37.5, 0);
        map.showRecordPosition(0, 0);
        QVERIFY(!view->marker());
        map.showRecordPosition(-37.5, -127.25);
        QCOMPARE(view->marker()->latitude, -37.5);
        QCOMPARE(view->marker()->longitude, -127.25);
        map.showRecordPosition(37.55, 127.0);
        QCOMPARE(view->trailSize(), std::size_t(1));
        QCOMPARE(view->centre().latitude, 37.55);
    }
};

QTEST_MAIN(MapWindowTest)
#include "MapWindowTest.moc"
