// SPDX-License-Identifier: GPL-3.0-or-later
#include "CoreTestSupport.h"
#include "SampleRecording.h"
#include "core/log.h"
#include "core/trip/TripExportWriter.h"
#include "core/trip/TripJoiner.h"
#include "core/trip/TripRecordingReader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

using nura::TripFix;
using nura::TripJoiner;
using nura::TripSummary;

namespace {

// Remembers what a joiner hands on.
struct Collected : nura::TripSink {
    std::vector<TripSummary> trips;
    std::vector<std::vector<int64_t>> times; // fix times of each trip
    void tripStarted(size_t) override { times.emplace_back(); }
    void tripPoint(const TripFix& fix, const std::string&) override { times.back().push_back(fix.utcMs); }
    void tripEnded(const TripSummary& s) override { trips.push_back(s); }
};

TripFix fixAt(int64_t ms, double lat = 0, double lon = 0, double knots = 0) {
    TripFix f;
    f.utcMs = ms;
    f.latitude = lat;
    f.longitude = lon;
    f.speedKnots = knots;
    return f;
}

// A recording whose records carry the given NMEA sentences, one sentence a record.
std::string writeRecording(const std::filesystem::path& path, const std::vector<std::string>& sentences) {
    std::vector<nura::ORBTelemetryRecord> records;
    for (size_t i = 0; i < sentences.size(); ++i) {
        records.push_back(coretest::record(static_cast<uint32_t>(i * 100), 0, sentences[i] + "\r\n"));
    }
    const auto mp4 =
        samples::buildCameraMp4(samples::placeholderVideo(64, 36, 30, records.size() * 3), records);
    EXPECT_TRUE(samples::writeFile(path, mp4.bytes));
    return path.string();
}

using TempDir = coretest::ScratchFolder;

} // namespace

TEST(Trip, SplitsWhereFixesLieMoreThanTheGapApartAndKeepsEachFixOnce) {
    Collected c;
    TripJoiner joiner(c, 5.0);
    const int64_t t = 1'700'000'000'000;
    const std::vector<TripFix> a{fixAt(t), fixAt(t + 1000)};
    // The next file repeats the last second, then the clock steps back once.
    const std::vector<TripFix> b{fixAt(t + 1000), fixAt(t + 500), fixAt(t + 2000), fixAt(t + 2000 + 300000)};
    const std::vector<TripFix> none;
    const std::vector<TripFix> d{fixAt(t + 2000 + 600001)}; // 5 minutes and 1 ms after the last
    joiner.addRecording("a", a);
    joiner.addRecording("b", b);
    joiner.addRecording("empty", none);
    joiner.addRecording("d", d);
    joiner.finish();
    ASSERT_EQ(c.trips.size(), 2u);
    EXPECT_EQ(c.times[0], (std::vector<int64_t>{t, t + 1000, t + 2000, t + 302000}));
    EXPECT_EQ(c.trips[0].points, 4u);
    EXPECT_EQ(c.trips[0].recordings, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(c.trips[1].number, 2u);
    EXPECT_EQ(c.trips[1].recordings, (std::vector<std::string>{"d"}));
    EXPECT_EQ(c.trips[1].points, 1u);
}

TEST(Trip, SumsGreatCircleDistanceAndTakesTopSpeed) {
    Collected c;
    TripJoiner joiner(c);
    // One degree along the equator, then one degree north: 2 x 6,371,000 x pi / 180 = 222,389.85 m.
    const std::vector<TripFix> path{fixAt(0, 0, 0, 10), fixAt(1000, 0, 1, 54), fixAt(2000, 1, 1, 20)};
    joiner.addRecording("a", path);
    joiner.finish();
    ASSERT_EQ(c.trips.size(), 1u);
    EXPECT_EQ(std::llround(c.trips[0].distanceMetres), 222390);
    ASSERT_TRUE(c.trips[0].maxSpeedKmh);
    EXPECT_DOUBLE_EQ(*c.trips[0].maxSpeedKmh, 54 * 1.852);
    // A quarter meridian, pole to equator.
    EXPECT_NEAR(TripJoiner::greatCircleMetres(90, 0, 0, 0), 10007543.4, 0.1);
    EXPECT_DOUBLE_EQ(TripJoiner::greatCircleMetres(-33.9, 151.2, -33.9, 151.2), 0.0);
}

TEST(Trip, TakesOneFixASecondWithItsOwnHemispheres) {
    TempDir dir;
    nura::LogCapture log;
    const auto path = writeRecording(
        dir.path() / "alwa_20230115_083012_F.MP4",
        {
            "$GPRMC,083012.000,A,,,,,10.0,90.0,150123,,,A*00", // valid, but no position yet
            "$GPRMC,083013.000,A,,,,,20.0,90.0,150123,,,A*00",
            "$GPGGA,083013.000,3351.0000,S,15112.0000,E,1,07,1.2*00", // the same second, with its position
            "$GPRMC,083014.000,V,,,,,0.0,0.0,150123,,,A*00",          // no fix
            "$GPRMC,083015.000,A,,,,,30.0,90.0,150123,,,A*00",
            "$GPGGA,083015.000,5130.0000,N,00007.5000,W,1,09,0.9*00",
        });
    nura::ORBBlackBoxData scratch;
    const auto read = nura::readRecordingFixes(path, scratch);
    ASSERT_EQ(read.error, nura::ORBTelemetryError::None);
    ASSERT_EQ(read.fixes.size(), 2u);
    EXPECT_NEAR(read.fixes[0].latitude, -33.85, 1e-9);
    EXPECT_NEAR(read.fixes[0].longitude, 151.2, 1e-9);
    EXPECT_EQ(read.fixes[0].satellites, 7u);
    EXPECT_EQ(read.fixes[0].utc.wSecond, 13);
    EXPECT_NEAR(read.fixes[1].latitude, 51.5, 1e-9);
    EXPECT_NEAR(read.fixes[1].longitude, -0.125, 1e-9);
    EXPECT_EQ(read.fixes[1].utcMs - read.fixes[0].utcMs, 2000);
    EXPECT_EQ(nura::TripExportWriter::speedText(read.fixes[1].speedKnots), "55.6");
}

TEST(Trip, ReadsOnWorkersInListOrderAndStopsWhenTheWriterFails) {
    TempDir dir;
    nura::LogCapture log;
    // More recordings than the window, each with its own fix second.
    std::vector<std::string> paths;
    for (int i = 0; i < 70; ++i) {
        char rmc[96];
        std::snprintf(rmc, sizeof rmc, "$GPRMC,08%02d%02d.000,A,,,,,1.0,0.0,150123,,,A*00", i / 60, i % 60);
        paths.push_back(writeRecording(dir.path() / ("r" + std::to_string(i) + ".MP4"),
                                       {rmc, "$GPGGA,000000.000,3723.2475,N,12158.3416,E,1,07,1.2*00"}));
        if (i % 10 == 3) {
            paths.push_back((dir.path() / "missing.MP4").string());
        }
    }
    for (unsigned workers : {1u, 2u, 4u}) {
        std::vector<size_t> order;
        std::vector<int> seconds;
        nura::TripRecordingReader::readInOrder(paths, workers, [&](size_t i, nura::RecordingFixes&& r) {
            order.push_back(i);
            if (r.error == nura::ORBTelemetryError::None) {
                ASSERT_EQ(r.fixes.size(), 1u);
                seconds.push_back(r.fixes[0].utc.wMinute * 60 + r.fixes[0].utc.wSecond);
            }
        });
        ASSERT_EQ(order.size(), paths.size());
        for (size_t i = 0; i < order.size(); ++i) {
            EXPECT_EQ(order[i], i);
        }
        for (size_t i = 0; i < seconds.size(); ++i) {
            EXPECT_EQ(seconds[i], static_cast<int>(i)) << workers << " workers";
        }
        size_t handed = 0;
        EXPECT_THROW(nura::TripRecordingReader::readInOrder(paths, workers,
                                                            [&](size_t, nura::RecordingFixes&&) {
                                                                if (++handed == 5) {
                                                                    throw std::runtime_error("full");
                                                                }
                                                            }),
                     std::runtime_error);
        EXPECT_EQ(handed, 5u);
    }
}
