#include "CameraMp4Writer.h"

#include "Mp4BoxBuilder.h"

#include <fstream>

namespace samples {
namespace {

constexpr uint32_t kMovieTimescale = 1000;
constexpr uint32_t kDataTimescale = 1000;
constexpr uint16_t kLanguageUnd = 0x55C4; // "und", packed as three 5-bit letters
constexpr uint32_t kChunkSize = nura::ORBTelemetryRecord::kChunkLeadBytes + nura::ORBTelemetryRecord::kSize;

struct Interleaved {
    std::vector<uint32_t> videoChunkOffsets;
    std::vector<uint32_t> videoSamplesPerChunk;
    std::vector<uint32_t> dataChunkOffsets;
};

void writeDataReference(Mp4BoxBuilder& b) {
    b.begin("dinf");
    b.beginFull("dref", 0, 0);
    b.u32(1);
    b.beginFull("url ", 0, 1); // the media is in this file
    b.end();
    b.end();
    b.end();
}

void writeTrackHeader(Mp4BoxBuilder& b, uint32_t trackId, uint32_t durationMs, int width, int height) {
    b.beginFull("tkhd", 0, 3); // enabled, in movie
    b.u32(0);                  // creation time
    b.u32(0);                  // modification time
    b.u32(trackId);
    b.u32(0);
    b.u32(durationMs);
    b.zeros(8);
    b.u16(0); // layer
    b.u16(0); // alternate group
    b.u16(0); // volume
    b.u16(0);
    b.matrix();
    b.u32(static_cast<uint32_t>(width) << 16);
    b.u32(static_cast<uint32_t>(height) << 16);
    b.end();
}

void writeMediaHeader(Mp4BoxBuilder& b, uint32_t timescale, uint32_t duration) {
    b.beginFull("mdhd", 0, 0);
    b.u32(0);
    b.u32(0);
    b.u32(timescale);
    b.u32(duration);
    b.u16(kLanguageUnd);
    b.u16(0);
    b.end();
}

void writeHandler(Mp4BoxBuilder& b, std::string_view type, std::string_view name) {
    b.beginFull("hdlr", 0, 0);
    b.u32(0);
    b.fourcc(type);
    b.zeros(12);
    b.text(name);
    b.end();
}

void writeChunkOffsets(Mp4BoxBuilder& b, const std::vector<uint32_t>& offsets) {
    b.beginFull("stco", 0, 0);
    b.u32(static_cast<uint32_t>(offsets.size()));
    for (uint32_t o : offsets) {
        b.u32(o);
    }
    b.end();
}

void writeVideoTrack(Mp4BoxBuilder& b, const EncodedVideo& v, const Interleaved& layout,
                     uint32_t durationMs) {
    const uint32_t timescale = static_cast<uint32_t>(v.fps) * 1000;
    b.begin("trak");
    writeTrackHeader(b, 1, durationMs, v.width, v.height);
    b.begin("mdia");
    writeMediaHeader(b, timescale, static_cast<uint32_t>(v.frames.size()) * 1000);
    writeHandler(b, "vide", "VideoHandler");
    b.begin("minf");
    b.beginFull("vmhd", 0, 1);
    b.zeros(8);
    b.end();
    writeDataReference(b);
    b.begin("stbl");

    b.beginFull("stsd", 0, 0);
    b.u32(1);
    b.begin("avc1");
    b.zeros(6);
    b.u16(1); // data reference index
    b.zeros(16);
    b.u16(static_cast<uint16_t>(v.width));
    b.u16(static_cast<uint16_t>(v.height));
    b.u32(0x00480000); // 72 dpi
    b.u32(0x00480000);
    b.u32(0);
    b.u16(1); // frames per sample
    b.zeros(32);
    b.u16(0x18); // depth
    b.u16(0xFFFF);
    b.begin("avcC");
    b.u8(1);
    b.u8(v.sps.size() > 1 ? static_cast<uint8_t>(v.sps[1]) : 66);
    b.u8(v.sps.size() > 2 ? static_cast<uint8_t>(v.sps[2]) : 0);
    b.u8(v.sps.size() > 3 ? static_cast<uint8_t>(v.sps[3]) : 30);
    b.u8(0xFF); // 4-byte NAL lengths
    b.u8(0xE1); // one SPS
    b.u16(static_cast<uint16_t>(v.sps.size()));
    b.bytes(v.sps);
    b.u8(1);
    b.u16(static_cast<uint16_t>(v.pps.size()));
    b.bytes(v.pps);
    b.end();
    b.end();
    b.end();

    b.beginFull("stts", 0, 0);
    b.u32(1);
    b.u32(static_cast<uint32_t>(v.frames.size()));
    b.u32(1000);
    b.end();

    b.beginFull("stss", 0, 0);
    uint32_t keys = 0;
    for (const auto& f : v.frames) {
        keys += f.key ? 1 : 0;
    }
    b.u32(keys);
    for (size_t i = 0; i < v.frames.size(); ++i) {
        if (v.frames[i].key) {
            b.u32(static_cast<uint32_t>(i + 1));
        }
    }
    b.end();

    b.beginFull("stsc", 0, 0);
    b.u32(static_cast<uint32_t>(layout.videoSamplesPerChunk.size()));
    for (size_t c = 0; c < layout.videoSamplesPerChunk.size(); ++c) {
        b.u32(static_cast<uint32_t>(c + 1));
        b.u32(layout.videoSamplesPerChunk[c]);
        b.u32(1);
    }
    b.end();

    b.beginFull("stsz", 0, 0);
    b.u32(0);
    b.u32(static_cast<uint32_t>(v.frames.size()));
    for (const auto& f : v.frames) {
        b.u32(static_cast<uint32_t>(f.avcc.size()));
    }
    b.end();

    writeChunkOffsets(b, layout.videoChunkOffsets);
    b.end(); // stbl
    b.end(); // minf
    b.end(); // mdia
    b.end(); // trak
}

void writeDataTrack(Mp4BoxBuilder& b, const Interleaved& layout, uint32_t recordsPerSecond,
                    uint32_t durationMs) {
    const auto count = static_cast<uint32_t>(layout.dataChunkOffsets.size());
    const uint32_t delta = kDataTimescale / recordsPerSecond;
    b.begin("trak");
    writeTrackHeader(b, 2, durationMs, 0, 0);
    b.begin("edts");
    b.beginFull("elst", 0, 0);
    b.u32(1);
    b.u32(durationMs);
    b.u32(0);          // media time
    b.u32(0x00010000); // rate 1.0
    b.end();
    b.end();
    b.begin("mdia");
    writeMediaHeader(b, kDataTimescale, count * delta);
    writeHandler(b, "gps ", "GpsDataHandler");
    b.begin("minf");
    b.beginFull("nmhd", 0, 0);
    b.end();
    writeDataReference(b);
    b.begin("stbl");
    b.beginFull("stsd", 0, 0);
    b.u32(1);
    b.begin("gps ");
    b.zeros(6);
    b.u16(1);
    b.end();
    b.end();
    b.beginFull("stts", 0, 0);
    b.u32(1);
    b.u32(count);
    b.u32(delta);
    b.end();
    b.beginFull("stsc", 0, 0);
    b.u32(1);
    b.u32(1); // from the first chunk on
    b.u32(1); // one record per chunk
    b.u32(1);
    b.end();
    b.beginFull("stsz", 0, 0);
    b.u32(kChunkSize);
    b.u32(count);
    b.end();
    writeChunkOffsets(b, layout.dataChunkOffsets);
    b.end(); // stbl
    b.end(); // minf
    b.end(); // mdia
    b.end(); // trak
}

} // namespace

EncodedVideo placeholderVideo(int width, int height, int fps, size_t frameCount) {
    EncodedVideo v;
    v.width = width;
    v.height = height;
    v.fps = fps;
    v.sps = {std::byte{0x67}, std::byte{66}, std::byte{0}, std::byte{30}};
    v.pps = {std::byte{0x68}, std::byte{0xCE}};
    for (size_t i = 0; i < frameCount; ++i) {
        VideoFrame f;
        f.key = i % static_cast<size_t>(fps) == 0;
        f.avcc = {std::byte{0},
                  std::byte{0},
                  std::byte{0},
                  std::byte{2},
                  static_cast<std::byte>(f.key ? 0x65 : 0x41),
                  static_cast<std::byte>(i)};
        v.frames.push_back(std::move(f));
    }
    return v;
}

const BoxPlacement* CameraMp4::box(const std::string& path) const {
    for (const auto& b : boxes) {
        if (b.path == path) {
            return &b;
        }
    }
    return nullptr;
}

CameraMp4 buildCameraMp4(const EncodedVideo& video, std::span<const nura::ORBTelemetryRecord> records,
                         uint32_t recordsPerSecond) {
    Mp4BoxBuilder b;
    b.begin("ftyp");
    b.fourcc("avc1");
    b.u32(0);
    b.fourcc("avc1");
    b.fourcc("isom");
    b.end();

    // Media data: after each record's share of frames comes the record itself, as the camera writes them.
    Interleaved layout;
    b.begin("mdat");
    const size_t frames = video.frames.size();
    const size_t chunks = std::max<size_t>(records.size(), 1);
    size_t nextFrame = 0;
    for (size_t c = 0; c < chunks; ++c) {
        const size_t until = records.empty() ? frames : (c + 1) * frames / chunks;
        if (until > nextFrame) {
            layout.videoChunkOffsets.push_back(static_cast<uint32_t>(b.size()));
            layout.videoSamplesPerChunk.push_back(static_cast<uint32_t>(until - nextFrame));
            for (; nextFrame < until; ++nextFrame) {
                b.bytes(video.frames[nextFrame].avcc);
            }
        }
        if (c < records.size()) {
            layout.dataChunkOffsets.push_back(static_cast<uint32_t>(b.size()));
            b.u16(static_cast<uint16_t>(nura::ORBTelemetryRecord::kSize));
            b.bytes(records[c].encode());
        }
    }
    b.end();

    const uint32_t videoMs =
        video.fps > 0 ? static_cast<uint32_t>(frames * 1000 / static_cast<size_t>(video.fps)) : 0;
    const uint32_t dataMs = static_cast<uint32_t>(records.size() * 1000 / recordsPerSecond);
    const uint32_t durationMs = std::max(videoMs, dataMs);

    b.begin("moov");
    b.beginFull("mvhd", 0, 0);
    b.u32(0);
    b.u32(0);
    b.u32(kMovieTimescale);
    b.u32(durationMs);
    b.u32(0x00010000); // rate
    b.u16(0x0100);     // volume
    b.zeros(10);
    b.matrix();
    b.zeros(24);
    b.u32(3); // next track id
    b.end();
    writeVideoTrack(b, video, layout, durationMs);
    b.begin("udta");
    b.end();
    b.begin("free");
    b.zeros(8);
    b.end();
    writeDataTrack(b, layout, recordsPerSecond, durationMs);
    b.end();

    CameraMp4 out;
    out.bytes = std::move(b.buffer());
    for (const auto& c : b.closed()) {
        out.boxes.push_back({c.path, c.offset, c.size});
    }
    out.dataChunkOffsets = layout.dataChunkOffsets;
    return out;
}

bool writeFile(const std::filesystem::path& path, std::span<const std::byte> bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(f.flush());
}

} // namespace samples
