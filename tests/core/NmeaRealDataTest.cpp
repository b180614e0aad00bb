// SPDX-License-Identifier: GPL-3.0-or-later
// Logs of five real receivers (gpsd's regression captures) against gpsd's own decoding of them.

#include "core/telemetry/ConvertNmeaCoordinates.h"
#include "core/telemetry/ORBBlackBoxData.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

using nura::ORBBlackBoxData;
using nura::ORBGpsData;

namespace {

const char* kLogs[] = {"mt3339", "bu353-glonass", "neo-m8n", "beidou-gb", "sirfstarv-nmea"};

std::vector<std::string> lines(const std::string& path) {
    std::ifstream f(path);
    std::vector<std::string> out;
    for (std::string line; std::getline(f, line);) {
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) {
            line.pop_back();
        }
        out.push_back(line);
    }
    return out;
}

std::string dataPath(const std::string& name) {
    return std::string(NURA_TEST_DATA) + "/nmea/" + name;
}

// A number member of one JSON report line, or NaN.
double jsonNumber(const std::string& json, const std::string& key) {
    const auto at = json.find("\"" + key + "\":");
    if (at == std::string::npos) {
        return NAN;
    }
    return std::strtod(json.c_str() + at + key.size() + 3, nullptr);
}

std::string field(const std::string& sentence, size_t index) {
    size_t start = 0;
    for (size_t i = 0; i < index; ++i) {
        start = sentence.find(',', start);
        if (start == std::string::npos) {
            return {};
        }
        ++start;
    }
    return sentence.substr(start, sentence.find_first_of(",*", start) - start);
}

// Whether a report's "time" has the hour, minute and second of the sentence's time field.
bool sameSecond(const std::string& json, const std::string& sentence) {
    const auto at = json.find("\"time\":\"");
    if (at == std::string::npos || json.size() < at + 27) {
        return false;
    }
    const std::string hms = json.substr(at + 19, 2) + json.substr(at + 22, 2) + json.substr(at + 25, 2);
    return field(sentence, 1).substr(0, 6) == hms;
}

void feed(ORBBlackBoxData& data, const std::string& sentence) {
    std::string buffer = sentence + "\r\n";
    data.ParseNMEA(buffer);
}

} // namespace

TEST(NmeaRealData, PositionsSpeedsAndCoursesAgreeWithGpsd) {
    for (const char* name : kLogs) {
        const auto chk = lines(dataPath(std::string(name) + ".log.chk"));
        ASSERT_FALSE(chk.empty()) << name;
        ORBBlackBoxData data;
        int positions = 0, motions = 0;
        // gpsd reports at the end of a receiver's cycle: compare the state left by the last GGA and
        // the last RMC with the next report. Counted states, not references: the list grows meanwhile.
        size_t afterGga = 0, afterRmc = 0; // 0: none
        std::string ggaLine, rmcLine;
        for (const std::string& s : chk) {
            if (!s.empty() && s[0] == '$') {
                feed(data, s);
                const std::string address = s.substr(0, 6);
                if ((address == "$GPGGA" || address == "$GNGGA") && !field(s, 2).empty()) {
                    afterGga = data.nmeas().size();
                    ggaLine = s;
                }
                if ((address == "$GPRMC" || address == "$GNRMC") && field(s, 2) == "A") {
                    afterRmc = data.nmeas().size();
                    rmcLine = s;
                }
                continue;
            }
            if (s.find("\"class\":\"TPV\"") == std::string::npos) {
                continue;
            }
            if (afterGga != 0 && !std::isnan(jsonNumber(s, "lat"))) {
                const auto p = nura::decimalPosition(data.nmeas()[afterGga - 1]);
                // Positions pass through single precision: about a metre.
                EXPECT_NEAR(p.latitude, jsonNumber(s, "lat"), 2e-5) << name << ": " << ggaLine;
                EXPECT_NEAR(p.longitude, jsonNumber(s, "lon"), 2e-5) << name << ": " << ggaLine;
                ++positions;
            }
            // Only a report of the RMC's own second carries its speed; later ones are gpsd's estimates.
            if (afterRmc != 0 && !std::isnan(jsonNumber(s, "speed")) && sameSecond(s, rmcLine)) {
                const ORBGpsData& rmc = data.nmeas()[afterRmc - 1];
                EXPECT_NEAR(rmc.SpeedOverGround * 1852.0 / 3600.0, jsonNumber(s, "speed"), 6e-4)
                    << name << ": " << rmcLine;
                if (!field(rmcLine, 8).empty()) {
                    EXPECT_NEAR(rmc.CourseOverGround, jsonNumber(s, "track"), 1e-3)
                        << name << ": " << rmcLine;
                }
                EXPECT_EQ(rmc.gpsValid, 1) << name;
                ++motions;
            }
            afterGga = afterRmc = 0;
        }
        EXPECT_GT(positions + motions, 0) << name;
    }
}
