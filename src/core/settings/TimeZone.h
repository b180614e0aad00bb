// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The camera's time zones: time_gmt is an index into this table of UTC offsets (hours x 100 + minutes).

#include <array>
#include <cstdint>

namespace nura {

inline constexpr std::array<int32_t, 34> TimeZoneOffsetTable = {
    -1200, -1100, -1000, -900, -800, -700, -600, -500, -430, -400, -330, -300, -200, -100, 0,    100,  200,
    300,   330,   400,   430,  500,  530,  545,  600,  630,  700,  800,  900,  930,  1000, 1100, 1200, 1300};

inline constexpr int kUtcTimeZoneIndex = 14;

// Index of an offset from UTC in seconds, or -1 when the camera has no such zone.
int TimeZoneIndexForOffset(long offsetSeconds);

// Index of this computer's current offset from UTC (daylight saving included), or -1.
int FindLocalTimeZoneIndex();

} // namespace nura
