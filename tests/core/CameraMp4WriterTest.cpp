// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/mp4/CameraMp4Writer.h"
#include "DriveScript.h"
#include "SampleRecording.h"
#include "core/mp4/Mp4Movie.h"
#include "core/telemetry/ORBBlackBoxData.h"

#include "CoreTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

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
    std::string packets;
    coretest::run(
        "ffprobe -v quiet -select_streams v -show_entries packet=pts,duration,size,flags -of csv=p=0 " +
            path.string(),
        &packets);
    std::filesystem::remove(path);
    EXPECT_EQ(packets, "0,3000,6,K_\n3000,3000,6,__\n6000,3003,6,__\n9003,3003,6,__\n12006,3003,6,__\n"
                       "15009,6000,6,K_\n21009,3000,6,__\n");
}

// Media data between two frames that belongs to neither (sound a repair leaves out) ends the chunk:
// the frame after it gets a chunk of its own, else its offset would point into that data.
TEST(CameraMp4Writer, AGapEndsTheOpenChunk) {
    nura::Mp4MemorySink sink;
    nura::CameraMp4Writer w(sink, {nura::Mp4TrackSetup{}});
    ASSERT_TRUE(w.begin(nura::CameraMp4Writer::cameraFileType()));
    const uint64_t media = w.mediaDataStart();
    ASSERT_TRUE(w.noteSample(0, 10, 1000, true));
    ASSERT_TRUE(w.noteGap(7));
    ASSERT_TRUE(w.noteSample(0, 10, 1000, false));
    EXPECT_EQ(w.chunkOffsets(0), (std::vector<uint64_t>{media, media + 17}));
}

namespace {

using coretest::be32;
using coretest::box;
using coretest::zeros;

// A movie of one video track of three samples; `timed` and `sized` are the counts its time table and
// size table give, `shifted` the count its composition offsets cover (none without).
std::string movieBox(uint32_t timed, uint32_t sized, uint32_t shifted = 0) {
    const std::string mvhd = box("mvhd", zeros(12) + be32(1000) + zeros(84));
    const std::string tkhd = box("tkhd", zeros(12) + be32(1) + zeros(60) + be32(64 << 16) + be32(36 << 16));
    const std::string elst = box("elst", zeros(4) + be32(2) + be32(100) + be32(0xFFFFFFFF) + be32(0x10000) +
                                             be32(3000) + be32(2000) + be32(0x10000));
    const std::string mdhd = box("mdhd", zeros(12) + be32(30000) + be32(3000) + be32(0x55C40000));
    const std::string hdlr = box("hdlr", zeros(8) + "vide" + zeros(12) + "V" + zeros(1));
    const std::string stsd = box("stsd", zeros(4) + be32(1) + box("avc1", zeros(78)));
    const std::string stts = box("stts", zeros(4) + be32(1) + be32(timed) + be32(1000));
    const std::string ctts =
        box("ctts", zeros(4) + be32(2) + be32(1) + be32(2000) + be32(shifted - 1) + be32(0xFFFFFC18));
    const std::string stsc = box("stsc", zeros(4) + be32(1) + be32(1) + be32(3) + be32(1));
    std::string sizes = zeros(4) + be32(0) + be32(sized);
    for (uint32_t i = 0; i < sized; ++i) {
        sizes += be32(5);
    }
    const std::string stco = box("stco", zeros(4) + be32(1) + be32(48));
    const std::string stbl = stsd + stts + (shifted != 0 ? ctts : "") + stsc + box("stsz", sizes) + stco;
    const std::string mdia = box("mdia", mdhd + hdlr + box("minf", box("stbl", stbl)));
    return box("moov", mvhd + box("trak", tkhd + box("edts", elst) + mdia));
}

std::optional<nura::Mp4Movie> parsed(const std::string& moov) {
    return nura::Mp4Movie::parse(std::as_bytes(std::span(moov)).subspan(8), {});
}

} // namespace

// An index whose tables count different samples does not hold together: it is refused, never read
// as far as one of them goes (a cut would make up a frame, a repair learn from a broken file).
TEST(Mp4Movie, TablesThatCountDifferentSamplesAreRefused) {
    const auto whole = parsed(movieBox(3, 3, 3));
    ASSERT_TRUE(whole.has_value());
    const auto& t = whole->tracks.at(0);
    EXPECT_EQ(t.sampleCount(), 3u);
    EXPECT_EQ(t.compositionOffsets, (std::vector<int32_t>{2000, -1000, -1000}));
    EXPECT_EQ(t.editMediaTime, 2000) << "the first segment that shows media, after the empty one";

    EXPECT_FALSE(parsed(movieBox(2, 3)).has_value()) << "fewer times than sizes";
    EXPECT_FALSE(parsed(movieBox(4, 3)).has_value()) << "more times than sizes";
    EXPECT_FALSE(parsed(movieBox(3, 3, 2)).has_value()) << "offsets for fewer samples";
    EXPECT_FALSE(parsed(movieBox(3, 3, 4)).has_value()) << "offsets for more samples";
}
