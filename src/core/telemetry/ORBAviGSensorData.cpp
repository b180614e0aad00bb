// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/telemetry/ORBAviGSensorData.h"

#include "core/telemetry/ByteOrder.h"

#include <algorithm>

namespace nura {

std::optional<ORBAviGSensorData> ORBAviGSensorData::fromBytes(std::span<const std::byte> bytes) {
    if (bytes.size() < kSize) {
        return std::nullopt;
    }
    Block block;
    std::copy_n(bytes.begin(), kSize, block.begin());
    return ORBAviGSensorData(block);
}

int32_t ORBAviGSensorData::X() const {
    return bytes::readI32LE(m_data, 0);
}
int32_t ORBAviGSensorData::Y() const {
    return bytes::readI32LE(m_data, 4);
}
int32_t ORBAviGSensorData::Z() const {
    return bytes::readI32LE(m_data, 8);
}
int32_t ORBAviGSensorData::T() const {
    return bytes::readI32LE(m_data, 12);
}

} // namespace nura
