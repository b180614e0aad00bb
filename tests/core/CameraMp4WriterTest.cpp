// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/mp4/CameraMp4Writer.h"
#include "DriveScript.h"
#include "SampleRecording.h"
#include "core/telemetry/ORBBlackBoxData.h"

#include "CoreTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

namespace {

std::string run(const std::string& command) {
    std::string out;
    std::unique_ptr<FILE, int (*)(FILE*)> p(::popen(command.c_str(), "r"), ::pclose);
    char buf[4096];
    while (p && std::fgets(buf, sizeof buf, p.get())) {
        out += buf;
    }
    return out;
}

} // namespace

TEST(CameraMp4Writer, StreamedFileEqualsTheFileBuiltInMemory) {
    const auto records = samples::DriveScript().records(0, 3);
    const auto video = samples::placeholderVideo(64, 36, 30, 90);
    const auto inMemory = samples::buildCameraMp4(video, records);
    const auto path = std::filesystem::temp_directory_path() / "nura-writer-streamed.mp4";
    ASSERT_TRUE(samples::writeCameraMp4(path, video, records));
    const auto onDisk = coretest::slurp(path);
    std::filesystem::remove(path);
    ASSERT_EQ(onDisk.size(), inMemory.bytes.size());
    EXPECT_TRUE(std::equal(onDisk.begin(), onDisk.end(), inMemory.bytes.begin(),
                           [](char a, std::byte b) { return static_cast<std::byte>(a) == b; }));
    // The media data's size was patched in: the movie follows it directly.
    const auto* mdat = inMemory.box("mdat");
    const auto* moov = inMemory.box("moov");
    ASSERT_TRUE(mdat && moov);
    EXPECT_EQ(mdat->offset + mdat->size, moov->offset);
}

// Packets fed one by one with their own durations and chunking, as a lossless cut does, come back
// from ffprobe with the same times, sizes and key flags; the telemetry reader finds the data track.
TEST(CameraMp4Writer, SampleTablesReadBackThroughFfprobe) {
    auto v = samples::placeholderVideo(64, 36, 30, 7);
    v.frames[5].avcc[4] = std::byte{0x65}; // ffprobe's parser takes key frames from the units too
    nura::Mp4TrackSetup video;
    video.timescale = 90000;
    video.width = 64;
    video.height = 36;
    video.sampleEntry = nura::CameraMp4Writer::avc1SampleEntry(64, 36, v.sps, v.pps);
    video.syncTable = true;
    video.maxSamplesPerChunk = 2;
    nura::Mp4TrackSetup data;
    data.handlerType = "gps ";
    data.handlerName = "GpsDataHandler";
    data.timescale = 1000;
    data.sampleEntry = nura::CameraMp4Writer::gpsSampleEntry();
    data.editList = true;
    data.uniformSizeTable = true;

    nura::Mp4MemorySink sink;
    nura::CameraMp4Writer w(sink, {video, data});
    ASSERT_TRUE(w.begin(nura::CameraMp4Writer::cameraFileType()));
    const uint32_t durations[] = {3000, 3000, 3003, 3003, 3003, 6000, 3000};
    const auto records = samples::DriveScript().records(0, 0.2);
    for (size_t i = 0; i < 7; ++i) {
        ASSERT_TRUE(w.appendSample(0, v.frames[i].avcc, durations[i], i == 0 || i == 5));
        if (i == 4 || i == 6) {
            std::vector<std::byte> chunk(2, std::byte{0});
            chunk[1] = std::byte{153};
            const auto r = records[i == 4 ? 0 : 1].encode();
            chunk.insert(chunk.end(), r.begin(), r.end());
            ASSERT_TRUE(w.appendSample(1, chunk, 100, true));
        }
    }
    ASSERT_TRUE(w.finish(nura::CameraMp4Writer::cameraMovie(0, 1)));
    // Chunks: two, two, one (the telemetry record breaks the run), then two more.
    EXPECT_EQ(w.chunkOffsets(0).size(), 4u);
    EXPECT_EQ(w.mediaDuration(0), 24009u);

    nura::ORBMemoryByteSource source(sink.bytes());
    nura::ORBBlackBoxData telemetry;
    ASSERT_TRUE(telemetry.ExtractStreamInformation(source));
    EXPECT_EQ(telemetry.times().size(), 2u);

    const auto path = std::filesystem::temp_directory_path() / "nura-writer-tables.mp4";
    ASSERT_TRUE(samples::writeFile(path, sink.bytes()));
    const auto packets =
        run("ffprobe -v error -select_streams v -show_entries packet=pts,duration,size,flags -of csv=p=0 " +
            path.string());
    std::filesystem::remove(path);
    EXPECT_EQ(packets, "0,3000,6,K_\n3000,3000,6,__\n6000,3003,6,__\n9003,3003,6,__\n12006,3003,6,__\n"
                       "15009,6000,6,K_\n21009,3000,6,__\n");
}

TEST(CameraMp4Writer, SamplesOnlyBetweenBeginAndFinish) {
    const std::byte b[1]{};
    nura::Mp4MemorySink early;
    nura::CameraMp4Writer before(early, {nura::Mp4TrackSetup{}});
    EXPECT_FALSE(before.appendSample(0, b, 1, true));

    nura::Mp4MemorySink sink;
    nura::CameraMp4Writer w(sink, {nura::Mp4TrackSetup{}});
    ASSERT_TRUE(w.begin(nura::CameraMp4Writer::cameraFileType()));
    EXPECT_FALSE(w.appendSample(1, b, 1, true)); // no such track
}

TEST(CameraMp4Writer, AfterFinishNothingMoreIsWritten) {
    const std::byte b[1]{};
    nura::Mp4MemorySink sink;
    nura::CameraMp4Writer w(sink, {nura::Mp4TrackSetup{}});
    ASSERT_TRUE(w.begin(nura::CameraMp4Writer::cameraFileType()));
    ASSERT_TRUE(w.appendSample(0, b, 1, true));
    std::vector<nura::Mp4MovieItem> movie{{nura::Mp4MovieItem::Kind::MovieHeader, 0, {}},
                                          {nura::Mp4MovieItem::Kind::Track, 0, {}}};
    ASSERT_TRUE(w.finish(movie));
    const auto size = sink.bytes().size();
    EXPECT_FALSE(w.appendSample(0, b, 1, true));
    EXPECT_FALSE(w.finish(movie));
    EXPECT_EQ(sink.bytes().size(), size);
}
