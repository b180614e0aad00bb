// nura telemetry FILE.mp4 [--format text|csv|json|gpx]: a recording's telemetry, one row per record.
// Each record is paired with the GPS state that playback shows at its position, as in the viewer.

#include "cli/commands.h"
#include "core/log.h"
#include "core/telemetry/ConvertNmeaCoordinates.h"
#include "core/telemetry/ORBBlackBoxData.h"
#include "core/util/JsonWriter.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace {

using nura::ORBBlackBoxData;
using nura::ORBGpsData;

// Values that went through single precision (the parser stores speed, course and DOP that way) print as
// the shortest text that reads back to the same single; anything else as the shortest double.
std::string storedNumber(double v) {
    if (std::isfinite(v) && std::fabs(v) <= FLT_MAX && static_cast<double>(static_cast<float>(v)) == v) {
        return nura::shortestFloat(static_cast<float>(v));
    }
    return nura::shortestDouble(v);
}

std::string sixDecimals(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%.6f", v);
    return text;
}

std::string utcText(const nura::_SYSTEMTIME& t) {
    if (!t.hasDate()) {
        return {};
    }
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", t.wYear, t.wMonth, t.wDay,
                  t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
    return text;
}

// The unit character as text; bytes that are not printable ASCII read as empty.
std::string unitText(char unit) {
    return unit > ' ' && unit < 0x7F ? std::string(1, unit) : std::string();
}

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string out = "\"";
    for (char c : text) {
        out += c == '"' ? "\"\"" : std::string(1, c);
    }
    return out + "\"";
}

// Text for an XML attribute or element: markup escaped, control bytes dropped, broken UTF-8 replaced.
std::string xmlText(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
            bool ok = len > 0 && c < 0xF5 && i + len <= text.size();
            for (size_t k = 1; ok && k < len; ++k) {
                ok = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
            }
            out += ok ? text.substr(i, len) : "\xEF\xBF\xBD";
            i += ok ? len : 1;
            continue;
        }
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            if (c >= 0x20 || c == '\t') {
                out += static_cast<char>(c);
            }
        }
        ++i;
    }
    return out;
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

std::vector<Row> rows(const ORBBlackBoxData& data) {
    std::vector<Row> out(data.times().size());
    for (size_t i = 0; i < out.size(); ++i) {
        Row& r = out[i];
        r.index = i;
        r.time = data.times()[i];
        r.g = data.gSensors()[i];
        r.unit = data.gpsData()[i].unit();
        r.state = data.gpsStateForRecord(i);
        if (r.state != nullptr) {
            r.stateIndex = static_cast<size_t>(r.state - data.nmeas().data());
            r.position = nura::decimalPosition(*r.state);
        }
    }
    return out;
}

std::string csv(const ORBBlackBoxData& data) {
    std::string out =
        "index,time,gx,gy,gz,unit,latitude,longitude,speed_knots,course,hdop,satellites,valid,utc\n";
    for (const Row& r : rows(data)) {
        out += std::to_string(r.index) + "," + std::to_string(r.time) + "," + nura::shortestFloat(r.g.x()) +
               "," + nura::shortestFloat(r.g.y()) + "," + nura::shortestFloat(r.g.z()) + "," +
               csvField(unitText(r.unit));
        if (r.state == nullptr) {
            out += ",,,,,,,,\n";
            continue;
        }
        const ORBGpsData& s = *r.state;
        out += "," + sixDecimals(r.position.latitude) + "," + sixDecimals(r.position.longitude) + "," +
               storedNumber(s.SpeedOverGround) + "," + storedNumber(s.CourseOverGround) + "," +
               storedNumber(s.HDOP) + "," + std::to_string(s.SatelliteUsedCount) + "," +
               (s.gpsValid != 0 ? "1" : "0") + "," + utcText(s.Now) + "\n";
    }
    return out;
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
    json.key("Latitude").value(asShown(storedNumber(s.Latitude)));
    json.key("NS").value(std::string(1, s.NS));
    json.key("Longitude").value(asShown(storedNumber(s.Longitude)));
    json.key("EW").value(std::string(1, s.EW));
    json.key("SpeedOverGround").value(asShown(storedNumber(s.SpeedOverGround)));
    json.key("CourseOverGround").value(asShown(storedNumber(s.CourseOverGround)));
    json.key("PDOP").value(asShown(storedNumber(s.PDOP)));
    json.key("HDOP").value(asShown(storedNumber(s.HDOP)));
    json.key("VDOP").value(asShown(storedNumber(s.VDOP)));
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
    jsonText(json, utcText(s.Now));
    json.endObject();
}

std::string json(const std::string& path, const ORBBlackBoxData& data) {
    nura::JsonWriter json;
    json.beginObject();
    json.key("file").value(path);
    json.key("records").beginArray();
    for (const Row& r : rows(data)) {
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
            json.key("latitude").value(asShown(sixDecimals(r.position.latitude)));
            json.key("longitude").value(asShown(sixDecimals(r.position.longitude)));
            json.key("speed_knots").value(asShown(storedNumber(s.SpeedOverGround)));
            json.key("course").value(asShown(storedNumber(s.CourseOverGround)));
            json.key("hdop").value(asShown(storedNumber(s.HDOP)));
            json.key("satellites").value(s.SatelliteUsedCount);
            json.key("valid").value(static_cast<unsigned>(s.gpsValid != 0 ? 1 : 0));
            json.key("utc");
            jsonText(json, utcText(s.Now));
        }
        json.endObject();
    }
    json.endArray();
    json.key("gpsStates").beginArray();
    for (const ORBGpsData& s : data.nmeas()) {
        jsonState(json, s);
    }
    json.endArray();
    json.endObject();
    return json.str() + "\n";
}

std::string gpx(const std::string& path, const ORBBlackBoxData& data) {
    const std::string name = xmlText(std::filesystem::path(path).filename().string());
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<gpx version=\"1.1\" creator=\"nura\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
                      "  <metadata><name>" +
                      name + "</name></metadata>\n  <trk>\n    <name>" + name + "</name>\n    <trkseg>\n";
    for (const Row& r : rows(data)) {
        if (r.state == nullptr || r.state->gpsValid == 0) {
            continue;
        }
        // A valid recommended-minimum sentence can come before the file's first fix data: no position yet.
        if (r.state->Latitude == 0.0 && r.state->Longitude == 0.0) {
            continue;
        }
        // A corrupt sentence can put a position off the globe; a track point there would not load.
        const auto& p = r.position;
        if (!(std::fabs(p.latitude) <= 90.0) || !(p.longitude >= -180.0 && p.longitude <= 180.0)) {
            continue;
        }
        out +=
            "      <trkpt lat=\"" + sixDecimals(p.latitude) + "\" lon=\"" + sixDecimals(p.longitude) + "\">";
        const std::string utc = utcText(r.state->Now);
        if (!utc.empty()) {
            out += "<time>" + utc + "</time>";
        }
        out += "<sat>" + std::to_string(r.state->SatelliteUsedCount) + "</sat>";
        if (std::isfinite(r.state->HDOP) && r.state->HDOP >= 0) {
            out += "<hdop>" + storedNumber(r.state->HDOP) + "</hdop>";
        }
        out += "</trkpt>\n";
    }
    out += "    </trkseg>\n  </trk>\n</gpx>\n";
    return out;
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
                      p.latitude, p.longitude, utcText(s->Now).c_str(), s->SpeedOverGround,
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

std::string openFailure(const std::string& path) {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec) {
        return ec.message();
    }
    if (std::filesystem::is_directory(status)) {
        return "is a directory";
    }
    if (!std::filesystem::is_regular_file(status)) {
        return "is not a regular file";
    }
    return "cannot be opened for reading";
}

int usage() {
    std::fprintf(stderr, "usage: nura telemetry FILE.mp4 [--format text|csv|json|gpx]\n");
    return 2;
}

} // namespace

int runTelemetry(const CliArgs& args) {
    std::string path;
    std::string format = "text";
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--format" && i + 1 < args.size()) {
            format = args[++i];
        } else if (args[i].rfind("--format=", 0) == 0) {
            format = args[i].substr(9);
        } else if (path.empty() && !args[i].empty() && args[i][0] != '-') {
            path = args[i];
        } else {
            return usage();
        }
    }
    if (path.empty() || (format != "text" && format != "csv" && format != "json" && format != "gpx")) {
        return usage();
    }

    // The reader's diagnostic lines belong to the viewer's log, not to this tool's output.
    nura::setLogSink([](std::string_view) {});
    ORBBlackBoxData data;
    const bool ok = data.ExtractStreamInformation(path);
    nura::setLogSink({});
    if (!ok) {
        if (data.lastError() == nura::ORBTelemetryError::OpenFailed) {
            std::fprintf(stderr, "nura telemetry: %s: %s\n", path.c_str(), openFailure(path).c_str());
            return 1;
        }
        std::fprintf(stderr, "nura telemetry: %s: not a recording of this camera: %s\n", path.c_str(),
                     std::string(nura::describe(data.lastError())).c_str());
        return 2;
    }

    std::string out;
    if (format == "csv") {
        out = csv(data);
    } else if (format == "json") {
        out = json(path, data);
    } else if (format == "gpx") {
        out = gpx(path, data);
    } else {
        out = summary(path, data);
    }
    if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size() || std::fflush(stdout) != 0) {
        std::fprintf(stderr, "nura telemetry: cannot write the output\n");
        return 1;
    }
    return 0;
}
