// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/telemetry/ORBTelemetryRecord.h"

#include "core/telemetry/ByteOrder.h"

#include <algorithm>

namespace nura {

std::optional<ORBTelemetryRecord> ORBTelemetryRecord::decode(std::span<const std::byte> bytes) {
    if (bytes.size() < kSize) {
        return std::nullopt;
    }
    ORBTelemetryRecord r;
    r.time = bytes::readU32LE(bytes, kTimeOffset);
    r.reserved = bytes::readU32LE(bytes, kReservedOffset);
    r.gSensor = *ORBAviGSensorData::fromBytes(bytes.subspan(kGSensorOffset, ORBAviGSensorData::kSize));
    r.gps = *ORBAviGpsData::fromBytes(bytes.subspan(kGpsOffset, ORBAviGpsData::kSize));
    return r;
}

ORBTelemetryRecord::Bytes ORBTelemetryRecord::encode() const {
    Bytes out{};
    bytes::writeU32LE(out, kTimeOffset, time);
    bytes::writeU32LE(out, kReservedOffset, reserved);
    std::copy(gSensor.data().begin(), gSensor.data().end(), out.begin() + kGSensorOffset);
    std::transform(gps.data().begin(), gps.data().end(), out.begin() + kGpsOffset,
                   [](char c) { return static_cast<std::byte>(c); });
    return out;
}

} // namespace nura
