// SPDX-License-Identifier: GPL-3.0-or-later
// nura telemetry FILE.mp4 [--format text|csv|json|gpx]: a recording's telemetry, one row per record.
// Each record is paired with its own GPS state (the last its sentences produced, or the one before), so
// that a row does not change when the file is cut shorter; the GPX track has one point per fix instead.
// Output is written as it is made, never held whole.

#include "cli/FileMessages.h"
#include "cli/StreamOutput.h"
#include "cli/commands.h"
#include "core/log.h"
#include "core/telemetry/ConvertNmeaCoordinates.h"
#include "core/telemetry/GpsFixes.h"
#include "core/telemetry/ORBBlackBoxData.h"
#include "core/util/ExportText.h"
#include "core/util/JsonWriter.h"

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <optional>
#include <string>
#include <string_view>

namespace {

using nura::ORBBlackBoxData;
using nura::ORBGpsData;

// The unit character as text; bytes that are not printable ASCII read as empty.
std::string unitText(char unit) {
    return unit > ' ' && unit < 0x7F ? std::string(1, unit) : std::string();
}

struct Row {
    size_t index = 0;
    uint32_t time = 0;
    nura::ORBGSensor g;
    char unit = 0;
    const ORBGpsData* state = nullptr;
    size_t stateIndex = 0;
    nura::DecimalPosition position;
};

Row rowAt(const ORBBlackBoxData& data, size_t i) {
    Row r;
    r.index = i;
    r.time = data.times()[i];
    r.g = data.gSensors()[i];
    r.unit = data.gpsData()[i].unit();
    r.state = data.ownGpsStateForRecord(i);
    if (r.state != nullptr) {
        r.stateIndex = static_cast<size_t>(r.state - data.nmeas().data());
        r.position = nura::decimalPosition(*r.state);
    }
    return r;
}

void csv(StreamOutput& out, const ORBBlackBoxData& data) {
    out.write("index,time,gx,gy,gz,unit,latitude,longitude,speed_knots,course,hdop,satellites,valid,utc\n");
    std::string line;
    for (size_t i = 0; i < data.times().size() && out.ok(); ++i) {
        const Row r = rowAt(data, i);
        // Appended piece by piece: GCC 12 at -O3 takes `"," + temporary` for an overlapping copy.
        line.clear();
        line.append(std::to_string(r.index)).append(",").append(std::to_string(r.time)).append(",");
        line.append(nura::shortestFloat(r.g.x()))
            .append(",")
            .append(nura::shortestFloat(r.g.y()))
            .append(",");
        line.append(nura::shortestFloat(r.g.z())).append(",").append(nura::csvField(unitText(r.unit)));
        if (r.state == nullptr) {
            line += ",,,,,,,,\n";
        } else {
            const ORBGpsData& s = *r.state;
            line.append(",").append(nura::sixDecimals(r.position.latitude));
            line.append(",").append(nura::sixDecimals(r.position.longitude));
            line.append(",").append(nura::storedNumber(s.SpeedOverGround));
            line.append(",").append(nura::storedNumber(s.CourseOverGround));
            line.append(",").append(nura::storedNumber(s.HDOP));
            line.append(",").append(std::to_string(s.SatelliteUsedCount));
            line.append(s.gpsValid != 0 ? ",1," : ",0,").append(nura::utcText(s.Now)).append("\n");
        }
        out.write(line);
    }
}

// A JSON number with the same text as the CSV column.
double asShown(const std::string& text) {
    return std::strtod(text.c_str(), nullptr);
}

void jsonText(nura::JsonWriter& json, const std::string& text) {
    if (text.empty()) {
        json.null();
    } else {
        json.value(text);
    }
}

void jsonState(nura::JsonWriter& json, const ORBGpsData& s) {
    json.beginObject();
    json.key("Latitude").value(asShown(nura::storedNumber(s.Latitude)));
    json.key("NS").value(std::string(1, s.NS));
    json.key("Longitude").value(asShown(nura::storedNumber(s.Longitude)));
    json.key("EW").value(std::string(1, s.EW));
    json.key("SpeedOverGround").value(asShown(nura::storedNumber(s.SpeedOverGround)));
    json.key("CourseOverGround").value(asShown(nura::storedNumber(s.CourseOverGround)));
    json.key("PDOP").value(asShown(nura::storedNumber(s.PDOP)));
    json.key("HDOP").value(asShown(nura::storedNumber(s.HDOP)));
    json.key("VDOP").value(asShown(nura::storedNumber(s.VDOP)));
    json.key("SatelliteUsedCount").value(s.SatelliteUsedCount);
    json.key("SatelliteUsedCount_GPS").value(s.SatelliteUsedCount_GPS);
    json.key("SatelliteUsedCount_GLONASS").value(s.SatelliteUsedCount_GLONASS);
    json.key("SatelliteUsed").beginArray();
    for (uint8_t n : s.SatelliteUsed) {
        json.value(static_cast<unsigned>(n));
    }
    json.endArray();
    json.key("gpsValid").value(static_cast<unsigned>(s.gpsValid));
    json.key("Enable_GNGNS").value(static_cast<unsigned>(s.Enable_GNGNS));
    json.key("Enable_GNGSA").value(static_cast<unsigned>(s.Enable_GNGSA));
    json.key("Cnt_GNGSA").value(static_cast<unsigned>(s.Cnt_GNGSA));
    json.key("utc");
    jsonText(json, nura::utcText(s.Now));
    json.endObject();
}

void json(StreamOutput& out, const std::string& path, const ORBBlackBoxData& data) {
    nura::JsonWriter json([&out](std::string_view piece) { out.write(piece); });
    json.beginObject();
    json.key("file").value(path);
    json.key("cut").value(data.isCut());
    if (data.isTruncated()) {
        json.key("truncated").value(true);
    }
    json.key("records").beginArray();
    for (size_t i = 0; i < data.times().size() && out.ok(); ++i) {
        const Row r = rowAt(data, i);
        json.beginObject();
        json.key("index").value(static_cast<uint64_t>(r.index));
        json.key("time").value(static_cast<uint64_t>(r.time));
        json.key("gx").value(asShown(nura::shortestFloat(r.g.x())));
        json.key("gy").value(asShown(nura::shortestFloat(r.g.y())));
        json.key("gz").value(asShown(nura::shortestFloat(r.g.z())));
        json.key("unit").value(unitText(r.unit));
        if (r.state == nullptr) {
            for (const char* k : {"gpsState", "latitude", "longitude", "speed_knots", "course", "hdop",
                                  "satellites", "valid", "utc"}) {
                json.key(k).null();
            }
        } else {
            const ORBGpsData& s = *r.state;
            json.key("gpsState").value(static_cast<uint64_t>(r.stateIndex));
            json.key("latitude").value(asShown(nura::sixDecimals(r.position.latitude)));
            json.key("longitude").value(asShown(nura::sixDecimals(r.position.longitude)));
            json.key("speed_knots").value(asShown(nura::storedNumber(s.SpeedOverGround)));
            json.key("course").value(asShown(nura::storedNumber(s.CourseOverGround)));
            json.key("hdop").value(asShown(nura::storedNumber(s.HDOP)));
            json.key("satellites").value(s.SatelliteUsedCount);
            json.key("valid").value(static_cast<unsigned>(s.gpsValid != 0 ? 1 : 0));
            json.key("utc");
            jsonText(json, nura::utcText(s.Now));
        }
        json.endObject();
    }
    json.endArray();
    json.key("gpsStates").beginArray();
    for (size_t i = 0; i < data.nmeas().size() && out.ok(); ++i) {
        jsonState(json, data.nmeas()[i]);
    }
    json.endArray();
    json.endObject();
    json.flush();
    out.write("\n");
}

// One track point per GPS fix: of consecutive valid states that share a fix time, the last, which holds
// every sentence of that second. A point per record would repeat each fix about ten times.
void gpx(StreamOutput& out, const std::string& path, const ORBBlackBoxData& data) {
    const std::string name = nura::xmlText(std::filesystem::path(path).filename().string());
    out.write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<gpx version=\"1.1\" creator=\"nura\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
              "  <metadata><name>" +
              name + "</name></metadata>\n  <trk>\n    <name>" + name + "</name>\n    <trkseg>\n");
    const auto& states = data.nmeas();
    for (size_t i = 0; i < states.size() && out.ok(); ++i) {
        if (!nura::isFixState(states, i)) {
            continue;
        }
        const ORBGpsData& s = states[i];
        const auto p = nura::decimalPosition(s);
        std::string point = "      <trkpt lat=\"" + nura::sixDecimals(p.latitude) + "\" lon=\"" +
                            nura::sixDecimals(p.longitude) + "\">";
        const std::string utc = nura::utcText(s.Now);
        if (!utc.empty()) {
            point += "<time>" + utc + "</time>";
        }
        point += "<sat>" + std::to_string(s.SatelliteUsedCount) + "</sat>";
        if (std::isfinite(s.HDOP) && s.HDOP >= 0) {
            point += "<hdop>" + nura::storedNumber(s.HDOP) + "</hdop>";
        }
        out.write(point + "</trkpt>\n");
    }
    out.write("    </trkseg>\n  </trk>\n</gpx>\n");
}

std::string summary(const std::string& path, const ORBBlackBoxData& data) {
    char line[256];
    std::string out = "file: " + path + "\n";
    const auto& times = data.times();
    const size_t n = times.size();
    std::snprintf(line, sizeof line, "records: %zu", n);
    out += line;
    if (n > 0) {
        std::snprintf(line, sizeof line, " (time %u to %u)", times.front(), times.back());
        out += line;
    }
    out += "\n";
    if (n > 0) {
        const auto& g = data.gSensors();
        const auto axis = [&](const char* label, float (nura::ORBGSensor::*get)() const) {
            const auto [lo, hi] = std::minmax_element(
                g.begin(), g.end(), [&](const auto& a, const auto& b) { return (a.*get)() < (b.*get)(); });
            std::snprintf(line, sizeof line, "  %s %+.2f to %+.2f g\n", label,
                          static_cast<double>((*lo.*get)()), static_cast<double>((*hi.*get)()));
            out += line;
        };
        out += "g-sensor:\n";
        axis("x", &nura::ORBGSensor::x);
        axis("y", &nura::ORBGSensor::y);
        axis("z", &nura::ORBGSensor::z);
        const bool kmh = data.gpsData().front().isKilometresPerHour();
        out += std::string("speed unit: ") + (kmh ? "km/h" : "mi/h") + "\n";
    }
    const auto& states = data.nmeas();
    const auto valid =
        std::count_if(states.begin(), states.end(), [](const auto& s) { return s.gpsValid != 0; });
    std::snprintf(line, sizeof line, "gps states: %zu (%zu with a valid fix)\n", states.size(),
                  static_cast<size_t>(valid));
    out += line;
    const ORBGpsData* first = nullptr;
    const ORBGpsData* last = nullptr;
    double topKnots = 0;
    for (const auto& s : states) {
        if (s.gpsValid != 0) {
            first = first != nullptr ? first : &s;
            last = &s;
            topKnots = std::max(topKnots, s.SpeedOverGround);
        }
    }
    const auto describe = [&](const char* label, const ORBGpsData* s) {
        const auto p = nura::decimalPosition(*s);
        std::snprintf(line, sizeof line,
                      "%s %.6f, %.6f  %s  %.1f knots, course %.1f, %u satellites, HDOP %.1f\n", label,
                      p.latitude, p.longitude, nura::utcText(s->Now).c_str(), s->SpeedOverGround,
                      s->CourseOverGround, s->SatelliteUsedCount, s->HDOP);
        out += line;
    };
    if (first != nullptr) {
        describe("first fix:", first);
        describe("last fix: ", last);
        std::snprintf(line, sizeof line, "top speed: %.1f knots (%d km/h)\n", topKnots,
                      static_cast<int>(std::clamp(topKnots * 1.852, -1e9, 1e9)));
        out += line;
    }
    return out;
}

} // namespace

int runTelemetry(const std::string& path, const std::string& format) {
    ORBBlackBoxData data;
    const bool ok = data.ExtractStreamInformation(path);
    if (!ok) {
        switch (data.lastError()) {
        case nura::ORBTelemetryError::OpenFailed: {
            const nura::FileStatus why = nura::ReadableFile::open(path).status();
            return reportFileFailure("nura telemetry", "read", path,
                                     why.ok() ? nura::FileStatus{nura::FileFault::CannotOpen, EIO} : why);
        }
        case nura::ORBTelemetryError::OutOfMemory:
            std::fprintf(stderr, "nura telemetry: %s: not enough memory to read it\n", path.c_str());
            return exitcode::kCannotAccess;
        case nura::ORBTelemetryError::ReadFailed:
            return reportFileFailure("nura telemetry", "read", path,
                                     nura::FileStatus{nura::FileFault::Io, EIO});
        case nura::ORBTelemetryError::ShortRead: // the camera's file type, cut short before its data track
            std::fprintf(stderr, "nura telemetry: %s: truncated: the file ends inside its box structure\n",
                         path.c_str());
            return exitcode::kNotOurFile;
        default:
            std::fprintf(stderr, "nura telemetry: %s: not a recording of this camera: %s\n", path.c_str(),
                         std::string(nura::describe(data.lastError())).c_str());
            return exitcode::kNotOurFile;
        }
    }
    if (data.isCut()) {
        std::fprintf(stderr,
                     "nura telemetry: %s: cut: the file asks for more than %zu records or %zu GPS states in "
                     "one record; the rest is left out\n",
                     path.c_str(), ORBBlackBoxData::kMaxRecords, ORBBlackBoxData::kMaxStatesPerRecord);
    }

    StreamOutput out;
    try {
        if (format == "csv") {
            csv(out, data);
        } else if (format == "json") {
            json(out, path, data);
        } else if (format == "gpx") {
            gpx(out, path, data);
        } else {
            out.write(summary(path, data));
        }
    } catch (const std::bad_alloc&) {
        std::fflush(stdout);
        std::fprintf(stderr, "nura telemetry: not enough memory to write the output\n");
        return exitcode::kCannotAccess;
    }
    if (!out.finish()) {
        std::fprintf(stderr, "nura telemetry: cannot write the output\n");
        return exitcode::kCannotAccess;
    }
    if (data.isTruncated()) {
        // What was read is printed above; the status still tells a script the file is not whole.
        std::fprintf(stderr, "nura telemetry: %s: truncated: %zu of %u records\n", path.c_str(),
                     data.times().size(), data.tableEntries());
        return exitcode::kNotOurFile;
    }
    return exitcode::kDone;
}
