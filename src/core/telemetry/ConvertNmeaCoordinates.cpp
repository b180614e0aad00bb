// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/telemetry/ConvertNmeaCoordinates.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace nura {
namespace {

double convertOne(double value) {
    const double hundredths = value / 100.0;
    // Whole degrees, truncated toward zero. Values outside the 32-bit range (only a corrupt sentence
    // writes them) keep their exact whole part instead of an undefined integer conversion.
    double degrees = std::trunc(hundredths);
    if (hundredths > std::numeric_limits<int32_t>::min() - 1.0 &&
        hundredths < std::numeric_limits<int32_t>::max() + 1.0) {
        degrees = static_cast<double>(static_cast<int32_t>(hundredths));
    }
    return (hundredths - degrees) * 100.0 / 60.0 + degrees;
}

} // namespace

void ConvertNmeaCoordinates(double* latitudeOut, double* longitudeOut, double latitudeIn,
                            double longitudeIn) {
    if (latitudeOut != nullptr) {
        *latitudeOut = convertOne(latitudeIn);
    }
    if (longitudeOut != nullptr) {
        *longitudeOut = convertOne(longitudeIn);
    }
}

DecimalPosition decimalPosition(const ORBGpsData& state) {
    double latitude = std::fabs(state.Latitude);
    double longitude = std::fabs(state.Longitude);
    if (state.NS != 'N') {
        latitude = -latitude;
    }
    if (state.EW != 'E') {
        longitude = -longitude;
    }
    DecimalPosition out;
    ConvertNmeaCoordinates(&out.latitude, &out.longitude, latitude, longitude);
    return out;
}

} // namespace nura
