// SPDX-License-Identifier: GPL-3.0-or-later
#include "DriveScript.h"
#include "H264Encoder.h"
#include "SampleRecording.h"
#include "core/telemetry/ConvertNmeaCoordinates.h"
#include "core/telemetry/ORBBlackBoxData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using samples::DriveScript;

TEST(RecordingWriter, ScriptedDriveReadsBackWithItsImpactFixAndSentenceMix) {
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

    // Records with two "$G" sentences, with one and with none; no sentence is cut by the record size.
    size_t none = 0, two = 0;
    for (int64_t second = 0; second < 130; second += 2) {
        for (int slot = 0; slot < 10; ++slot) {
            const std::string text = drive.nmeaFor(second, slot);
            ASSERT_LE(text.size(), nura::ORBAviGpsData::kTextSize) << second << " " << slot;
            const auto sentences = std::count(text.begin(), text.end(), '$');
            none += sentences == 0;
            two += text.find("$G") != text.rfind("$G");
        }
    }
    EXPECT_GT(none, 300u);
    EXPECT_GT(two, 30u);
}

TEST(RecordingWriter, DataTrackIsTheFifthChildOfTheMovie) {
    const auto mp4 =
        samples::buildCameraMp4(samples::placeholderVideo(64, 36, 30, 30), DriveScript().records(0, 1));
    std::vector<std::string> top, movie;
    for (const auto& b : mp4.boxes) {
        const auto slash = std::count(b.path.begin(), b.path.end(), '/');
        if (slash == 0) {
            top.push_back(b.path);
        } else if (slash == 1 && b.path.rfind("moov/", 0) == 0) {
            movie.push_back(b.path);
        }
    }
    std::sort(top.begin(), top.end(),
              [&](const auto& x, const auto& y) { return mp4.box(x)->offset < mp4.box(y)->offset; });
    EXPECT_EQ(top, (std::vector<std::string>{"ftyp", "mdat", "moov"}));
    EXPECT_EQ(movie,
              (std::vector<std::string>{"moov/mvhd", "moov/trak", "moov/udta", "moov/free", "moov/trak[2]"}));
    EXPECT_EQ(mp4.dataChunkOffsets.size(), 10u);
}

TEST(RecordingWriter, AnnexBStreamSplitsIntoFramesAtDelimiters) {
    const auto b = [](std::initializer_list<int> v) {
        std::vector<std::byte> out;
        for (int x : v) {
            out.push_back(static_cast<std::byte>(x));
        }
        return out;
    };
    std::vector<std::byte> stream;
    for (const auto& part :
         {b({0, 0, 0, 1, 0x09, 0xF0}), b({0, 0, 0, 1, 0x67, 66, 0, 30, 1}), b({0, 0, 1, 0x68, 0xCE}),
          b({0, 0, 1, 0x65, 1, 2, 0}), b({0, 0, 0, 1, 0x09, 0xF0}), b({0, 0, 1, 0x41, 7})}) {
        stream.insert(stream.end(), part.begin(), part.end());
    }
    std::string error;
    const auto v = samples::splitAnnexB(stream, &error);
    ASSERT_TRUE(v) << error;
    EXPECT_EQ(v->sps, b({0x67, 66, 0, 30, 1}));
    EXPECT_EQ(v->pps, b({0x68, 0xCE}));
    ASSERT_EQ(v->frames.size(), 2u);
    EXPECT_TRUE(v->frames[0].key);
    EXPECT_EQ(v->frames[0].avcc,
              b({0, 0, 0, 3, 0x65, 1, 2})); // the trailing zero belongs to the next start code
    EXPECT_FALSE(v->frames[1].key);
    EXPECT_FALSE(samples::splitAnnexB(b({0, 0, 1, 0x41, 7}), &error));
}
