// SPDX-License-Identifier: GPL-3.0-or-later
#include "DriveScript.h"
#include "SampleRecording.h"
#include "core/telemetry/ConvertNmeaCoordinates.h"
#include "core/telemetry/ORBBlackBoxData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using samples::DriveScript;

TEST(RecordingWriter, ScriptedDriveReadsBackWithItsImpactAndFixes) {
    const DriveScript drive;
    const auto records = drive.records(0, 150);
    const auto mp4 = samples::buildCameraMp4(samples::placeholderVideo(64, 36, 30, 150 * 30), records);
    nura::ORBMemoryByteSource source(mp4.bytes);
    nura::ORBBlackBoxData data;
    ASSERT_TRUE(data.ExtractStreamInformation(source));
    ASSERT_EQ(data.gSensors().size(), 1500u);
    EXPECT_EQ(data.times()[10], 1000u);

    // The impact is the strongest sample, 47 s in.
    const auto& g = data.gSensors();
    const auto strongest = std::max_element(
        g.begin(), g.end(), [](const auto& a, const auto& b) { return std::fabs(a.x()) < std::fabs(b.x()); });
    EXPECT_EQ(strongest - g.begin(), 470);
    EXPECT_LT(strongest->x(), -2.5f);

    // No fix for the first seconds, then valid fixes that move; every shown state is north-east Seoul.
    EXPECT_EQ(data.gpsStateForRecord(0)->gpsValid, 0);
    const auto* early = data.gpsStateForRecord(100);
    const auto* late = data.gpsStateForRecord(1400);
    ASSERT_TRUE(early && late);
    EXPECT_EQ(late->gpsValid, 1);
    EXPECT_EQ(late->Now.wDay, 15);
    EXPECT_NEAR(late->Now.wMinute * 60 + late->Now.wSecond, 30 * 60 + 140, 5);
    const auto a = nura::decimalPosition(*early);
    const auto b = nura::decimalPosition(*late);
    EXPECT_NEAR(a.latitude, 37.52, 0.05);
    EXPECT_NEAR(a.longitude, 127.0, 0.05);
    EXPECT_GT(std::hypot(a.latitude - b.latitude, a.longitude - b.longitude), 0.005);
    EXPECT_EQ(late->Enable_GNGNS, 1); // combined fixes from two minutes on
    EXPECT_GT(late->SatelliteUsedCount, 8u);
}
