// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/telemetry/ORBNMEASentenceParser.h"

#include "core/util/Text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace nura {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

size_t codePointCount(std::string_view s) {
    size_t n = 0;
    for (char c : s) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
            ++n;
        }
    }
    return n;
}

// Two ASCII digits at s[at], or 0 when they are not both digits.
uint16_t twoDigits(std::string_view s, size_t at) {
    if (at + 2 > s.size() || !isDigit(s[at]) || !isDigit(s[at + 1])) {
        return 0;
    }
    return static_cast<uint16_t>((s[at] - '0') * 10 + (s[at + 1] - '0'));
}

float toSingle(double v) {
    if (std::isnan(v)) {
        return std::numeric_limits<float>::quiet_NaN();
    }
    if (v > std::numeric_limits<float>::max()) {
        return std::numeric_limits<float>::infinity();
    }
    if (v < -std::numeric_limits<float>::max()) {
        return -std::numeric_limits<float>::infinity();
    }
    return static_cast<float>(v);
}

} // namespace

ORBNMEASentenceParser::Fields ORBNMEASentenceParser::Fields::split(std::string_view body) {
    Fields f;
    size_t start = 0;
    while (f.m_count < kMaxFields) {
        const size_t comma = body.find(',', start);
        if (comma == std::string_view::npos) {
            f.m_fields[f.m_count++] = body.substr(start);
            break;
        }
        f.m_fields[f.m_count++] = body.substr(start, comma - start);
        start = comma + 1;
    }
    return f;
}

double ORBNMEASentenceParser::floatField(std::string_view field) {
    size_t i = 0;
    while (i < field.size() && isBlank(field[i])) {
        ++i;
    }
    bool negative = false;
    if (i < field.size() && (field[i] == '+' || field[i] == '-')) {
        negative = field[i] == '-';
        ++i;
    }
    const size_t begin = i;
    bool integerPartZero = true;
    size_t digits = 0;
    while (i < field.size() && isDigit(field[i])) {
        integerPartZero = integerPartZero && field[i] == '0';
        ++i;
        ++digits;
    }
    if (i < field.size() && field[i] == '.') {
        ++i;
        while (i < field.size() && isDigit(field[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0) {
        return 0.0;
    }
    bool negativeExponent = false;
    bool hasExponent = false;
    if (i < field.size() && (field[i] == 'e' || field[i] == 'E')) {
        size_t j = i + 1;
        bool expNegative = false;
        if (j < field.size() && (field[j] == '+' || field[j] == '-')) {
            expNegative = field[j] == '-';
            ++j;
        }
        if (j < field.size() && isDigit(field[j])) {
            while (j < field.size() && isDigit(field[j])) {
                ++j;
            }
            i = j;
            hasExponent = true;
            negativeExponent = expNegative;
        }
    }
    double value = 0.0;
    const auto res = std::from_chars(field.data() + begin, field.data() + i, value);
    if (res.ec == std::errc::result_out_of_range) {
        const bool tiny = hasExponent ? negativeExponent : integerPartZero;
        value = tiny ? 0.0 : std::numeric_limits<double>::infinity();
    } else if (res.ec != std::errc()) {
        value = 0.0;
    }
    return static_cast<double>(toSingle(negative ? -value : value));
}

int32_t ORBNMEASentenceParser::intField(std::string_view field) {
    return leadingInt32(field);
}

bool ORBNMEASentenceParser::parse(std::string_view sentence) {
    if (!isValidUtf8(sentence)) {
        return false;
    }
    const size_t star = sentence.find('*');
    if (star == std::string_view::npos || sentence.find('*', star + 1) != std::string_view::npos) {
        return false;
    }
    const Fields f = Fields::split(sentence.substr(0, star));
    const std::string_view address = f[0];
    if (address == "$GPRMC" || address == "$GNRMC") {
        return parseGPRMC(f);
    }
    if (address == "$GPGGA" || address == "$GNGGA") {
        return parseGPGGA(f);
    }
    if (address == "$GNGSA") {
        return parseGNGSA(f);
    }
    if (address == "$GNGNS") {
        return parseGNGNS(f);
    }
    return false;
}

// $GPRMC,083012.000,A,3723.2475,N,12158.3416,W,12.5,90.0,150123,,,A*71
// The position fields are not read: the fix sentence carries the position.
bool ORBNMEASentenceParser::parseGPRMC(const Fields& f) {
    ORBGpsData& s = m_Current;
    s.SpeedOverGround = floatField(f[7]);
    s.CourseOverGround = floatField(f[8]);
    s.gpsValid = f[2] == "A" ? 1 : 0;
    const std::string_view time = f[1];
    const std::string_view date = f[9];
    if (codePointCount(date) == 6 && codePointCount(time) == 10) {
        // A field of the right length with other characters than digits gives 0 for the unreadable parts.
        const bool asciiTime = time.size() == 10;
        const bool asciiDate = date.size() == 6;
        _SYSTEMTIME now;
        if (asciiTime) {
            now.wHour = twoDigits(time, 0);
            now.wMinute = twoDigits(time, 2);
            now.wSecond = twoDigits(time, 4);
            if (time[6] == '.' && isDigit(time[7]) && isDigit(time[8]) && isDigit(time[9])) {
                now.wMilliseconds = static_cast<uint16_t>((time[7] - '0') * 100 + twoDigits(time, 8));
            }
        }
        if (asciiDate) {
            now.wDay = twoDigits(date, 0);
            now.wMonth = twoDigits(date, 2);
        }
        now.wYear = static_cast<uint16_t>(2000 + (asciiDate ? twoDigits(date, 4) : 0));
        s.Now = now;
    }
    s.Cnt_GNGSA = 0;
    return true;
}

// $GPGGA,083012.000,3723.2475,N,12158.3416,W,1,07,1.2,25.0,M,-25.0,M,,0000*51
bool ORBNMEASentenceParser::parseGPGGA(const Fields& f) {
    ORBGpsData& s = m_Current;
    if (!f[2].empty()) {
        s.Latitude = floatField(f[2]);
    }
    if (!f[3].empty()) {
        s.NS = f[3][0];
    }
    if (!f[4].empty()) {
        s.Longitude = floatField(f[4]);
    }
    if (!f[5].empty()) {
        s.EW = f[5][0];
    }
    // Once a receiver reports per-constellation or combined fixes, those give the satellite count.
    if (f[0] == "$GPGGA" && s.Enable_GNGNS == 0 && s.Enable_GNGSA == 0) {
        s.SatelliteUsedCount = static_cast<uint32_t>(intField(f[7]));
    }
    if (s.Enable_GNGNS == 0 && !f[8].empty()) {
        s.HDOP = floatField(f[8]);
    }
    s.Cnt_GNGSA = 0;
    return true;
}

// $GNGSA,A,3,05,12,25,,,,,,,,,,2.1,1.2,1.7*2B   (GPS: first slot 1..64)
// $GNGSA,A,3,70,71,,,,,,,,,,,2.1,1.2,1.7*2B     (GLONASS: first slot 65 and above)
bool ORBNMEASentenceParser::parseGNGSA(const Fields& f) {
    ORBGpsData& s = m_Current;
    s.Enable_GNGSA = 1;
    if (s.Enable_GNGNS != 0) {
        return true;
    }
    uint32_t used = 0;
    for (size_t slot = 0; slot < ORBGpsData::kSatelliteSlots; ++slot) {
        const std::string_view field = f[slot + 3];
        const auto number = field.empty() ? uint8_t{0} : static_cast<uint8_t>(intField(field) & 0xFF);
        s.SatelliteUsed[slot] = number;
        used += number != 0 ? 1 : 0;
    }
    const uint8_t first = s.SatelliteUsed[0];
    if (first >= 1 && first <= 64) {
        s.SatelliteUsedCount_GPS = used;
        s.SatelliteUsedCount = used;
        s.Cnt_GNGSA = 1;
    } else if (first >= 65) {
        s.SatelliteUsedCount_GLONASS = used;
        s.SatelliteUsedCount = s.SatelliteUsedCount_GPS + s.SatelliteUsedCount_GLONASS;
        s.Cnt_GNGSA = 0;
    } else {
        s.Cnt_GNGSA = 255;
        if (s.gpsValid == 0) {
            s.SatelliteUsedCount = 0;
        }
    }
    return true;
}

// $GNGNS,083012.000,3723.2475,N,12158.3416,W,AA,14,0.9,25.0,-25.0,,*6D
bool ORBNMEASentenceParser::parseGNGNS(const Fields& f) {
    ORBGpsData& s = m_Current;
    s.Enable_GNGNS = 1;
    s.SatelliteUsedCount = static_cast<uint32_t>(intField(f[7]));
    if (!f[8].empty()) {
        s.HDOP = floatField(f[8]);
    }
    return true;
}

} // namespace nura
