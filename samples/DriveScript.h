// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A scripted drive through Seoul for the demo card and the tests: the car waits for a fix, pulls away
// east, turns south, brakes hard into an impact 47 s in, stands, then drives on south-west with
// changing speed for a few minutes before it parks. Each record carries what the camera would have stored at
// its moment: the G-sensor sample and a slice of the receiver's sentences (RMC, GGA, GSA for GPS and GLONASS,
// GNS, GSV, proprietary ones and fragments), some records with two sentences and most with none.

#include "core/telemetry/ORBTelemetryRecord.h"

#include <cstdint>
#include <string>
#include <vector>

namespace samples {

struct UtcTime {
    int year = 2023, month = 1, day = 15, hour = 8, minute = 30, second = 0;
};

struct DriveMoment {
    double seconds = 0;  // since the drive started
    double latitude = 0; // decimal degrees
    double longitude = 0;
    double speedKmh = 0;
    double headingDeg = 0;
    float gx = 0, gy = 0, gz = 1; // in g
    bool fix = false;
};

class DriveScript {
public:
    static constexpr double kImpactSeconds = 47.0;
    static constexpr double kFixAfterSeconds = 3.0;
    static constexpr double kParkedAfterSeconds = 300.0; // then the car stands, engine running

    explicit DriveScript(UtcTime start = {}) : m_start(start) {}

    DriveMoment at(double seconds) const;
    // The car's speed alone, without walking the route there: cheap for every picture of a recording.
    static double speedKmhAt(double seconds);

    // Records for [offset, offset + seconds) of the drive, `perSecond` each second; time values count
    // milliseconds from the file's start. unit is the speed-unit character ('9' = km/h).
    std::vector<nura::ORBTelemetryRecord> records(double offsetSeconds, double seconds, int perSecond = 10,
                                                  char unit = '9') const;

    // The receiver's text for record `slot` (0..perSecond-1) of whole second `second` of the drive.
    std::string nmeaFor(int64_t second, int slot) const;

    static std::string withChecksum(const std::string& body); // "$" body "*hh" CR LF
    static UtcTime addSeconds(UtcTime t, int64_t seconds);
    static int64_t secondsSinceEpoch(const UtcTime& t);

private:
    std::string nmeaText(const DriveMoment& m, int64_t second, int slot) const;

    UtcTime m_start;
};

} // namespace samples
