// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/trip/TripExportWriter.h"

#include "core/telemetry/GpsFixes.h"
#include "core/util/ExportText.h"
#include "core/util/JsonWriter.h"

#include <cmath>
#include <cstdio>

namespace nura {
namespace {

std::string oneDecimal(double value) {
    char text[400]; // room for any finite double in fixed notation
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

std::string wholeMetres(double metres) {
    char text[64];
    std::snprintf(text, sizeof text, "%.0f", std::isfinite(metres) ? std::round(metres) : 0.0);
    return text;
}

// One Feature per trip. The geometry comes first so that the points can be written as they arrive; the
// first point is held until the second shows whether the trip is a LineString or a single Point.
class GeoJsonWriter final : public TripExportWriter {
public:
    explicit GeoJsonWriter(Write write) : m_write(std::move(write)) {}

    void begin() override { m_write("{\"type\": \"FeatureCollection\", \"features\": ["); }
    void end() override { m_write(m_trips == 0 ? "]}\n" : "\n]}\n"); }

    void tripStarted(size_t) override {
        m_write(m_trips++ == 0 ? "\n" : ",\n");
        m_points = 0;
    }
    void tripPoint(const TripFix& fix, const std::string&) override {
        m_line.clear();
        if (m_points == 1) {
            m_line.append(
                "{\"type\": \"Feature\", \"geometry\": {\"type\": \"LineString\", \"coordinates\": [\n");
            appendCoordinates(m_line, m_first);
            m_line.append(",\n");
        } else if (m_points > 1) {
            m_line.append(",\n");
        }
        if (m_points == 0) {
            m_first = fix;
        } else {
            appendCoordinates(m_line, fix);
            m_write(m_line);
        }
        ++m_points;
    }
    void tripEnded(const TripSummary& trip) override {
        m_line.clear();
        if (m_points == 1) {
            m_line.append("{\"type\": \"Feature\", \"geometry\": {\"type\": \"Point\", \"coordinates\": ");
            appendCoordinates(m_line, m_first);
            m_line.append("}");
        } else {
            m_line.append("\n]}");
        }
        m_line.append(", \"properties\": {\"start\": ").append(JsonWriter::quote(utcText(trip.start)));
        m_line.append(", \"end\": ").append(JsonWriter::quote(utcText(trip.end)));
        m_line.append(", \"points\": ").append(std::to_string(trip.points));
        m_line.append(", \"distance_m\": ").append(wholeMetres(trip.distanceMetres));
        m_line.append(", \"max_speed_kmh\": ")
            .append(trip.maxSpeedKmh ? oneDecimal(*trip.maxSpeedKmh) : "null");
        m_line.append(", \"recordings\": [");
        for (size_t i = 0; i < trip.recordings.size(); ++i) {
            m_line.append(i == 0 ? "" : ", ").append(JsonWriter::quote(trip.recordings[i]));
        }
        m_line.append("]}}");
        m_write(m_line);
    }

private:
    static void appendCoordinates(std::string& line, const TripFix& fix) {
        line.append("[").append(sixDecimals(fix.longitude)).append(", ").append(sixDecimals(fix.latitude));
        line.append("]");
    }

    Write m_write;
    size_t m_trips = 0;
    size_t m_points = 0;
    TripFix m_first;
    std::string m_line;
};

// One track per trip, one point per fix.
class GpxWriter final : public TripExportWriter {
public:
    GpxWriter(Write write, std::string title) : m_write(std::move(write)), m_title(std::move(title)) {}

    void begin() override {
        std::string head =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<gpx version=\"1.1\" creator=\"nura\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n";
        if (!m_title.empty()) {
            head.append("  <metadata><name>").append(xmlText(m_title)).append("</name></metadata>\n");
        }
        m_write(head);
    }
    void end() override { m_write("</gpx>\n"); }

    void tripStarted(size_t number) override {
        const std::string n = std::to_string(number);
        m_line.assign("  <trk>\n    <name>Trip ").append(n).append("</name>\n    <number>").append(n);
        m_line.append("</number>\n    <trkseg>\n");
        m_write(m_line);
    }
    void tripPoint(const TripFix& fix, const std::string&) override {
        m_line.assign("      <trkpt lat=\"").append(sixDecimals(fix.latitude)).append("\" lon=\"");
        m_line.append(sixDecimals(fix.longitude)).append("\"><time>").append(utcText(fix.utc));
        m_line.append("</time><sat>").append(std::to_string(fix.satellites)).append("</sat>");
        if (std::isfinite(fix.hdop) && fix.hdop >= 0) {
            m_line.append("<hdop>").append(storedNumber(fix.hdop)).append("</hdop>");
        }
        m_line.append("</trkpt>\n");
        m_write(m_line);
    }
    void tripEnded(const TripSummary&) override { m_write("    </trkseg>\n  </trk>\n"); }

private:
    Write m_write;
    std::string m_title;
    std::string m_line;
};

class CsvWriter final : public TripExportWriter {
public:
    explicit CsvWriter(Write write) : m_write(std::move(write)) {}

    void begin() override { m_write("trip,utc,latitude,longitude,speed_kmh,course,hdop,satellites,file\n"); }
    void end() override {}

    void tripStarted(size_t number) override { m_trip = std::to_string(number); }
    void tripPoint(const TripFix& fix, const std::string& file) override {
        if (file != m_file) {
            m_file = file;
            m_fileField = csvField(file);
        }
        m_line.assign(m_trip).append(",").append(utcText(fix.utc)).append(",");
        m_line.append(sixDecimals(fix.latitude)).append(",").append(sixDecimals(fix.longitude)).append(",");
        m_line.append(speedText(fix.speedKnots)).append(",").append(storedNumber(fix.course)).append(",");
        m_line.append(storedNumber(fix.hdop)).append(",").append(std::to_string(fix.satellites)).append(",");
        m_line.append(m_fileField).append("\n");
        m_write(m_line);
    }
    void tripEnded(const TripSummary&) override {}

private:
    Write m_write;
    std::string m_trip;
    std::string m_file;
    std::string m_fileField;
    std::string m_line;
};

} // namespace

std::optional<TripFormat> tripFormatNamed(std::string_view name) {
    if (name == "geojson") {
        return TripFormat::GeoJson;
    }
    if (name == "gpx") {
        return TripFormat::Gpx;
    }
    if (name == "csv") {
        return TripFormat::Csv;
    }
    return std::nullopt;
}

std::string TripExportWriter::speedText(double knots) {
    const double kmh = TripJoiner::kilometresPerHour(knots);
    return std::isfinite(kmh) && kmh >= 0 ? oneDecimal(kmh) : std::string();
}

std::unique_ptr<TripExportWriter> TripExportWriter::make(TripFormat format, Write write, std::string title) {
    switch (format) {
    case TripFormat::Gpx:
        return std::make_unique<GpxWriter>(std::move(write), std::move(title));
    case TripFormat::Csv:
        return std::make_unique<CsvWriter>(std::move(write));
    case TripFormat::GeoJson:
        break;
    }
    return std::make_unique<GeoJsonWriter>(std::move(write));
}

} // namespace nura
