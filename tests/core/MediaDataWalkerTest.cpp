// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/repair/MediaDataWalker.h"
#include "DriveScript.h"
#include "H264Encoder.h"
#include "SampleRecording.h"
#include "core/mp4/Mp4Movie.h"
#include "core/repair/RecordingShape.h"

#include <gtest/gtest.h>

#include <optional>

using nura::MediaDataWalker;

namespace {

// One small recording with real H.264 (x264 through ffmpeg), made once for every test here.
const samples::CameraMp4& recording() {
    static const samples::CameraMp4 mp4 = [] {
        auto video = samples::encodeTestPattern({64, 48, 30, 1, "testsrc2"}, nullptr);
        EXPECT_TRUE(video.has_value());
        return samples::buildCameraMp4(video ? *video : samples::EncodedVideo{},
                                       samples::DriveScript().records(0, 1));
    }();
    return mp4;
}

class Collect final : public nura::MediaDataReceiver {
public:
    bool videoSample(std::span<const std::byte> b, bool sync) override {
        bytes.insert(bytes.end(), b.begin(), b.end());
        syncs.push_back(sync);
        return true;
    }
    bool telemetryChunk(std::span<const std::byte> b) override {
        bytes.insert(bytes.end(), b.begin(), b.end());
        ++records;
        return true;
    }
    bool gap(uint64_t size) override {
        gaps.push_back(size);
        return true;
    }
    std::vector<uint64_t> gaps;
    std::vector<std::byte> bytes;
    std::vector<bool> syncs;
    size_t records = 0;
};

struct Layout {
    nura::MediaDataPattern pattern;
    std::vector<uint64_t> frameEnds, recordEnds;
    std::vector<bool> frameSync;
    uint64_t mediaStart = 0;
};

Layout layoutOf(const samples::CameraMp4& mp4) {
    nura::ORBMemoryByteSource source(mp4.bytes);
    const auto movie = nura::Mp4Movie::read(source);
    EXPECT_TRUE(movie.has_value());
    Layout l;
    l.mediaStart = mp4.box("mdat")->offset + 8;
    const auto& v = movie->tracks[0];
    size_t s = 0;
    for (size_t c = 0; c < v.chunkOffsets.size(); ++c) {
        uint64_t at = v.chunkOffsets[c];
        for (uint32_t k = 0; k < v.samplesPerChunk[c]; ++k, ++s) {
            at += v.sampleSizes[s];
            l.frameEnds.push_back(at);
            l.frameSync.push_back(std::find(v.syncSamples.begin(), v.syncSamples.end(), s + 1) !=
                                  v.syncSamples.end());
        }
    }
    for (uint64_t o : movie->tracks[1].chunkOffsets) {
        l.recordEnds.push_back(o + 155);
    }
    l.pattern.nalLengthSize = v.nalLengthSize();
    l.pattern.telemetryChunkSize = 155;
    l.pattern.telemetryLead = {std::byte{0}, std::byte{153}};
    return l;
}

size_t countUpTo(const std::vector<uint64_t>& ends, uint64_t cut) {
    return static_cast<size_t>(std::count_if(ends.begin(), ends.end(), [&](uint64_t e) { return e <= cut; }));
}

} // namespace

// Cut at every byte from the start of the media data through the index: the walk gives back exactly the
// whole frames and records before the cut, as the original's bytes, with the original's key frames.
TEST(MediaDataWalker, EveryCutGivesBackTheWholeSamplesBeforeIt) {
    const auto& mp4 = recording();
    const Layout l = layoutOf(mp4);
    ASSERT_EQ(l.frameEnds.size(), 30u);
    ASSERT_EQ(l.recordEnds.size(), 10u);
    for (uint64_t cut = l.mediaStart; cut <= mp4.bytes.size(); ++cut) {
        nura::ORBMemoryByteSource source(std::span(mp4.bytes).first(cut));
        Collect got;
        const auto r = MediaDataWalker(l.pattern).walk(source, l.mediaStart, cut, got);
        const size_t frames = countUpTo(l.frameEnds, cut), records = countUpTo(l.recordEnds, cut);
        ASSERT_EQ(r.videoSamples, frames) << "cut at " << cut;
        ASSERT_EQ(r.telemetryChunks, records) << "cut at " << cut;
        ASSERT_EQ(r.stoppedAt, l.mediaStart + got.bytes.size()) << "cut at " << cut;
        ASSERT_TRUE(std::equal(got.bytes.begin(), got.bytes.end(), mp4.bytes.begin() + l.mediaStart));
        ASSERT_TRUE(std::equal(got.syncs.begin(), got.syncs.end(), l.frameSync.begin())) << "cut at " << cut;
        const uint64_t mdatEnd = mp4.box("mdat")->offset + mp4.box("mdat")->size;
        if (cut >= mdatEnd + 5) {
            EXPECT_EQ(r.stop, MediaDataWalker::Stop::UnknownBytes) << "the index is not media data";
        } else if (cut == mdatEnd) {
            EXPECT_EQ(r.stop, MediaDataWalker::Stop::EndOfData);
        }
    }
}

TEST(MediaDataWalker, StopsAtBytesItCannotPlaceAndGuessesNothingPastThem) {
    const auto& mp4 = recording();
    const Layout l = layoutOf(mp4);
    auto bytes = mp4.bytes;
    // Zeros over the fifth frame's first unit: frames 0..3 and the records before them come back.
    const uint64_t fifth = l.frameEnds[3];
    for (uint64_t k = fifth; k < fifth + 8; ++k) {
        bytes[k] = std::byte{0};
    }
    nura::ORBMemoryByteSource source(bytes);
    Collect got;
    const auto r = MediaDataWalker(l.pattern).walk(source, l.mediaStart, bytes.size(), got);
    EXPECT_EQ(r.stop, MediaDataWalker::Stop::UnknownBytes);
    EXPECT_EQ(r.stoppedAt, fifth);
    EXPECT_EQ(r.videoSamples, 4u);
    EXPECT_EQ(r.telemetryChunks, countUpTo(l.recordEnds, fifth));

    // A telemetry chunk whose lead bytes are not the reference's is not taken for one.
    auto wrongLead = l.pattern;
    wrongLead.telemetryLead = {std::byte{0}, std::byte{154}};
    nura::ORBMemoryByteSource whole(mp4.bytes);
    Collect other;
    const auto w = MediaDataWalker(wrongLead).walk(whole, l.mediaStart, mp4.bytes.size(), other);
    EXPECT_EQ(w.telemetryChunks, 0u);
    EXPECT_EQ(w.stoppedAt, l.recordEnds[0] - 155);
}

// Sound between the samples: bytes with no length of their own, as raw AAC, passed as a gap only when the
// reference has sound chunks of about their size.
TEST(MediaDataWalker, PassesSoundBetweenSamplesAsAGap) {
    const auto& mp4 = recording();
    const Layout l = layoutOf(mp4);
    std::vector<std::byte> bytes = mp4.bytes;
    std::vector<uint64_t> at = {l.frameEnds[2], l.frameEnds[9], l.recordEnds[4]};
    std::sort(at.begin(), at.end());
    std::vector<std::byte> sound(700);
    uint32_t x = 12345;
    for (auto& b : sound) { // AAC-like: dense bytes with some zeros
        x = x * 1103515245 + 12345;
        b = std::byte(static_cast<uint8_t>((x >> 16) % 5 == 0 ? 0 : x >> 24));
    }
    for (auto it = at.rbegin(); it != at.rend(); ++it) {
        bytes.insert(bytes.begin() + static_cast<ptrdiff_t>(*it), sound.begin(), sound.end());
    }
    const uint64_t mdatEnd = mp4.box("mdat")->offset + mp4.box("mdat")->size + 3 * sound.size();
    const auto walk = [&](uint64_t soundChunkMax, Collect& got) {
        nura::ORBMemoryByteSource source(bytes);
        auto pattern = l.pattern;
        pattern.soundChunkMax = soundChunkMax;
        return MediaDataWalker(pattern).walk(source, l.mediaStart, mdatEnd, got);
    };

    Collect got;
    const auto r = walk(sound.size(), got);
    EXPECT_EQ(r.stop, MediaDataWalker::Stop::EndOfData);
    EXPECT_EQ(r.videoSamples, 30u);
    EXPECT_EQ(got.gaps, std::vector<uint64_t>(3, sound.size()));

    Collect silent;
    const auto s = walk(0, silent);
    EXPECT_EQ(s.stop, MediaDataWalker::Stop::UnknownBytes);
    EXPECT_EQ(s.stoppedAt, at[0]);
    EXPECT_EQ(s.videoSamples, 3u);

    // Sound far longer than the reference's chunks (100 KiB against 700 bytes): the walk does not look
    // that far, and stops there; the frame before it, with nothing placeable after it, goes too.
    std::vector<std::byte> longSound;
    for (int k = 0; k < 147; ++k) {
        longSound.insert(longSound.end(), sound.begin(), sound.end());
    }
    bytes.insert(bytes.begin() + static_cast<ptrdiff_t>(at[0]), longSound.begin(), longSound.end());
    Collect far;
    nura::ORBMemoryByteSource longer(bytes);
    auto pattern = l.pattern;
    pattern.soundChunkMax = sound.size();
    const auto f = MediaDataWalker(pattern).walk(longer, l.mediaStart, mdatEnd + longSound.size(), far);
    EXPECT_EQ(f.stop, MediaDataWalker::Stop::UnknownBytes);
    EXPECT_EQ(f.stoppedAt, l.frameEnds[1]);
    EXPECT_EQ(f.videoSamples, 2u);
    EXPECT_TRUE(far.gaps.empty());
}

TEST(RecordingShape, TellsWholeFromCutFromForeign) {
    const auto& mp4 = recording();
    const auto shape = [](std::span<const std::byte> b) {
        nura::ORBMemoryByteSource s(b);
        return nura::RecordingShape::inspect(s).kind;
    };
    using Kind = nura::RecordingShape::Kind;
    const auto moov = *mp4.box("moov");
    EXPECT_EQ(shape(mp4.bytes), Kind::Whole);
    EXPECT_EQ(shape(std::span(mp4.bytes).first(moov.offset)), Kind::Cut);
    EXPECT_EQ(shape(std::span(mp4.bytes).first(moov.offset + moov.size - 1)), Kind::Cut); // inside the index

    auto sizeZero =
        std::vector<std::byte>(mp4.bytes.begin(), mp4.bytes.begin() + static_cast<ptrdiff_t>(moov.offset));
    std::fill_n(sizeZero.begin() + 24, 4, std::byte{0});
    EXPECT_EQ(shape(sizeZero), Kind::Cut);

    auto other = mp4.bytes;
    other[8] = std::byte{'i'}; // major brand isom: not the camera's
    EXPECT_EQ(shape(other), Kind::NotRecording);
    EXPECT_EQ(shape(std::span(mp4.bytes).first(24)), Kind::NotRecording); // no media data at all
}
