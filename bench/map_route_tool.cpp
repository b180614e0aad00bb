// SPDX-License-Identifier: GPL-3.0-or-later
// For the playback benchmark (bench/playback_cpu.py): the viewer's window playing one recording of a
// card with the map shown and a whole drive's route drawn on it, as drive mode draws it. Nothing of
// the program's start-up is left out but its command line.
//   map_route SECONDS DIR FILE FIXES|drive
// FIXES is the route's length: a winding drive through the recording's own track, at one fix a
// second. "drive" plays FILE in drive mode instead, the route being what the viewer reads ahead of
// the card's drive. Prints the players' picture counts and the map's paints, as the viewer does.

#include "platform/MediaPlayer.h"
#include "platform/VlcMediaPlayer.h"
#include "ui/app/ORBAppDelegate.h"
#include "ui/views/TKMapView.h"

#include <QApplication>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <vector>

namespace {

// Some hours through Seoul, around the demo drive's start, crossing itself as a real day's drive does.
std::vector<MapFix> windingRoute(int fixes) {
    std::vector<MapFix> route;
    route.reserve(static_cast<std::size_t>(fixes));
    for (int i = 0; i < fixes; ++i) {
        const double t = i / double(fixes) * 2 * std::numbers::pi;
        route.push_back({127.0 + 0.03 * std::sin(3 * t) + 0.004 * std::sin(41 * t),
                         37.5 + 0.02 * std::sin(2 * t) + 0.004 * std::cos(37 * t),
                         {}});
    }
    return route;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 5) {
        std::fprintf(stderr, "usage: map_route SECONDS DIR FILE FIXES|drive\n");
        return 64;
    }
    QCoreApplication::setOrganizationName(QStringLiteral("nura"));
    QCoreApplication::setApplicationName(QStringLiteral("nura-viewer"));
    const double seconds = std::atof(argv[1]);
    const QString folder = QString::fromLocal8Bit(argv[2]), file = QString::fromLocal8Bit(argv[3]);
    const bool drive = std::strcmp(argv[4], "drive") == 0;
    const int fixes = drive ? 0 : std::atoi(argv[4]);

    MediaPlayerOptions options;
    options.silent = true;
    initMediaPlayerLibrary(options);
    ORBAppDelegate delegate(ORBAppServices::real());
    delegate.launch();
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &delegate,
                     &ORBAppDelegate::applicationWillTerminate);
    int status = 0;
    QObject::connect(
        &delegate, &ORBAppDelegate::mediaListReloaded, &app,
        [&] {
            const int64_t row = delegate.rowOfFile(file);
            if (row < 0) {
                std::fprintf(stderr, "map_route: '%s' is not a recording in the list\n", qPrintable(file));
                status = 1;
                QCoreApplication::exit(1);
                return;
            }
            delegate.clickMapViewButton();
            if (!drive) {
                delegate.mapView()->setRoute(windingRoute(fixes));
            }
            delegate.playback().changeAndPlay(row);
            if (drive) {
                delegate.playback().setDriveMode(true); // on once the drives' lengths are read
            }
        },
        Qt::SingleShotConnection);
    delegate.openMediaDirectory(folder);
    QTimer::singleShot(static_cast<int>(seconds * 1000), &app, [&] {
        for (MediaPlayer* player : {delegate.player1(), delegate.player2()}) {
            if (auto* vlc = qobject_cast<VlcMediaPlayer*>(player)) {
                std::fprintf(stderr, "pictures %s\n", qPrintable(vlc->pictureCounts()));
            }
        }
        if (const TKMapView* map = delegate.mapView(); map && map->isVisible()) {
            std::fprintf(stderr, "map painted %d times, its ground %d times, with a route of %zu fixes\n",
                         map->paintCount(), map->layerDraws(), map->routeSize());
        }
        QCoreApplication::quit();
    });
    const int loop = app.exec();
    return status ? status : loop;
}
