// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One GPS state as the receiver's sentences left it. Positions stay in the NMEA form
// (degrees x 100 + minutes) with their hemisphere letters; conversion happens where they are shown.

#include <array>
#include <cstddef>
#include <cstdint>

namespace nura {

// UTC date and time of the last recommended-minimum sentence; wDayOfWeek is always 0.
struct _SYSTEMTIME {
    uint16_t wYear = 0;
    uint16_t wMonth = 0;
    uint16_t wDayOfWeek = 0;
    uint16_t wDay = 0;
    uint16_t wHour = 0;
    uint16_t wMinute = 0;
    uint16_t wSecond = 0;
    uint16_t wMilliseconds = 0;

    bool hasDate() const { return wYear != 0 || wMonth != 0 || wDay != 0; }
    bool operator==(const _SYSTEMTIME&) const = default;
};

class ORBGpsData {
public:
    static constexpr size_t kSatelliteSlots = 12;

    ORBGpsData() = default;

    void clear() { *this = ORBGpsData(); }
    void updateFromObject(const ORBGpsData& other) { *this = other; }
    ORBGpsData duplicate() const { return *this; }

    // Index 0 to 11; other indexes read 0 and write nothing.
    uint8_t SatelliteUsedAtIndex(size_t index) const {
        return index < kSatelliteSlots ? SatelliteUsed[index] : 0;
    }
    void setSatelliteUsed(uint8_t number, size_t index) {
        if (index < kSatelliteSlots) {
            SatelliteUsed[index] = number;
        }
    }

    bool operator==(const ORBGpsData&) const = default;

    std::array<uint8_t, kSatelliteSlots> SatelliteUsed{};
    char NS = 'N';
    char EW = 'E';
    uint8_t Enable_GNGNS = 0;
    uint8_t Enable_GNGSA = 0;
    // 1 after a GPS active-satellite sentence, 255 after an empty one, 0 otherwise.
    uint8_t Cnt_GNGSA = 0;
    uint8_t gpsValid = 0;
    uint32_t SatelliteUsedCount = 0;
    uint32_t SatelliteUsedCount_GPS = 0;
    uint32_t SatelliteUsedCount_GLONASS = 0;
    double PDOP = 0.0;
    double HDOP = 0.0;
    double VDOP = 0.0;
    double Latitude = 0.0;
    double Longitude = 0.0;
    double SpeedOverGround = 0.0; // knots
    double CourseOverGround = 0.0;
    _SYSTEMTIME Now;
};

} // namespace nura
