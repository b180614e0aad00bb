// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the settings panes share: the value behind each choice of a control, the text fields' byte layout,
// the G-sensor threshold as typed and as stored, the motion zones, and the time-zone names.

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nura {

// The values a choice control stores, one per choice in order, and the choice shown for a stored value
// that is not among them.
class ValueChoiceTable {
public:
    ValueChoiceTable(std::initializer_list<int64_t> values, int defaultIndex);

    int size() const { return static_cast<int>(m_values.size()); }
    int defaultIndex() const { return m_defaultIndex; }
    // The first choice storing this value, else the default choice.
    int indexOf(int64_t value) const;
    // The first choice storing this value, or none.
    std::optional<int> find(int64_t value) const;
    // The value of a choice; the default choice's for an index outside the table.
    int64_t valueAt(int index) const;

private:
    std::vector<int64_t> m_values;
    int m_defaultIndex;
};

// Parking waiting time in seconds (default 30 s).
const ValueChoiceTable& alwaysModeTimeoutChoices();
// Power cut-off voltage in millivolts, 0 = not used, 1 = automatic, 10000 = external power (default 12.0 V).
const ValueChoiceTable& powerVoltageChoices();
inline constexpr int kExternalPowerVoltageIndex = 2;
// Power cut-off timer in hours (default: not used).
const ValueChoiceTable& powerTimeChoices();
// The five impact-sensitivity presets in hundredths of g, least sensitive first; index 5 is the user's own
// values (the default).
const ValueChoiceTable& drivingThresholdPresets();
const ValueChoiceTable& parkingThresholdPresets();
inline constexpr int kCustomThresholdIndex = 5;
// The preset whose value all three axes hold, else the custom choice.
int thresholdPresetIndex(const ValueChoiceTable& presets, int64_t x, int64_t y, int64_t z);

// The speed unit of the record's speed_disp_unit that is miles per hour; any other value is km/h.
inline constexpr uint32_t kSpeedUnitMile = 1;
// Lowest speed of the lane-departure and forward-collision warnings, as the speed number in the record's
// unit; choice 0 (stored 0) turns the warning off. A speed in no choice shows choice 2.
const ValueChoiceTable& ldwsSpeedChoices(uint32_t speedUnit);
const ValueChoiceTable& fcwsSpeedChoices(uint32_t speedUnit);
// Screen protection, by choice: off (stored 1), the camera's default (0), after a time (2).
const ValueChoiceTable& lcdScreenSaverChoices();
// Picture-in-picture corner by radio cell, row by row: top left 2, top right 1, bottom left 3, bottom right
// 0; any other stored value shows the bottom right cell.
const ValueChoiceTable& pipPositionChoices();

// Copies the first `size` bytes of `text` into `field` and fills the rest with zero bytes: the camera reads
// a full field without a terminator.
void writeZeroPaddedText(char* field, std::size_t size, std::string_view text);
// A text field up to its first zero byte, all of it when there is none.
std::string readZeroPaddedText(const char* field, std::size_t size);

// A typed threshold in g as the record stores it: hundredths of g, the nearest one, read from the number at
// the start of the text (what follows it is ignored, as validation ignores it). Empty or blank gives 0;
// a text with no number gives none.
std::optional<int32_t> thresholdFromText(std::string_view text);
// A stored threshold as the field shows it: "0.45".
std::string thresholdText(int64_t hundredths);

// Twelve motion zones, numbered 01 to 12 as the check boxes are (index 0 = zone 01). A zone that takes
// part in detection has its bit clear.
inline constexpr int kMotionZoneCount = 12;
inline constexpr std::array<int, kMotionZoneCount> kMotionZoneBits = {8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3};
std::array<bool, kMotionZoneCount> motionZonesFromMask(uint32_t mask);
// Only the twelve zone bits; every higher bit is 0.
uint32_t motionMaskFromZones(const std::array<bool, kMotionZoneCount>& detecting);

// "UTC-04:30" for an index of the camera's time-zone table; empty outside it.
std::string timeZoneLabel(int index);
std::vector<std::string> timeZoneLabels();

} // namespace nura
