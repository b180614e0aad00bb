// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/telemetry/GpsFixes.h"

#include "core/telemetry/ConvertNmeaCoordinates.h"

#include <cmath>
#include <cstdio>

namespace nura {
namespace {

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2 ? 1 : 0;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

} // namespace

std::string utcText(const _SYSTEMTIME& t) {
    if (!t.hasDate()) {
        return {};
    }
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", t.wYear, t.wMonth, t.wDay,
                  t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
    return text;
}

std::optional<int64_t> utcMilliseconds(const _SYSTEMTIME& t) {
    if (!t.hasDate() || t.wMonth < 1 || t.wMonth > 12 || t.wDay < 1 || t.wDay > 31 || t.wHour > 23 ||
        t.wMinute > 59 || t.wSecond > 60 || t.wMilliseconds > 999) {
        return std::nullopt;
    }
    const int64_t days = daysFromCivil(t.wYear, t.wMonth, t.wDay);
    return ((days * 24 + t.wHour) * 60 + t.wMinute) * 60000 + int64_t{t.wSecond} * 1000 + t.wMilliseconds;
}

bool hasDrawablePosition(const ORBGpsData& s) {
    if (s.Latitude == 0.0 && s.Longitude == 0.0) {
        return false;
    }
    const auto p = decimalPosition(s);
    return std::fabs(p.latitude) <= 90.0 && std::fabs(p.longitude) <= 180.0;
}

bool isFixState(std::span<const ORBGpsData> states, size_t index) {
    if (index >= states.size() || states[index].gpsValid == 0) {
        return false;
    }
    if (index + 1 < states.size() && states[index + 1].gpsValid != 0 &&
        states[index + 1].Now == states[index].Now) {
        return false; // a later state of the same fix follows
    }
    return hasDrawablePosition(states[index]);
}

} // namespace nura
