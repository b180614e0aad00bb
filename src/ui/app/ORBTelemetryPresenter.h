// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shows, for the playback position, the G-sensor values, speed, HDOP and satellites of the recording's
// telemetry, moves the graph's bar and sends the position to the map page. Each update picks one
// stored entry by the position; nothing is interpolated. In drive mode the graph and the texts stay
// with the playing recording (its telemetry changes at each join), the map's route covers the drive.

#include "ui/app/ORBPlaybackController.h"
#include "ui/app/PlaybackMap.h"

#include <QObject>

class GraphView;
class QLabel;

struct ORBTelemetryFields {
    QLabel* gsensorXField = nullptr;
    QLabel* gsensorYField = nullptr;
    QLabel* gsensorZField = nullptr;
    QLabel* speedField = nullptr;
    QLabel* hdopField = nullptr;
    QLabel* sateliteField = nullptr;
};

class ORBTelemetryPresenter : public QObject {
    Q_OBJECT
public:
    ORBTelemetryPresenter(const ORBTelemetryFields& fields, GraphView* graph, PlaybackMap* map,
                          QObject* parent = nullptr);

    // A finished read (or the empty result of a start): the graph gets its samples and the map's
    // trail starts again.
    void setTelemetry(const ORBTelemetry& telemetry);
    // The map page forgets the trail it has drawn ("ORBRestartTrail()").
    void restartMapTrail();
    // The texts of a recording's start.
    void resetTexts();
    // `position` picks the entries; `mainPlayerPosition` places the graph's bar. After a seek (or a
    // position before the last one) the map's trail is drawn again from the first record to this one.
    void update(double position, double mainPlayerPosition);
    // Where the recording player stands: its time, and where that is in the telemetry.
    void showPosition(int64_t milliseconds, double telemetryFraction) {
        (void)milliseconds;
        update(telemetryFraction, telemetryFraction);
    }
    // In drive mode the whole drive's route under the trail (as far as it has been read); empty out of it.
    void showRoute(const std::vector<MapFix>& fixes);
    // Playback jumped: the next update redraws the whole trail up to where it landed.
    void seeked() { m_trailStale = true; }
    void updateGsensorUIByPlayPositon(double position, double mainPlayerPosition);
    void updateGpsUIByPlayPosition(double position);

    // "X=+0.50", "X=-1.25", "X=0.00": a plus sign only above zero.
    static QString axisText(char axis, float value);
    // Knots as whole km/h when the raw block's unit is kilometres, otherwise whole mi/h.
    static QString speedText(double knots, bool kilometres);

private:
    ORBTelemetryFields m_fields;
    GraphView* m_graph;
    PlaybackMap* m_map;
    ORBTelemetry m_telemetry;
    double m_lastPosition = -1;
    bool m_trailStale = false;
    // Sends the fixes from the first record up to `index` to the map in one go.
    void sendTrailUpTo(size_t index);
};
