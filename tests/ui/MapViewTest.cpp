// SPDX-License-Identifier: GPL-3.0-or-later
// The map view drawn without tiles: where the marker and the trail land in the picture, the
// playback's calls (trail restarts, whole trails, a recording without GPS), and the mouse; and the
// ground kept in a layer while the car moves, with a whole route and with tiles that arrive; and in
// the window, the route of the drive that plays.

#include "DriveScript.h"
#include "SampleRecording.h"
#include "platform/TileDiskCache.h"
#include "platform/TileSource.h"
#include "ui/app/ORBAppDelegate.h"
#include "ui/app/ORBDriveReadAhead.h"
#include "ui/views/ORBDrivesTableModel.h"
#include "ui/views/TKMapView.h"

#include "UiTestSupport.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

#include <cmath>
#include <functional>
#include <numbers>

namespace {

bool isTrailBlue(QColor c) {
    return c.blue() > 200 && c.red() < 120;
}
bool isMarkerRed(QColor c) {
    return c.red() > 200 && c.green() < 110 && c.blue() < 110;
}

// The picture the view paints (through its layer), in the format the layer-less picture has.
QImage painted(TKMapView& map) {
    QImage picture(map.size(), QImage::Format_ARGB32_Premultiplied);
    map.render(&picture);
    return picture;
}

void drag(TKMapView& map, QPoint from, QPoint to) {
    QTest::mousePress(&map, Qt::LeftButton, {}, from);
    QTest::mouseMove(&map, to);
    QTest::mouseRelease(&map, Qt::LeftButton, {}, to);
}

// The fix `i` of a car driving a bend north-east of Seoul's city hall, some 12 m a step.
MapFix driving(int i) {
    const double t = i / 40.0;
    return {126.9780 + 0.00012 * i, 37.5665 + 0.00004 * i + 0.002 * t * t, 45.0 + i};
}

} // namespace

class MapViewTest : public QObject {
    Q_OBJECT
private slots:
    void theMarkerAndTheTrailLieWhereTheirPositionsAre() {
        TKMapView map(nullptr);
        map.resize(400, 320);
        // Eastward along a street in Seoul, then north.
        map.setLatLag(127.000, 37.5000);
        map.setLatLag(127.002, 37.5000);
        map.setLatLag(127.002, 37.5000); // a repeat adds nothing
        map.setLatLag(127.004, 37.5000);
        map.setLatLag(127.004, 37.5015);
        QCOMPARE(map.trailSize(), std::size_t(4));
        QCOMPARE(map.zoom(), TKMapView::kFirstFixZoom);
        const QImage picture = map.grab().toImage();
        uitest::screenshot(map, "map-view-trail.png");

        // The car is centred (followed) and drawn red; the trail lies on its positions.
        QCOMPARE(map.pointOf({37.5015, 127.004}), QPointF(200, 160));
        QVERIFY(isMarkerRed(picture.pixelColor(200, 160)));
        const QPointF start = map.pointOf({37.5, 127.0}), corner = map.pointOf({37.5, 127.004});
        QVERIFY(isTrailBlue(picture.pixelColor(((start + corner) / 2).toPoint())));
        QVERIFY(isTrailBlue(picture.pixelColor(start.toPoint() + QPoint(3, 0))));
        QVERIFY(!isTrailBlue(picture.pixelColor(((start + corner) / 2).toPoint() + QPoint(0, 20))));
        // Without tiles it says so; the attribution is drawn all the same.
        QCOMPARE(map.statusText(), QStringLiteral("Offline \u00b7 no map tiles"));

        // With a heading the marker is an arrow pointing that way: red ahead of the centre, not behind.
        map.setLatLag(127.004, 37.5015, 90.0);
        const QImage arrow = map.grab().toImage();
        QVERIFY(isMarkerRed(arrow.pixelColor(206, 160)));
        QVERIFY(!isMarkerRed(arrow.pixelColor(191, 160)));
    }

    void theTrailRestartsIsReplacedWholeAndAGpsLessRecordingClearsTheCar() {
        TKMapView map(nullptr);
        map.resize(300, 300);
        map.setLatLag(10, 50);
        map.setLatLag(10.001, 50);
        map.restartTrail();
        QCOMPARE(map.trailSize(), std::size_t(0));
        QVERIFY(map.marker()); // the car stays where it is

        map.setTrail({{10, 50, {}}, {10.001, 50, {}}, {10.002, 50.001, 45.0}});
        QCOMPARE(map.trailSize(), std::size_t(3));
        QCOMPARE(map.marker()->longitude, 10.002);
        QCOMPARE(*map.marker()->headingDegrees, 45.0);
        map.setTrail({});
        QVERIFY(!map.marker());

        map.setLatLag(10, 50);
        map.clearMarker();
        QVERIFY(!map.marker());
        QCOMPARE(map.debugText(), QStringLiteral("GPS Data Count=Zero"));
        // Nonsense is ignored, never drawn.
        map.setLatLag(std::nan(""), 50);
        map.setLatLag(10, 91);
        QVERIFY(!map.marker());
        map.setLatLag(10, 50);
        QVERIFY(map.debugText().isEmpty());

        // Over the antimeridian the trail goes the short way, not across the world.
        TKMapView fiji(nullptr);
        fiji.resize(300, 300);
        fiji.setLatLag(179.999, -17.0);
        fiji.setLatLag(-179.999, -17.0);
        const QImage picture = fiji.grab().toImage();
        QVERIFY(isTrailBlue(picture.pixelColor(fiji.pointOf({-17.0, 179.9995}).toPoint())));
        QVERIFY(std::abs(fiji.pointOf({-17.0, 179.999}).x() - fiji.pointOf({-17.0, -179.999}).x()) < 100);
        uitest::screenshot(fiji, "map-view-antimeridian.png");
    }

    void theWheelZoomsAboutTheCursorAndADragPansUntilTheNextPosition() {
        TKMapView map(nullptr);
        map.resize(400, 400);
        map.show();
        map.setLatLag(2.35, 48.85);
        const QPointF cursor(300, 120);
        const auto ground = [&] {
            // The position under the cursor, found from two known points.
            const QPointF a = map.pointOf({48.85, 2.35}), b = map.pointOf({48.86, 2.36});
            return QPointF(2.35 + (cursor.x() - a.x()) / (b.x() - a.x()) * 0.01,
                           48.85 + (cursor.y() - a.y()) / (b.y() - a.y()) * 0.01);
        };
        const QPointF before = ground();
        QWheelEvent wheel(cursor, map.mapToGlobal(cursor), {}, {0, 240}, Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(&map, &wheel);
        QCOMPARE(map.zoom(), TKMapView::kFirstFixZoom + 2);
        QVERIFY(std::abs(ground().x() - before.x()) < 1e-6 && std::abs(ground().y() - before.y()) < 1e-6);

        // A drag moves the map with the mouse; the next position brings the car back.
        map.setLatLag(2.35, 48.85);
        drag(map, {200, 200}, {260, 230});
        QCOMPARE(map.pointOf({48.85, 2.35}), QPointF(260, 230));
        map.setLatLag(2.3501, 48.85);
        QCOMPARE(map.pointOf({48.85, 2.3501}), QPointF(200, 200));
        // Not following, the map stays where the user put it.
        map.setFollowsCar(false);
        drag(map, {200, 200}, {100, 200});
        map.setLatLag(2.3502, 48.85);
        QVERIFY(map.pointOf({48.85, 2.3502}).x() < 150);
    }

    // Three back-to-back recordings of ten seconds of a moving car, the fix coming after 3 s: in drive
    // mode the map's route is every fix of the drive, in drive order, whichever recording plays.
    void theWindowsMapShowsTheRouteOfTheDriveThatPlays() {
        QStandardPaths::setTestModeEnabled(true);
        QSettings().remove(QLatin1String(ORBAppDelegate::kDriveModeKey));
        uitest::FakeViewer viewer;
        const samples::DriveScript drive;
        for (int i = 0; i < 3; ++i) {
            const auto records = drive.records(10.0 * i, 10.0);
            const QString name =
                QStringLiteral("alwa_20230115_0830%1_F.MP4").arg(10 * i, 2, 10, QLatin1Char('0'));
            QVERIFY(samples::writeCameraMp4(viewer.card.filePath(name).toStdString(),
                                            samples::placeholderVideo(64, 36, 10, 100), records));
        }
        ORBAppDelegate& app = *viewer.app;
        QSignalSpy lengths(&app.drivesModel(), &ORBDrivesTableModel::lengthsComplete);
        app.openMediaDirectory(viewer.card.path());
        QVERIFY(lengths.wait(10000));
        app.clickMapViewButton();
        QVERIFY(app.playback().playAtIndex(1)); // the middle one, in recording mode: its trail only
        QCOMPARE(app.mapView()->routeSize(), size_t(0));

        app.playback().setDriveMode(true);
        QVERIFY(app.playback().driveModeActive());
        // 27 fixes (7, 10 and 10, as the trip export counts them), from the first with a fix to the
        // drive's last; the map leaves out the three that repeat the one before.
        QTRY_COMPARE(app.driveReadAhead().route().size(), size_t(27));
        QCOMPARE(app.mapView()->routeSize(), size_t(24));
        // In drive order: the first fix is the first recording's, whichever one plays.
        const MapFix first = app.driveReadAhead().route().front();
        QVERIFY(std::abs(first.latitude - drive.at(3).latitude) < 1e-5);
        app.playback().setDriveMode(false);
        QCOMPARE(app.mapView()->routeSize(), size_t(0));
    }

    void theLayerGivesThePictureDrawnInPlaceWhileTheCarMoves() {
        TKMapView map(nullptr);
        map.resize(320, 260);
        // A whole route of many fixes: this one loops round the city and ends where the car starts.
        std::vector<MapFix> route;
        for (int i = 0; i < 5000; ++i) {
            const double a = i / 5000.0 * 2 * std::numbers::pi;
            route.push_back({126.9780 + 0.02 * std::sin(a), 37.5665 - 0.015 + 0.015 * std::cos(a), {}});
        }
        map.setRoute(route);
        QCOMPARE(map.routeSize(), std::size_t(5000));
        for (int i = 0; i < 60; ++i) {
            const MapFix fix = driving(i);
            map.setLatLag(fix.longitude, fix.latitude, fix.headingDegrees);
            const QImage picture = painted(map);
            if (i % 7 == 0 || i == 59) {
                QCOMPARE(picture, map.pictureWithoutLayer());
            }
        }
        // The car followed across some 700 m: the ground was drawn whole a few times, not per position.
        QVERIFY2(map.layerDraws() <= 6, qPrintable(QString::number(map.layerDraws())));
        uitest::screenshot(map, "map-view-route.png");

        // Zoomed out and in, dragged aside, the trail given whole: each picture as drawn in place.
        const int draws = map.layerDraws();
        map.zoomAbout(-3, QPointF(40, 200));
        QCOMPARE(painted(map), map.pictureWithoutLayer());
        QCOMPARE(map.layerDraws(), draws + 1);
        drag(map, {100, 100}, {37, 129});
        QCOMPARE(painted(map), map.pictureWithoutLayer());
        std::vector<MapFix> trail;
        for (int i = 0; i < 30; ++i) {
            trail.push_back(driving(2 * i));
        }
        map.setTrail(trail);
        QCOMPARE(painted(map), map.pictureWithoutLayer());
        map.setRoute({});
        QCOMPARE(painted(map), map.pictureWithoutLayer());
    }

    void tilesThatArriveAreDrawnIntoTheLayer() {
        QTemporaryDir cache;
        QImage tile(256, 256, QImage::Format_RGB32);
        tile.fill(QColor(200, 40, 160));
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        tile.save(&buffer, "PNG");
        // The tile south-east of the map's centre at zoom 3, kept on disk as an earlier run left it.
        QVERIFY(TileDiskCache(cache.path()).put({3, 4, 4}, png, QDateTime::currentDateTimeUtc().addDays(1)));
        TileSourceOptions options;
        options.cacheFolder = cache.path();
        auto source = std::make_shared<TileSource>(options);
        TKMapView map(source);
        map.resize(300, 300);
        map.setZoom(3);
        map.setCentre({0, 0});
        const QColor before = painted(map).pixelColor(220, 220); // the grid, while the disk is read
        QVERIFY(before != QColor(200, 40, 160));
        const int draws = map.layerDraws();
        // Each tile read (or found missing) is told on its own: the one asked for comes in time.
        QTRY_COMPARE_WITH_TIMEOUT(painted(map).pixelColor(220, 220), QColor(200, 40, 160), 5000);
        const QImage picture = painted(map);
        QVERIFY(map.layerDraws() > draws);
        QCOMPARE(picture, map.pictureWithoutLayer());
    }

    void playbackRepeatingItselfPaintsNothingNew() {
        // Playback sends the car's fix, or the note of a recording without GPS, several times a
        // second; the map paints again only when something on it changes.
        TKMapView map(nullptr);
        map.resize(300, 200);
        map.show();
        QVERIFY(QTest::qWaitForWindowExposed(&map));
        // The paints that one call and its three repeats, each handled on its own, give.
        const auto paintsAfter = [&](const std::function<void()>& call) {
            QList<int> paints;
            for (int i = 0; i < 2; ++i) {
                QCoreApplication::processEvents();
                const int before = map.paintCount();
                for (int k = 0; k < (i == 0 ? 1 : 3); ++k) {
                    call();
                    QCoreApplication::processEvents();
                }
                paints << map.paintCount() - before;
            }
            return paints;
        };
        QCOMPARE(paintsAfter([&] { map.setLatLag(127.0, 37.5, 90.0); }), (QList<int>{1, 0}));
        QCOMPARE(paintsAfter([&] { map.setLatLag(127.0, 37.5, 95.0); }), (QList<int>{1, 0})); // it turned
        QCOMPARE(paintsAfter([&] { map.clearMarker(); }), (QList<int>{1, 0}));
        QVERIFY(!map.marker());
        // The next recording's first fix brings the car back.
        QCOMPARE(paintsAfter([&] { map.setLatLag(127.0, 37.5, 95.0); }), (QList<int>{1, 0}));
        QVERIFY(map.marker());
    }
};

QTEST_MAIN(MapViewTest)
#include "MapViewTest.moc"
