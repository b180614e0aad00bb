// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The raw 16-byte G-sensor block of one telemetry record: X, Y, Z, T as signed 32-bit little-endian.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace nura {

class ORBAviGSensorData {
public:
    static constexpr size_t kSize = 16;
    using Block = std::array<std::byte, kSize>;

    ORBAviGSensorData() : m_data{} {}
    explicit ORBAviGSensorData(const Block& data) : m_data(data) {}
    // Empty when the bytes cannot hold a whole block.
    static std::optional<ORBAviGSensorData> fromBytes(std::span<const std::byte> bytes);

    const Block& data() const { return m_data; }
    void setData(const Block& data) { m_data = data; }

    int32_t X() const;
    int32_t Y() const;
    int32_t Z() const;
    int32_t T() const;

    bool operator==(const ORBAviGSensorData&) const = default;

private:
    Block m_data;
};

} // namespace nura
