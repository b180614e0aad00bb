// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// NMEA positions (ddmm.mmmm: degrees x 100 + minutes) to decimal degrees, as the map receives them.

#include "core/telemetry/ORBGpsData.h"

namespace nura {

// Converts each input whose output pointer is given; a null output is skipped.
// 4916.45 gives 49.274166..., -12345.6 gives -123.76.
void ConvertNmeaCoordinates(double* latitudeOut, double* longitudeOut, double latitudeIn, double longitudeIn);

struct DecimalPosition {
    double latitude = 0.0;
    double longitude = 0.0;
};

// The state's position in signed decimal degrees: south of the equator when its own NS letter is not
// 'N', west when its EW letter is not 'E'.
DecimalPosition decimalPosition(const ORBGpsData& state);

} // namespace nura
