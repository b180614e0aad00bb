// SPDX-License-Identifier: GPL-3.0-or-later
// Ctrl+2 to the map painted with every tile, when the tiles come from the disk cache of an earlier
// run (a fresh process: nothing decoded yet), next to the same switch once they are in memory and
// to Ctrl+1 back to the list. Tiles are never fetched here ("Offline only"); the cache and the
// preferences live in a temporary folder. Runs offscreen.

#include "BenchWait.h"
#include "platform/TileDiskCache.h"
#include "platform/TileSource.h"
#include "ui/app/CustomWindow.h"
#include "ui/app/ORBAppDelegate.h"
#include "ui/app/ORBMainWindowView.h"
#include "ui/views/TKMapView.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QPainter>
#include <QRandomGenerator>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

using bench::median;
using bench::waitFor;

constexpr double kLatitude = 37.5665, kLongitude = 126.9780;

// A tile about the size of a street map's (some 20 KB of PNG): streets and blocks of colour.
QByteArray streetTile(int seed) {
    QImage image(256, 256, QImage::Format_RGB32);
    image.fill(QColor(242, 239, 233));
    QPainter p(&image);
    QRandomGenerator random(seed);
    for (int i = 0; i < 40; ++i) {
        p.fillRect(random.bounded(256), random.bounded(256), 20 + random.bounded(60), 20 + random.bounded(60),
                   QColor(200 + random.bounded(40), 210 + random.bounded(30), 190 + random.bounded(40)));
    }
    for (int i = 0; i < 30; ++i) {
        p.setPen(QPen(i % 3 ? Qt::white : QColor(250, 200, 120), 3 + random.bounded(6)));
        p.drawLine(random.bounded(256), random.bounded(256), random.bounded(256), random.bounded(256));
    }
    p.setPen(Qt::darkGray);
    for (int i = 0; i < 20; ++i) {
        p.drawText(random.bounded(200), random.bounded(250), QStringLiteral("Street %1").arg(i));
    }
    p.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

} // namespace

int main(int argc, char** argv) {
    // The figures only: not the platform plugin's notes nor the program's log.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    qputenv("NURA_SILENT", "1");
    QTemporaryDir home;
    qputenv("XDG_CACHE_HOME", (home.path() + QStringLiteral("/cache")).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toLocal8Bit());
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("nura"));
    QCoreApplication::setApplicationName(QStringLiteral("nura-viewer"));
    QSettings().setValue(QStringLiteral("map/offlineOnly"), true);

    // The earlier run's cache: the tiles around the car at the map's first zoom, and the zoom above.
    TileDiskCache cache(TileSourceOptions::defaultCacheFolder());
    qint64 bytes = 0;
    int count = 0;
    for (int z : {TKMapView::kFirstFixZoom - 1, TKMapView::kFirstFixZoom}) {
        const auto centre = nura::map::tileAt(nura::map::project({kLatitude, kLongitude}, z), z);
        for (int dx = -3; dx <= 3; ++dx) {
            for (int dy = -3; dy <= 3; ++dy) {
                const QByteArray tile = streetTile(count);
                cache.put({z, centre.x + dx, centre.y + dy}, tile,
                          QDateTime::currentDateTimeUtc().addDays(7));
                bytes += tile.size();
                ++count;
            }
        }
    }

    ORBAppDelegate viewer{ORBAppServices::real()};
    viewer.launch();
    TKMapView* map = viewer.mapView();
    map->setLatLag(kLongitude, kLatitude);
    waitFor([] { return false; }, 300);

    // Time from the key's action to the map painted with no tile missing.
    const auto showMap = [&] {
        const int before = map->paintCount();
        QElapsedTimer t;
        t.start();
        viewer.clickMapViewButton();
        const bool whole =
            waitFor([&] { return map->paintCount() > before && map->missingTiles() == 0; }, 5000);
        return whole ? t.nsecsElapsed() / 1e6 : -1.0;
    };
    const auto showList = [&] {
        QElapsedTimer t;
        t.start();
        viewer.clickMediaListViewButton();
        waitFor([&] { return viewer.view().mediaListTableView->isVisible(); }, 5000);
        QCoreApplication::processEvents();
        return t.nsecsElapsed() / 1e6;
    };

    const double cold = showMap();
    std::vector<double> warm, list;
    for (int i = 0; i < 15; ++i) {
        list.push_back(showList());
        warm.push_back(showMap());
    }
    std::printf("map shown (Ctrl+2), %dx%d, %d cached tiles of %.0f KB on average:\n", map->width(),
                map->height(), count, bytes / 1024.0 / count);
    std::printf("  after a restart, tiles from the disk cache: %7.1f ms %s\n", cold,
                cold >= 0 && cold < 100 ? "(under 100 ms)" : "(NOT under 100 ms)");
    std::printf("  again, tiles decoded in memory (median):    %7.1f ms -> disk %.1fx that\n", median(warm),
                cold / std::max(0.01, median(warm)));
    std::printf("  Ctrl+1 back to the list (median):           %7.1f ms\n", median(list));
    return cold >= 0 ? 0 : 1;
}
