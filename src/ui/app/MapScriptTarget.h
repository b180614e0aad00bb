// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where the playback's map calls go: the position of the car (appended to the trail), a restarted
// trail, a whole trail at once after a seek, and the note for a recording without GPS.

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

struct MapFix {
    double longitude = 0.0;
    double latitude = 0.0;
    std::optional<double> headingDegrees; // clockwise from north
};

class MapScriptTarget {
public:
    virtual ~MapScriptTarget() = default;
    // The marker here, appended to the trail. Longitude first, as the camera's tools always had it.
    virtual void setLatLag(double longitude, double latitude, std::optional<double> heading = {}) = 0;
    // Forget the trail (new telemetry, or playback jumped back); the marker stays.
    virtual void restartTrail() = 0;
    // The whole trail at once, the marker at its last fix; an empty trail clears the marker.
    virtual void setTrail(const std::vector<MapFix>& fixes) = 0;
    // A note shown on the map; "GPS Data Count=Zero" (a recording without GPS) clears the marker.
    virtual void ORBDebug(const QString& text) = 0;
};

class IgnoringMapScriptTarget : public MapScriptTarget {
public:
    void setLatLag(double, double, std::optional<double> = {}) override {}
    void restartTrail() override {}
    void setTrail(const std::vector<MapFix>&) override {}
    void ORBDebug(const QString&) override {}
};

// For tests: every call as one line of text, in the order made, e.g. "setLatLag('127.000000','37.5')".
class RecordingMapScriptTarget : public MapScriptTarget {
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
    void ORBDebug(const QString& text) override { calls << QStringLiteral("ORBDebug('%1')").arg(text); }

    QStringList calls;
    std::vector<MapFix> lastTrail;
};
