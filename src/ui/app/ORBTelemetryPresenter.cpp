// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/app/ORBTelemetryPresenter.h"

#include "core/telemetry/ConvertNmeaCoordinates.h"
#include "ui/app/PlaybackMap.h"
#include "ui/views/GraphView.h"

#include <QLabel>

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

namespace {

constexpr double kKmhPerKnot = 1.852;
constexpr double kMphPerKnot = 1.150779;

void setText(QLabel* label, const QString& text) {
    if (label) {
        label->setText(text);
    }
}

} // namespace

ORBTelemetryPresenter::ORBTelemetryPresenter(const ORBTelemetryFields& fields, GraphView* graph,
                                             PlaybackMap* map, QObject* parent)
    : QObject(parent), m_fields(fields), m_graph(graph), m_map(map),
      m_telemetry(std::make_shared<const nura::ORBBlackBoxData>()) {}

void ORBTelemetryPresenter::setTelemetry(const ORBTelemetry& telemetry) {
    m_telemetry = telemetry ? telemetry : std::make_shared<const nura::ORBBlackBoxData>();
    restartMapTrail();
    // A read that ends while the recording plays: the trail so far comes in one go.
    m_trailStale = true;
    if (m_graph) {
        // The graph shares the read's own sample list; the result is never changed after the read.
        m_graph->setGraphData(GraphView::Samples(m_telemetry, &m_telemetry->gSensors()));
    }
}

void ORBTelemetryPresenter::showRoute(const std::vector<MapFix>& fixes) {
    if (m_map) {
        m_map->setRoute(fixes);
    }
}

void ORBTelemetryPresenter::resetTexts() {
    setText(m_fields.gsensorXField, QStringLiteral("X=+0.00"));
    setText(m_fields.gsensorYField, QStringLiteral("Y=+0.00"));
    setText(m_fields.gsensorZField, QStringLiteral("Z=+0.00"));
    setText(m_fields.speedField, QString());
    setText(m_fields.hdopField, QString());
    setText(m_fields.sateliteField, QString());
}

QString ORBTelemetryPresenter::axisText(char axis, float value) {
    return QStringLiteral("%1=%2%3")
        .arg(QLatin1Char(axis))
        .arg(value > 0 ? QStringLiteral("+") : QString())
        .arg(QString::asprintf("%.2lf", static_cast<double>(value)));
}

QString ORBTelemetryPresenter::speedText(double knots, bool kilometres) {
    const double value = knots * (kilometres ? kKmhPerKnot : kMphPerKnot);
    // Truncated toward zero; a value past the int range (a corrupt record) shows as the bound.
    const double bounded = std::isfinite(value) ? std::clamp(value, -2147483648.0, 2147483647.0) : 0.0;
    return QString::asprintf(kilometres ? "%d Km/h" : "%d Mi/h", static_cast<int>(bounded));
}

void ORBTelemetryPresenter::restartMapTrail() {
    m_lastPosition = -1;
    if (m_map) {
        m_map->restartTrail();
    }
}

void ORBTelemetryPresenter::update(double position, double mainPlayerPosition) {
    const auto& states = m_telemetry->nmeas();
    if ((m_trailStale || position < m_lastPosition) && !states.empty() && !m_telemetry->gpsData().empty()) {
        sendTrailUpTo(nura::ORBBlackBoxData::entryIndexAt(position, states.size()));
    }
    m_trailStale = false;
    m_lastPosition = position;
    updateGsensorUIByPlayPositon(position, mainPlayerPosition);
    updateGpsUIByPlayPosition(position);
}

namespace {

// The course over ground means something only while the car moves.
std::optional<double> headingOf(const nura::ORBGpsData& state) {
    constexpr double kMovingKnots = 1.0;
    if (state.SpeedOverGround >= kMovingKnots && std::isfinite(state.CourseOverGround)) {
        return state.CourseOverGround;
    }
    return std::nullopt;
}

} // namespace

void ORBTelemetryPresenter::sendTrailUpTo(size_t index) {
    if (!m_map) {
        return;
    }
    // One call: the map draws the trail once, not once per fix.
    std::vector<MapFix> fixes;
    const auto& states = m_telemetry->nmeas();
    for (size_t i = 0; i <= index && i < states.size(); ++i) {
        const nura::DecimalPosition where = nura::decimalPosition(states[i]);
        if (!fixes.empty() && where.latitude == fixes.back().latitude &&
            where.longitude == fixes.back().longitude) {
            continue;
        }
        fixes.push_back({where.longitude, where.latitude, headingOf(states[i])});
    }
    m_map->setTrail(fixes);
}

void ORBTelemetryPresenter::updateGsensorUIByPlayPositon(double position, double mainPlayerPosition) {
    if (m_graph) {
        m_graph->updateTimePosition(mainPlayerPosition);
    }
    const auto& samples = m_telemetry->gSensors();
    if (samples.empty()) {
        return;
    }
    const auto& sample = samples[nura::ORBBlackBoxData::entryIndexAt(position, samples.size())];
    setText(m_fields.gsensorXField, axisText('X', sample.x()));
    setText(m_fields.gsensorYField, axisText('Y', sample.y()));
    setText(m_fields.gsensorZField, axisText('Z', sample.z()));
}

void ORBTelemetryPresenter::updateGpsUIByPlayPosition(double position) {
    const auto& blocks = m_telemetry->gpsData();
    const auto& states = m_telemetry->nmeas();
    if (blocks.empty()) {
        if (m_map) {
            m_map->clearMarker();
        }
    } else if (!states.empty()) {
        const auto& state = states[nura::ORBBlackBoxData::entryIndexAt(position, states.size())];
        const auto& block = blocks[nura::ORBBlackBoxData::entryIndexAt(position, blocks.size())];
        // The sign follows this entry's own hemisphere letters.
        const nura::DecimalPosition where = nura::decimalPosition(state);
        if (m_map) {
            m_map->setLatLag(where.longitude, where.latitude, headingOf(state));
        }
        setText(m_fields.speedField, speedText(state.SpeedOverGround, block.isKilometresPerHour()));
    }
    if (states.empty()) {
        setText(m_fields.speedField, QStringLiteral("- Km/h"));
        setText(m_fields.hdopField, QStringLiteral("-.-"));
        setText(m_fields.sateliteField, QStringLiteral("-"));
        return;
    }
    const auto& state = states[nura::ORBBlackBoxData::entryIndexAt(position, states.size())];
    setText(m_fields.hdopField, QString::asprintf("%.1f", state.HDOP));
    setText(m_fields.sateliteField, QString::number(state.SatelliteUsedCount));
}
