#include "ui/app/ORBTelemetryPresenter.h"

#include "core/telemetry/ConvertNmeaCoordinates.h"
#include "ui/app/MapScriptTarget.h"
#include "ui/views/GraphView.h"

#include <QLabel>

#include <algorithm>
#include <cmath>

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
                                             MapScriptTarget* map, QObject* parent)
    : QObject(parent), m_fields(fields), m_graph(graph), m_map(map),
      m_telemetry(std::make_shared<const nura::ORBBlackBoxData>()) {}

void ORBTelemetryPresenter::setTelemetry(const ORBTelemetry& telemetry) {
    m_telemetry = telemetry ? telemetry : std::make_shared<const nura::ORBBlackBoxData>();
    restartMapTrail();
    if (m_graph) {
        // The graph shares the read's own sample list; the result is never changed after the read.
        m_graph->setGraphData(GraphView::Samples(m_telemetry, &m_telemetry->gSensors()));
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
    if (position < m_lastPosition) {
        restartMapTrail();
    }
    m_lastPosition = position;
    updateGsensorUIByPlayPositon(position, mainPlayerPosition);
    updateGpsUIByPlayPosition(position);
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
            m_map->ORBDebug(QStringLiteral("GPS Data Count=Zero"));
        }
    } else if (!states.empty()) {
        const auto& state = states[nura::ORBBlackBoxData::entryIndexAt(position, states.size())];
        const auto& block = blocks[nura::ORBBlackBoxData::entryIndexAt(position, blocks.size())];
        // The sign follows this entry's own hemisphere letters.
        const nura::DecimalPosition where = nura::decimalPosition(state);
        if (m_map) {
            m_map->setLatLag(where.longitude, where.latitude);
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
