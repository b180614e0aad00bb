// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/settings/SettingChoices.h"

#include "core/settings/TimeZone.h"
#include "core/validation/ORBValidator.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace nura {

ValueChoiceTable::ValueChoiceTable(std::initializer_list<int64_t> values, int defaultIndex)
    : m_values(values), m_defaultIndex(defaultIndex) {}

std::optional<int> ValueChoiceTable::find(int64_t value) const {
    const auto it = std::find(m_values.begin(), m_values.end(), value);
    if (it == m_values.end()) {
        return std::nullopt;
    }
    return static_cast<int>(it - m_values.begin());
}

int ValueChoiceTable::indexOf(int64_t value) const {
    return find(value).value_or(m_defaultIndex);
}

int64_t ValueChoiceTable::valueAt(int index) const {
    if (index < 0 || index >= size()) {
        index = m_defaultIndex;
    }
    return m_values[static_cast<std::size_t>(index)];
}

const ValueChoiceTable& alwaysModeTimeoutChoices() {
    static const ValueChoiceTable table({0, 10, 30, 60, 120, 180, 300, 420, 600}, 2);
    return table;
}

const ValueChoiceTable& powerVoltageChoices() {
    static const ValueChoiceTable table(
        {0, 1, 10000, 11500, 11600, 11700, 11800, 11900, 12000, 12100, 12200, 12300, 12400}, 8);
    return table;
}

const ValueChoiceTable& powerTimeChoices() {
    static const ValueChoiceTable table({0, 3, 6, 9, 12, 24, 36, 48}, 0);
    return table;
}

const ValueChoiceTable& drivingThresholdPresets() {
    static const ValueChoiceTable table({65, 55, 45, 35, 25}, kCustomThresholdIndex);
    return table;
}

const ValueChoiceTable& parkingThresholdPresets() {
    static const ValueChoiceTable table({25, 20, 15, 12, 8}, kCustomThresholdIndex);
    return table;
}

const ValueChoiceTable& ldwsSpeedChoices(uint32_t speedUnit) {
    static const ValueChoiceTable kmh({0, 10, 30, 40, 50, 60, 70, 80, 90, 100}, 2);
    static const ValueChoiceTable mph({0, 10, 20, 25, 30, 40, 45, 50, 55, 60}, 2);
    return speedUnit == kSpeedUnitMile ? mph : kmh;
}

const ValueChoiceTable& fcwsSpeedChoices(uint32_t speedUnit) {
    static const ValueChoiceTable kmh({0, 10, 30, 50, 70, 90}, 2);
    static const ValueChoiceTable mph({0, 10, 20, 30, 45, 55}, 2);
    return speedUnit == kSpeedUnitMile ? mph : kmh;
}

const ValueChoiceTable& lcdScreenSaverChoices() {
    static const ValueChoiceTable table({1, 0, 2}, 1);
    return table;
}

const ValueChoiceTable& pipPositionChoices() {
    static const ValueChoiceTable table({2, 1, 3, 0}, 3);
    return table;
}

int thresholdPresetIndex(const ValueChoiceTable& presets, int64_t x, int64_t y, int64_t z) {
    if (x != y || y != z) {
        return kCustomThresholdIndex;
    }
    return presets.find(x).value_or(kCustomThresholdIndex);
}

void writeZeroPaddedText(char* field, std::size_t size, std::string_view text) {
    const std::size_t n = std::min(size, text.size());
    std::memset(field, 0, size);
    std::memcpy(field, text.data(), n);
}

std::string readZeroPaddedText(const char* field, std::size_t size) {
    const void* zero = std::memchr(field, 0, size);
    return std::string(field, zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - field) : size);
}

std::optional<int32_t> thresholdFromText(std::string_view text) {
    if (text.find_first_not_of(" \t\n\r\f\v") == std::string_view::npos) {
        return 0;
    }
    const auto number = ORBValidator::scanNumber(text);
    if (!number || !std::isfinite(*number)) {
        return std::nullopt;
    }
    // Kept inside what the field holds, so a value that validation would refuse cannot overflow it.
    const double hundredths = std::clamp(std::round(*number * 100.0), -1.0e9, 1.0e9);
    return static_cast<int32_t>(hundredths);
}

std::string thresholdText(int64_t hundredths) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.2f", static_cast<double>(hundredths) / 100.0);
    return buffer;
}

std::array<bool, kMotionZoneCount> motionZonesFromMask(uint32_t mask) {
    std::array<bool, kMotionZoneCount> zones{};
    for (int i = 0; i < kMotionZoneCount; ++i) {
        zones[static_cast<std::size_t>(i)] =
            (mask & (1u << kMotionZoneBits[static_cast<std::size_t>(i)])) == 0;
    }
    return zones;
}

uint32_t motionMaskFromZones(const std::array<bool, kMotionZoneCount>& detecting) {
    uint32_t mask = 0;
    for (int i = 0; i < kMotionZoneCount; ++i) {
        if (!detecting[static_cast<std::size_t>(i)]) {
            mask |= 1u << kMotionZoneBits[static_cast<std::size_t>(i)];
        }
    }
    return mask;
}

std::string timeZoneLabel(int index) {
    if (index < 0 || index >= static_cast<int>(TimeZoneOffsetTable.size())) {
        return {};
    }
    const int32_t offset = TimeZoneOffsetTable[static_cast<std::size_t>(index)];
    const int32_t magnitude = offset < 0 ? -offset : offset;
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "UTC%c%02d:%02d", offset < 0 ? '-' : '+', magnitude / 100,
                  magnitude % 100);
    return buffer;
}

std::vector<std::string> timeZoneLabels() {
    std::vector<std::string> labels;
    for (int i = 0; i < static_cast<int>(TimeZoneOffsetTable.size()); ++i) {
        labels.push_back(timeZoneLabel(i));
    }
    return labels;
}

} // namespace nura
