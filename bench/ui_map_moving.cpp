// SPDX-License-Identifier: GPL-3.0-or-later
// The map of the right column while the car moves, offline (no tiles: the grid), following the car:
// the picture painted for each new position through the map's layer, next to the same picture drawn
// whole for each position (as the map did before it kept a layer), with and without a whole
// three-hour route. CPU time of the painting thread, over the same positions. Runs offscreen.

#include "ui/views/TKMapView.h"

#include <QApplication>
#include <QImage>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <functional>
#include <numbers>
#include <vector>

namespace {

constexpr int kPositions = 400;

double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

// A fix a second at some 55 km/h, bending gently, through Seoul.
MapFix fixAt(int i) {
    const double heading = 60 + 30 * std::sin(i / 60.0);
    return {127.0 + 0.00015 * i * std::sin(heading * std::numbers::pi / 180),
            37.5 + 0.00012 * i * std::cos(heading * std::numbers::pi / 180), heading};
}

std::vector<MapFix> windingRoute(int fixes) {
    std::vector<MapFix> route;
    for (int i = 0; i < fixes; ++i) {
        const double t = i / double(fixes) * 2 * std::numbers::pi;
        route.push_back({127.0 + 0.03 * std::sin(3 * t) + 0.004 * std::sin(41 * t),
                         37.5 + 0.02 * std::sin(2 * t) + 0.004 * std::cos(37 * t),
                         {}});
    }
    return route;
}

// CPU seconds per position of `paint` after each of the car's positions.
double perPosition(bool route, const std::function<void(TKMapView&, QImage&)>& paint,
                   int* grounds = nullptr) {
    TKMapView map(nullptr);
    map.resize(400, 560);
    if (route) {
        map.setRoute(windingRoute(10800));
    }
    QImage picture(map.size(), QImage::Format_ARGB32_Premultiplied);
    const MapFix first = fixAt(0);
    map.setLatLag(first.longitude, first.latitude, first.headingDegrees);
    paint(map, picture);
    const int before = map.layerDraws();
    const double start = cpuSeconds();
    for (int i = 1; i <= kPositions; ++i) {
        const MapFix fix = fixAt(i);
        map.setLatLag(fix.longitude, fix.latitude, fix.headingDegrees);
        paint(map, picture);
    }
    if (grounds) {
        *grounds = map.layerDraws() - before;
    }
    return (cpuSeconds() - start) / kPositions;
}

} // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const auto throughLayer = [](TKMapView& map, QImage& picture) { map.render(&picture); };
    const auto whole = [](TKMapView& map, QImage& picture) { picture = map.pictureWithoutLayer(); };
    std::printf("The map (400 x 560, offline, following the car) painted for each of %d positions, "
                "CPU of the painting thread:\n",
                kPositions);
    for (const bool route : {false, true}) {
        int grounds = 0;
        const double layered = perPosition(route, throughLayer, &grounds);
        const double drawn = perPosition(route, whole);
        std::printf("  %-36s %6.3f ms through the layer (its ground drawn %d times), %6.3f ms drawn whole"
                    " -> %.2fx\n",
                    route ? "with a route of 10,800 fixes:" : "the trail only:", layered * 1000, grounds,
                    drawn * 1000, layered / drawn);
    }
    return 0;
}
