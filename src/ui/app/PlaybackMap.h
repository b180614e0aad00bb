// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The map as playback drives it: the position of the car (appended to the trail), a restarted
// trail, a whole trail at once after a seek, no car at all for a recording without GPS, and in drive
// mode the whole drive's route under the trail.

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

struct MapFix {
    double longitude = 0.0;
    double latitude = 0.0;
    std::optional<double> headingDegrees; // clockwise from north
};

class PlaybackMap {
public:
    virtual ~PlaybackMap() = default;
    // The marker here, appended to the trail. Longitude first, as the camera's tools always had it.
    virtual void setLatLag(double longitude, double latitude, std::optional<double> heading = {}) = 0;
    // Forget the trail (new telemetry, or playback jumped back); the marker stays.
    virtual void restartTrail() = 0;
    // The whole trail at once, the marker at its last fix; an empty trail clears the marker.
    virtual void setTrail(const std::vector<MapFix>& fixes) = 0;
    // A recording without GPS: the marker goes, and the map says there is no GPS data.
    virtual void clearMarker() = 0;
    // A whole drive's route, drawn under the trail; empty removes it. The marker and the view stay.
    virtual void setRoute(const std::vector<MapFix>& fixes) = 0;
};

class IgnoringPlaybackMap : public PlaybackMap {
public:
    void setLatLag(double, double, std::optional<double> = {}) override {}
    void restartTrail() override {}
    void setTrail(const std::vector<MapFix>&) override {}
    void clearMarker() override {}
    void setRoute(const std::vector<MapFix>&) override {}
};

// For tests: every call as one line of text, in the order made, e.g. "setLatLag('127.000000','37.5')".
class RecordingPlaybackMap : public PlaybackMap {
public:
    void setLatLag(double longitude, double latitude, std::optional<double> heading = {}) override {
        QString line = QString::asprintf("setLatLag('%lf','%lf')", longitude, latitude);
        if (heading) {
            line.insert(line.size() - 1, QString::asprintf(",'%.1f'", *heading));
        }
        calls << line;
    }
    void restartTrail() override { calls << QStringLiteral("ORBRestartTrail()"); }
    void setTrail(const std::vector<MapFix>& fixes) override {
        calls << QStringLiteral("setTrail(%1)").arg(fixes.size());
        lastTrail = fixes;
    }
    void clearMarker() override { calls << QStringLiteral("clearMarker()"); }
    void setRoute(const std::vector<MapFix>& fixes) override {
        calls << QStringLiteral("setRoute(%1)").arg(fixes.size());
        lastRoute = fixes;
    }

    QStringList calls;
    std::vector<MapFix> lastTrail, lastRoute;
};
