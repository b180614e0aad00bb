// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/telemetry/ORBEventMarkers.h"

#include <gtest/gtest.h>

#include <cmath>

using nura::ORBEventMarker;
using nura::ORBEventMarkers;
using nura::ORBGSensor;

namespace {

// A minute at ten samples a second: the camera mounted tilted (gravity split over y and z) and
// road noise of up to 0.3 g, below the threshold.
std::vector<ORBGSensor> quietDrive() {
    std::vector<ORBGSensor> s;
    for (int i = 0; i < 600; ++i) {
        const float noise = 0.3f * static_cast<float>(std::sin(i * 1.7));
        s.emplace_back(noise, 0.5f - noise / 2, 0.87f + noise / 2);
    }
    return s;
}

void kick(std::vector<ORBGSensor>& s, int index, float gx) {
    s[static_cast<size_t>(index)].setX(s[static_cast<size_t>(index)].x() + gx);
}

} // namespace

TEST(EventMarkers, MarksEachBurstAtItsPeak) {
    auto drive = quietDrive();
    // One burst of three samples at 20 s, strongest in the middle.
    kick(drive, 200, 1.0f);
    kick(drive, 201, 2.5f);
    kick(drive, 202, 1.2f);
    auto markers = ORBEventMarkers::find(drive, 60.0);
    ASSERT_EQ(markers.size(), 1u);
    EXPECT_EQ(markers[0].index, 201u);
    EXPECT_DOUBLE_EQ(markers[0].seconds, 20.1);
    EXPECT_NEAR(markers[0].position, 201.0 / 600, 1e-12);
    EXPECT_NEAR(markers[0].peak, 2.5, 0.35); // the kick plus that sample's noise

    // A second burst one second later is a marker of its own; one 0.3 s after it joins it.
    kick(drive, 212, 1.0f);
    kick(drive, 215, 3.0f);
    markers = ORBEventMarkers::find(drive, 60.0);
    ASSERT_EQ(markers.size(), 2u);
    EXPECT_EQ(markers[0].index, 201u);
    EXPECT_EQ(markers[1].index, 215u);

    // The preference's threshold: above every peak, nothing is marked.
    EXPECT_TRUE(ORBEventMarkers::find(drive, 60.0, 3.5).empty());
}

TEST(EventMarkers, NothingWithoutSharpForcesOrData) {
    EXPECT_TRUE(ORBEventMarkers::find(quietDrive(), 60.0).empty());
    EXPECT_TRUE(ORBEventMarkers::find({}, 60.0).empty());
    auto drive = quietDrive();
    kick(drive, 10, 2.0f);
    EXPECT_TRUE(ORBEventMarkers::find(drive, 0.0).empty()); // length not known yet
    EXPECT_TRUE(ORBEventMarkers::find(drive, 60.0, std::nan("")).empty());
    // A whole recording standing still on a slope has no deviation at all.
    EXPECT_TRUE(ORBEventMarkers::find(std::vector<ORBGSensor>(100, {0.4f, 0.1f, 0.9f}), 10.0).empty());
}

TEST(EventMarkers, JumpTargets) {
    const std::vector<ORBEventMarker> markers = {{0, 0, 2.0, 1}, {0, 0, 20.0, 1}, {0, 0, 40.0, 1}};
    // Forward from the start: the first lands at 0 (2 s - 3 s, clamped), which is not ahead.
    EXPECT_EQ(ORBEventMarkers::nextTarget(markers, 0.0), 17.0);
    EXPECT_EQ(ORBEventMarkers::nextTarget(markers, 17.0), 37.0); // a second press moves on
    EXPECT_EQ(ORBEventMarkers::nextTarget(markers, 37.0), std::nullopt);

    // Back from just after a landing point skips that marker; from further on it takes it.
    EXPECT_EQ(ORBEventMarkers::previousTarget(markers, 37.5), 17.0);
    EXPECT_EQ(ORBEventMarkers::previousTarget(markers, 38.5), 37.0);
    EXPECT_EQ(ORBEventMarkers::previousTarget(markers, 17.9), 0.0);
    EXPECT_EQ(ORBEventMarkers::previousTarget(markers, 0.9), std::nullopt);
}
