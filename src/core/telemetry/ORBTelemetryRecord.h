// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The camera's 153-byte telemetry record, one per chunk of the data track after 2 leading bytes.
// The layout is shared by the reader and by the sample writer.
//
//   offset  size  content
//        0     4  time value, unsigned, little-endian
//        4     4  reserved (not read)
//        8    16  G-sensor block: X, Y, Z, T, signed, little-endian (1 g = 256)
//       24     1  speed-unit character ('9' = km/h)
//       25   128  NMEA sentences, each ended by CR, LF or a zero byte; zero-padded

#include "core/telemetry/ORBAviGSensorData.h"
#include "core/telemetry/ORBAviGpsData.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace nura {

struct ORBTelemetryRecord {
    static constexpr size_t kChunkLeadBytes = 2; // skipped before every record
    static constexpr size_t kSize = 153;
    static constexpr size_t kTimeOffset = 0;
    static constexpr size_t kReservedOffset = 4;
    static constexpr size_t kGSensorOffset = 8;
    static constexpr size_t kGpsOffset = 24;
    static_assert(kGSensorOffset + ORBAviGSensorData::kSize == kGpsOffset);
    static_assert(kGpsOffset + ORBAviGpsData::kSize == kSize);

    using Bytes = std::array<std::byte, kSize>;

    uint32_t time = 0;
    uint32_t reserved = 0;
    ORBAviGSensorData gSensor;
    ORBAviGpsData gps;

    // Empty when the bytes are fewer than a record.
    static std::optional<ORBTelemetryRecord> decode(std::span<const std::byte> bytes);
    Bytes encode() const;
};

} // namespace nura
