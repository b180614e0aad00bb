// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/settings/SettingChoices.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace nura;

TEST(SettingChoices, ValueTablesMapStoredValuesToChoices) {
    struct Case {
        const ValueChoiceTable& table;
        int64_t value;
        int index;
    };
    const Case cases[] = {
        {alwaysModeTimeoutChoices(), 0, 0},  {alwaysModeTimeoutChoices(), 600, 8},
        {alwaysModeTimeoutChoices(), 45, 2}, {powerVoltageChoices(), 10000, 2},
        {powerVoltageChoices(), 12400, 12},  {powerVoltageChoices(), 12050, 8},
        {powerTimeChoices(), 48, 7},         {powerTimeChoices(), 5, 0},
        {drivingThresholdPresets(), 45, 2},  {parkingThresholdPresets(), 8, 4},
        {parkingThresholdPresets(), 45, 5},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.table.indexOf(c.value), c.index) << c.value;
    }
    EXPECT_EQ(powerVoltageChoices().valueAt(3), 11500);
    EXPECT_EQ(powerVoltageChoices().valueAt(-1), 12000); // outside: the default choice's value
    EXPECT_EQ(alwaysModeTimeoutChoices().valueAt(99), 30);
    EXPECT_EQ(thresholdPresetIndex(drivingThresholdPresets(), 45, 45, 45), 2);
    EXPECT_EQ(thresholdPresetIndex(drivingThresholdPresets(), 45, 45, 44), 5);
    EXPECT_EQ(thresholdPresetIndex(parkingThresholdPresets(), 25, 25, 25), 0);
}

// The ADAS speeds are stored as the number in the record's unit; a speed in no choice shows 30 km/h or 20
// mi/h.
TEST(SettingChoices, AdasSpeedsFollowTheUnit) {
    EXPECT_EQ(ldwsSpeedChoices(0).indexOf(60), 5);
    EXPECT_EQ(ldwsSpeedChoices(1).indexOf(60), 9);
    EXPECT_EQ(ldwsSpeedChoices(1).indexOf(25), 3);
    EXPECT_EQ(ldwsSpeedChoices(0).indexOf(25), 2);
    EXPECT_EQ(ldwsSpeedChoices(7).indexOf(100), 9); // any unit but 1 is km/h
    EXPECT_EQ(fcwsSpeedChoices(0).indexOf(40), 2);
    EXPECT_EQ(fcwsSpeedChoices(1).indexOf(30), 3);
}

TEST(SettingChoices, ZeroPaddedTextKeepsFirstBytes) {
    char field[8];
    std::memset(field, 'x', sizeof field);
    writeZeroPaddedText(field, sizeof field, "AB12");
    EXPECT_EQ(0, std::memcmp(field, "AB12\0\0\0\0", 8));
    writeZeroPaddedText(field, sizeof field, "ABCDEFGHIJ");
    EXPECT_EQ(0, std::memcmp(field, "ABCDEFGH", 8));
    EXPECT_EQ(readZeroPaddedText(field, sizeof field), "ABCDEFGH");
    writeZeroPaddedText(field, sizeof field, "");
    EXPECT_EQ(0, std::memcmp(field, "\0\0\0\0\0\0\0\0", 8));
    EXPECT_EQ(readZeroPaddedText(field, sizeof field), "");
}

TEST(SettingChoices, ThresholdTextToNearestHundredth) {
    struct Case {
        const char* text;
        std::optional<int32_t> stored;
    };
    const Case cases[] = {
        {"1.5", 150}, {"0.5x", 50},          {" 0.45", 45},        {"", 0},
        {"   ", 0},   {"abc", std::nullopt}, {"1e30", 1000000000},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(thresholdFromText(c.text), c.stored) << c.text;
    }
    // Every stored value shown and read back is itself.
    for (int v = 0; v <= 150; ++v) {
        EXPECT_EQ(thresholdFromText(thresholdText(v)), v);
    }
    EXPECT_EQ(thresholdText(8), "0.08");
}

TEST(SettingChoices, MotionZonesFollowTheCameraBitOrder) {
    auto allOn = motionZonesFromMask(0);
    for (bool z : allOn) {
        EXPECT_TRUE(z);
    }
    struct Case {
        int zone; // 1..12
        uint32_t mask;
    };
    const Case cases[] = {{1, 0x100}, {4, 0x800}, {5, 0x10}, {8, 0x80}, {9, 0x1}, {12, 0x8}};
    for (const auto& c : cases) {
        auto zones = allOn;
        zones[static_cast<std::size_t>(c.zone - 1)] = false;
        EXPECT_EQ(motionMaskFromZones(zones), c.mask) << c.zone;
        EXPECT_EQ(motionZonesFromMask(c.mask), zones) << c.zone;
    }
    const auto defaults = motionZonesFromMask(96); // zones 06 and 07 left out
    for (int i = 0; i < kMotionZoneCount; ++i) {
        EXPECT_EQ(defaults[static_cast<std::size_t>(i)], i != 5 && i != 6) << i;
    }
    EXPECT_EQ(motionMaskFromZones(motionZonesFromMask(0xFFFF)), 0xFFFu);
}
