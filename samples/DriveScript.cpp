// SPDX-License-Identifier: GPL-3.0-or-later
#include "DriveScript.h"

#include "core/telemetry/ByteOrder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace samples {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kStartLat = 37.523333; // 3731.4 N
constexpr double kStartLon = 127.0;
constexpr double kStep = 0.01;
constexpr double kEarthMetresPerDegree = 111320.0;

double speedKmhAt(double t) {
    if (t < DriveScript::kFixAfterSeconds) {
        return 0;
    }
    if (t < 20) {
        return 50.0 * (t - 3) / 17;
    }
    if (t < 30) {
        return 50.0 - (t - 20); // easing off through the turn
    }
    if (t < 45) {
        return 40.0 + 20.0 * (t - 30) / 15;
    }
    if (t < DriveScript::kImpactSeconds) {
        return 60.0 - 20.0 * (t - 45); // hard braking, not hard enough
    }
    if (t < DriveScript::kImpactSeconds + 1) {
        return 20.0 * (DriveScript::kImpactSeconds + 1 - t);
    }
    if (t < 60) {
        return 0;
    }
    if (t < 90) {
        return 45.0 * (t - 60) / 30;
    }
    const auto cruise = [](double u) { return 50.0 + 20.0 * std::sin((u - 90) / 15.0); };
    if (t < DriveScript::kParkedAfterSeconds - 10) {
        return cruise(t);
    }
    if (t < DriveScript::kParkedAfterSeconds) {
        return cruise(DriveScript::kParkedAfterSeconds - 10) * (DriveScript::kParkedAfterSeconds - t) / 10;
    }
    return 0;
}

double headingDegAt(double t) {
    if (t < 20) {
        return 90;
    }
    if (t < 30) {
        return 90 + 90 * (t - 20) / 10;
    }
    if (t < 60) {
        return 180;
    }
    if (t < 90) {
        return 180 + 45 * (t - 60) / 30;
    }
    return 225 + 30 * std::sin((std::min(t, DriveScript::kParkedAfterSeconds) - 90) / 40.0);
}

// Days since 1970-01-01 of a civil date, and back.
int64_t daysFromCivil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

std::string format(const char* fmt, auto... args) {
    char buf[160];
    const int n = std::snprintf(buf, sizeof buf, fmt, args...);
    return std::string(buf, static_cast<size_t>(std::clamp(n, 0, static_cast<int>(sizeof buf) - 1)));
}

std::string nmeaLatitude(double lat) {
    const double a = std::fabs(lat);
    const int deg = static_cast<int>(a);
    return format("%02d%07.4f,%c", deg, (a - deg) * 60.0, lat >= 0 ? 'N' : 'S');
}

std::string nmeaLongitude(double lon) {
    const double a = std::fabs(lon);
    const int deg = static_cast<int>(a);
    return format("%03d%07.4f,%c", deg, (a - deg) * 60.0, lon >= 0 ? 'E' : 'W');
}

// Follows the car's position by small steps; the script has no closed form for it.
class Route {
public:
    void advanceTo(double t) {
        while (m_t + kStep <= t + 1e-9) {
            const double mid = m_t + kStep / 2;
            const double metres = speedKmhAt(mid) / 3.6 * kStep;
            const double h = headingDegAt(mid) * kPi / 180;
            m_lat += metres * std::cos(h) / kEarthMetresPerDegree;
            m_lon += metres * std::sin(h) / (kEarthMetresPerDegree * std::cos(m_lat * kPi / 180));
            m_t += kStep;
        }
    }
    double lat() const { return m_lat; }
    double lon() const { return m_lon; }

private:
    double m_t = 0;
    double m_lat = kStartLat;
    double m_lon = kStartLon;
};

DriveMoment momentAt(const Route& route, double t) {
    DriveMoment m;
    m.seconds = t;
    m.latitude = route.lat();
    m.longitude = route.lon();
    m.speedKmh = speedKmhAt(t);
    m.headingDeg = std::fmod(headingDegAt(t), 360.0);
    m.fix = t >= DriveScript::kFixAfterSeconds;
    const double dv = (speedKmhAt(t + 0.05) - speedKmhAt(t - 0.05)) / 0.1 / 3.6;
    const double dh = (headingDegAt(t + 0.05) - headingDegAt(t - 0.05)) / 0.1 * kPi / 180;
    m.gx = static_cast<float>(dv / 9.81);
    m.gy = static_cast<float>(m.speedKmh / 3.6 * dh / 9.81);
    m.gz = static_cast<float>(1.0 + (m.speedKmh > 0 ? 0.03 * std::sin(t * 37.0) : 0.0));
    const double since = t - DriveScript::kImpactSeconds;
    if (since >= 0 && since < 0.8) {
        const double ring = std::exp(-since * 6) * std::cos(since * 25);
        m.gx += static_cast<float>(-2.6 * ring);
        m.gy += static_cast<float>(0.9 * ring);
        m.gz += static_cast<float>(1.1 * ring);
    }
    return m;
}

int32_t rawG(float g) {
    return static_cast<int32_t>(std::lround(g * 256.0f));
}

} // namespace

int64_t DriveScript::secondsSinceEpoch(const UtcTime& t) {
    return daysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

UtcTime DriveScript::addSeconds(UtcTime t, int64_t seconds) {
    const int64_t total = secondsSinceEpoch(t) + seconds;
    int64_t days = total / 86400;
    int64_t rest = total % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    UtcTime out;
    civilFromDays(days, out.year, out.month, out.day);
    out.hour = static_cast<int>(rest / 3600);
    out.minute = static_cast<int>(rest / 60 % 60);
    out.second = static_cast<int>(rest % 60);
    return out;
}

std::string DriveScript::withChecksum(const std::string& body) {
    uint8_t sum = 0;
    for (char c : body) {
        sum ^= static_cast<uint8_t>(c);
    }
    return format("$%s*%02X\r\n", body.c_str(), sum);
}

double DriveScript::speedKmhAt(double seconds) {
    return samples::speedKmhAt(seconds);
}

DriveMoment DriveScript::at(double seconds) const {
    Route route;
    route.advanceTo(seconds);
    return momentAt(route, seconds);
}

std::string DriveScript::nmeaFor(int64_t second, int slot) const {
    return nmeaText(at(static_cast<double>(second)), second, slot);
}

std::string DriveScript::nmeaText(const DriveMoment& m, int64_t second, int slot) const {
    const UtcTime u = addSeconds(m_start, second);
    const std::string time = format("%02d%02d%02d.000", u.hour, u.minute, u.second);
    const std::string date = format("%02d%02d%02d", u.day, u.month, u.year % 100);
    const std::string position = nmeaLatitude(m.latitude) + "," + nmeaLongitude(m.longitude);
    // The receiver changes its habits along the drive: GPS and GLONASS with active-satellite
    // sentences first, a GPS-only style for a minute, then combined-fix sentences.
    const bool gpsOnly = second >= 60 && second < 120;
    const bool combined = second >= 120;
    const std::string talker = gpsOnly ? "GP" : "GN";
    const int gpsUsed = 7 + static_cast<int>(second / 7 % 4);
    const int glonassUsed = 2 + static_cast<int>(second / 11 % 3);
    const double hdop = 0.8 + 0.1 * static_cast<double>(second % 9);
    const char* gpsPrns[] = {"05", "12", "25", "29", "31", "02", "14", "18", "21", "26"};
    const char* glonassPrns[] = {"70", "71", "80", "81"};

    const auto gsa = [&](const char* const* prns, int used) {
        std::string body = m.fix ? "GNGSA,A,3" : "GNGSA,A,1";
        for (int k = 0; k < 12; ++k) {
            body += ",";
            if (m.fix && k < used) {
                body += prns[k];
            }
        }
        body += m.fix ? format(",%.1f,%.1f,%.1f", hdop + 0.6, hdop, hdop + 0.3) : ",,,";
        return withChecksum(body);
    };
    const auto gga = [&](const std::string& who) {
        if (!m.fix) {
            return withChecksum(who + "GGA," + time + ",,,,,0,00,,,,,,,");
        }
        return withChecksum(format("%sGGA,%s,%s,1,%02d,%.1f,%.1f,M,19.0,M,,", who.c_str(), time.c_str(),
                                   position.c_str(), gpsUsed + (gpsOnly ? 0 : glonassUsed), hdop, 38.0));
    };

    switch (slot) {
    case 0:
        return gga(talker);
    case 1:
        if (!m.fix) {
            return withChecksum(talker + "RMC," + time + ",V,,,,,,," + date + ",,,N");
        }
        return withChecksum(format("%sRMC,%s,A,%s,%.2f,%.2f,%s,,,A", talker.c_str(), time.c_str(),
                                   position.c_str(), m.speedKmh / 1.852, m.headingDeg, date.c_str()));
    case 2:
        if (gpsOnly) {
            return withChecksum("GPGSV,3,1,10,05,61,045,44,12,40,120,41,25,33,300,38,29,20,210,35");
        }
        return gsa(gpsPrns, gpsUsed) + gsa(glonassPrns, glonassUsed); // two sentences in one record
    case 3:
        if (combined) {
            return withChecksum(format("GNGNS,%s,%s,AA,%02d,%.1f,38.0,19.0,,", time.c_str(), position.c_str(),
                                       gpsUsed + glonassUsed, hdop));
        }
        return std::string();
    case 4:
        // The tail of a sentence cut at the previous record, then a proprietary one.
        return second % 3 == 0 ? "0.9,1.3*2B\r\n" + withChecksum("PNURA,DRV,1") : std::string();
    case 5:
        return second % 5 == 0 ? withChecksum(format("GPVTG,%.2f,T,,M,%.2f,N,%.2f,K,A", m.headingDeg,
                                                     m.speedKmh / 1.852, m.speedKmh))
                               : std::string();
    default:
        return std::string();
    }
}

std::vector<nura::ORBTelemetryRecord> DriveScript::records(double offsetSeconds, double seconds,
                                                           int perSecond, char unit) const {
    std::vector<nura::ORBTelemetryRecord> out;
    const auto count = static_cast<size_t>(std::llround(seconds * perSecond));
    out.reserve(count);
    Route route;
    Route atWholeSeconds; // the receiver reports once a second
    for (size_t j = 0; j < count; ++j) {
        const double t = offsetSeconds + static_cast<double>(j) / perSecond;
        route.advanceTo(t);
        const DriveMoment m = momentAt(route, t);
        nura::ORBTelemetryRecord r;
        r.time = static_cast<uint32_t>(j * 1000 / static_cast<size_t>(perSecond));
        nura::ORBAviGSensorData::Block g{};
        nura::bytes::writeU32LE(g, 0, static_cast<uint32_t>(rawG(m.gx)));
        nura::bytes::writeU32LE(g, 4, static_cast<uint32_t>(rawG(m.gy)));
        nura::bytes::writeU32LE(g, 8, static_cast<uint32_t>(rawG(m.gz)));
        r.gSensor.setData(g);
        nura::ORBAviGpsData::Block gps{};
        gps[0] = unit;
        const double whole = std::floor(t + 1e-9);
        const int slot = static_cast<int>(std::llround((t - whole) * perSecond));
        atWholeSeconds.advanceTo(whole);
        const std::string text = nmeaText(momentAt(atWholeSeconds, whole), static_cast<int64_t>(whole), slot);
        std::copy_n(text.begin(), std::min(text.size(), nura::ORBAviGpsData::kTextSize), gps.begin() + 1);
        r.gps.setData(gps);
        out.push_back(r);
    }
    return out;
}

} // namespace samples
