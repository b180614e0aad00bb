// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/telemetry/ORBGSensor.h"

namespace nura {

ORBGSensor ORBGSensor::fromRaw(int32_t x, int32_t y, int32_t z) {
    constexpr float kScale = 0.00390625f; // 1/256
    return ORBGSensor(static_cast<float>(x) * kScale, static_cast<float>(y) * kScale,
                      static_cast<float>(z) * kScale);
}

} // namespace nura
