// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/telemetry/ORBAviGSensorData.h"
#include "core/telemetry/ORBBlackBoxData.h"
#include "core/telemetry/ORBGSensor.h"

#include <gtest/gtest.h>

#include <array>

using nura::ORBGSensor;

namespace {

std::array<std::byte, 16> block(int32_t x, int32_t y, int32_t z, int32_t t = 0) {
    std::array<std::byte, 16> b{};
    const int32_t v[4] = {x, y, z, t};
    for (size_t i = 0; i < 4; ++i) {
        const auto u = static_cast<uint32_t>(v[i]);
        for (size_t k = 0; k < 4; ++k) {
            b[4 * i + k] = static_cast<std::byte>(u >> (8 * k));
        }
    }
    return b;
}

} // namespace

TEST(GSensor, ScalesRawValuesToG) {
    struct Case {
        int32_t x, y, z;
        ORBGSensor expected;
    };
    const Case cases[] = {
        {256, -128, 0, {1.0f, -0.5f, 0.0f}},
        {2147483647, 0, 0, {8388608.0f, 0.0f, 0.0f}}, // single precision rounds
        {-512, 1, -2147483647 - 1, {-2.0f, 0.00390625f, -8388608.0f}},
    };
    for (const auto& c : cases) {
        nura::ORBBlackBoxData data;
        const auto b = block(c.x, c.y, c.z);
        ASSERT_TRUE(data.ParseGSensor(b));
        ASSERT_EQ(data.gSensors().size(), 1u);
        EXPECT_EQ(data.gSensors()[0], c.expected) << c.x;
    }
}

// The frame count is the samples less one, but at least one: 25 samples give 24 in the reader's first test.
TEST(GSensor, ShortBlocksAreRefusedAndTheFrameCountIsAtLeastOne) {
    nura::ORBBlackBoxData data;
    EXPECT_EQ(data.frameCount(), 1u);
    const auto b = block(256, 256, 256);
    EXPECT_TRUE(data.ParseGSensor(std::span(b).first(12)));
    EXPECT_FALSE(data.ParseGSensor(std::span(b).first(11)));
    EXPECT_FALSE(data.ParseGSensor({}));
    EXPECT_EQ(data.gSensors().size(), 1u);
    EXPECT_EQ(data.frameCount(), 1u);
    EXPECT_FALSE(nura::ORBAviGSensorData::fromBytes(std::span(b).first(15)));
}
