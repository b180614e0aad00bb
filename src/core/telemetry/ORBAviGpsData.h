// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The raw 129-byte GPS block of one telemetry record: the speed-unit character, then 128 bytes of
// NMEA text padded with zeros.

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

namespace nura {

class ORBAviGpsData {
public:
    static constexpr size_t kSize = 129;
    static constexpr size_t kTextSize = 128;
    // The unit character that selects kilometres per hour; anything else means miles per hour.
    static constexpr char kUnitKmh = '9';
    using Block = std::array<char, kSize>;

    ORBAviGpsData() : m_data{} {}
    explicit ORBAviGpsData(const Block& data) : m_data(data) {}
    static std::optional<ORBAviGpsData> fromBytes(std::span<const std::byte> bytes);

    const Block& data() const { return m_data; }
    void setData(const Block& data) { m_data = data; }

    char unit() const { return m_data[0]; }
    bool isKilometresPerHour() const { return unit() == kUnitKmh; }
    // The 128 text bytes, zeros included.
    std::string_view gpsString() const { return std::string_view(m_data.data() + 1, kTextSize); }

    bool operator==(const ORBAviGpsData&) const = default;

private:
    Block m_data;
};

} // namespace nura
