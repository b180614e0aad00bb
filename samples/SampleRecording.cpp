// SPDX-License-Identifier: GPL-3.0-or-later
#include "SampleRecording.h"

#include <fcntl.h>
#include <fstream>
#include <unistd.h>

namespace samples {
namespace {

constexpr uint32_t kDataTimescale = 1000;

// The sound track: an "mp4a" entry whose "esds" carries the AAC-LC decoder configuration.
nura::Mp4TrackSetup soundSetup(const EncodedAudio& a) {
    static const int rates[] = {96000, 88200, 64000, 48000, 44100, 32000,
                                24000, 22050, 16000, 12000, 11025, 8000};
    int index = 3;
    for (int i = 0; i < 12; ++i) {
        if (rates[i] == a.sampleRate) {
            index = i;
        }
    }
    const unsigned config =
        (2u << 11) | (static_cast<unsigned>(index) << 7) | (static_cast<unsigned>(a.channels) << 3);
    std::vector<uint8_t> esds = {0,
                                 0,
                                 0,
                                 0, // version, flags
                                 0x03,
                                 25,
                                 0,
                                 1,
                                 0, // ES descriptor, ES id 1
                                 0x04,
                                 17,
                                 0x40,
                                 0x15,
                                 0,
                                 0,
                                 0,
                                 0,
                                 0,
                                 0,
                                 0, // decoder config: AAC, audio
                                 0,
                                 0,
                                 0,
                                 0,
                                 0x05,
                                 2, // bitrates, decoder info
                                 static_cast<uint8_t>(config >> 8),
                                 static_cast<uint8_t>(config & 0xFF),
                                 0x06,
                                 1,
                                 2}; // SL config
    std::vector<uint8_t> entry = {0,
                                  0,
                                  0,
                                  0,
                                  0,
                                  0,
                                  0,
                                  1, // reserved, data reference 1
                                  0,
                                  0,
                                  0,
                                  0,
                                  0,
                                  0,
                                  0,
                                  0, // reserved
                                  0,
                                  static_cast<uint8_t>(a.channels),
                                  0,
                                  16, // channels, sample size
                                  0,
                                  0,
                                  0,
                                  0, // pre-defined, reserved
                                  static_cast<uint8_t>(a.sampleRate >> 8),
                                  static_cast<uint8_t>(a.sampleRate & 0xFF),
                                  0,
                                  0}; // sample rate, 16.16
    const auto box = [](const char* type, const std::vector<uint8_t>& payload) {
        std::vector<std::byte> out;
        const auto size = static_cast<uint32_t>(payload.size() + 8);
        for (int k = 3; k >= 0; --k) {
            out.push_back(static_cast<std::byte>(size >> (8 * k)));
        }
        for (int k = 0; k < 4; ++k) {
            out.push_back(static_cast<std::byte>(type[k]));
        }
        for (uint8_t c : payload) {
            out.push_back(static_cast<std::byte>(c));
        }
        return out;
    };
    const auto esdsBox = box("esds", esds);
    for (std::byte c : esdsBox) {
        entry.push_back(static_cast<uint8_t>(c));
    }
    nura::Mp4TrackSetup s;
    s.handlerType = "soun";
    s.handlerName = "SoundHandler";
    s.timescale = static_cast<uint32_t>(a.sampleRate);
    s.volume = 0x0100;
    s.sampleEntry = box("mp4a", entry);
    return s;
}

// Writes the recording into `sink`; the data chunk offsets go to `dataChunkOffsets` when given.
bool writeRecording(nura::Mp4Sink& sink, const EncodedVideo& video,
                    std::span<const nura::ORBTelemetryRecord> records, uint32_t recordsPerSecond,
                    CameraMp4* placements) {
    nura::Mp4TrackSetup v;
    v.handlerType = "vide";
    v.handlerName = "VideoHandler";
    v.timescale = static_cast<uint32_t>(video.fps) * 1000;
    v.width = static_cast<uint16_t>(video.width);
    v.height = static_cast<uint16_t>(video.height);
    v.sampleEntry = nura::CameraMp4Writer::avc1SampleEntry(v.width, v.height, video.sps, video.pps);
    v.syncTable = true;

    nura::Mp4TrackSetup d;
    d.handlerType = "gps ";
    d.handlerName = "GpsDataHandler";
    d.timescale = kDataTimescale;
    d.sampleEntry = nura::CameraMp4Writer::gpsSampleEntry();
    d.editList = true;
    d.uniformSizeTable = true;
    d.maxSamplesPerChunk = 1;

    std::vector<nura::Mp4TrackSetup> setups{v, d};
    const bool sound = video.audio.sampleRate > 0 && !video.audio.frames.empty();
    if (sound) {
        setups.push_back(soundSetup(video.audio));
    }
    nura::CameraMp4Writer w(sink, setups);
    size_t nextAudio = 0;
    if (!w.begin(nura::CameraMp4Writer::cameraFileType())) {
        return false;
    }
    // After each record's share of frames comes the record itself, as the camera writes them.
    const size_t frames = video.frames.size();
    const size_t chunks = std::max<size_t>(records.size(), 1);
    const uint32_t recordDelta = kDataTimescale / recordsPerSecond;
    size_t nextFrame = 0;
    std::vector<std::byte> chunk(nura::ORBTelemetryRecord::kChunkLeadBytes + nura::ORBTelemetryRecord::kSize);
    chunk[0] = std::byte{0};
    chunk[1] = static_cast<std::byte>(nura::ORBTelemetryRecord::kSize);
    for (size_t c = 0; c < chunks; ++c) {
        const size_t until = records.empty() ? frames : (c + 1) * frames / chunks;
        for (; nextFrame < until; ++nextFrame) {
            const auto& f = video.frames[nextFrame];
            if (!w.appendSample(0, f.avcc, 1000, f.key)) {
                return false;
            }
        }
        // The sound up to the same moment, 1024 samples a frame.
        const double reached = static_cast<double>(nextFrame) / video.fps;
        for (; sound && nextAudio < video.audio.frames.size() &&
               (nextAudio * 1024.0) / video.audio.sampleRate < reached;
             ++nextAudio) {
            if (!w.appendSample(2, video.audio.frames[nextAudio], 1024, true)) {
                return false;
            }
        }
        if (c < records.size()) {
            const auto encoded = records[c].encode();
            std::copy(encoded.begin(), encoded.end(),
                      chunk.begin() + nura::ORBTelemetryRecord::kChunkLeadBytes);
            if (!w.appendSample(1, chunk, recordDelta, true)) {
                return false;
            }
        }
    }
    auto movie = nura::CameraMp4Writer::cameraMovie(0, 1);
    if (sound) {
        movie[3] = {nura::Mp4MovieItem::Kind::Track, 2, {}}; // the sound in the place of "free"
    }
    if (!w.finish(movie)) {
        return false;
    }
    if (placements != nullptr) {
        placements->boxes = w.boxes();
        for (uint64_t o : w.chunkOffsets(1)) {
            placements->dataChunkOffsets.push_back(static_cast<uint32_t>(o));
        }
    }
    return true;
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
    nura::Mp4MemorySink sink;
    CameraMp4 out;
    writeRecording(sink, video, records, recordsPerSecond, &out);
    out.bytes = std::move(sink.bytes());
    return out;
}

bool writeCameraMp4(const std::filesystem::path& path, const EncodedVideo& video,
                    std::span<const nura::ORBTelemetryRecord> records, uint32_t recordsPerSecond) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    nura::Mp4FileSink sink(fd);
    const bool ok = writeRecording(sink, video, records, recordsPerSecond, nullptr);
    return ::close(fd) == 0 && ok;
}

bool writeFile(const std::filesystem::path& path, std::span<const std::byte> bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(f.flush());
}

} // namespace samples
