// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/repair/RepairReference.h"

#include "core/repair/RecordingShape.h"
#include "core/telemetry/ORBChunkTableLocator.h"
#include "core/telemetry/ORBTelemetryRecord.h"
#include "core/util/SafeFile.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace nura::repair {
namespace {

class SettingsProbe final : public MediaDataReceiver {
public:
    static constexpr size_t kRecords = 16;
    static constexpr size_t kFrames = 1000;
    static constexpr uint64_t kBytes = uint64_t{32} << 20;

    SettingsProbe(int lengthSize, bool telemetry, const std::function<bool()>& cancelled)
        : m_lengthSize(lengthSize), m_telemetry(telemetry), m_cancelled(cancelled) {}
    bool videoSample(std::span<const std::byte> bytes, bool) override {
        if (!m_found.sets.complete()) {
            collectParameterSets(bytes, m_lengthSize, m_found.sets);
        }
        ++m_found.frames;
        // Without telemetry only the parameter sets are of use.
        return going() && (m_telemetry || (!m_found.sets.complete() && m_found.frames < kFrames));
    }
    bool telemetryChunk(std::span<const std::byte>) override {
        ++m_found.records;
        return going() && m_found.records < kRecords;
    }
    bool gap(uint64_t) override { return going(); }
    const CutSettings& found() const { return m_found; }

private:
    bool going() const { return !m_cancelled || !m_cancelled(); }
    int m_lengthSize;
    bool m_telemetry;
    const std::function<bool()>& m_cancelled;
    CutSettings m_found;
};

std::string rate(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", v);
    std::string s = text;
    while (s.back() == '0') {
        s.pop_back();
    }
    if (s.back() == '.') {
        s.pop_back();
    }
    return s;
}

} // namespace

std::optional<Reference> loadReference(const std::string& path, std::string& why) {
    auto source = ORBFileByteSource::open(path);
    if (!source) {
        why = "cannot be read";
        return std::nullopt;
    }
    // A read the card refused makes any other verdict on the file unfounded.
    const auto no = [&](const char* verdict) -> std::optional<Reference> {
        why = source->readError() != 0
                  ? std::string(kRefusedRead) + FileStatus{FileFault::Io, source->readError()}.describe()
                  : verdict;
        return std::nullopt;
    };
    if (RecordingShape::inspect(*source).kind != RecordingShape::Kind::Whole) {
        return no("is not a whole recording");
    }
    if (ORBChunkTableLocator::locate(*source).error != ORBTelemetryError::None) {
        return no("is not a recording of this camera");
    }
    auto movie = Mp4Movie::read(*source);
    if (!movie) {
        return no("has an index that cannot be read");
    }
    Reference ref;
    ref.video = movie->findTrack("vide");
    if (ref.video < 0 || movie->tracks[static_cast<size_t>(ref.video)].nalLengthSize() == 0 ||
        movie->tracks[static_cast<size_t>(ref.video)].sampleCount() == 0) {
        return no("has no H.264 video");
    }
    ref.pattern.nalLengthSize = movie->tracks[static_cast<size_t>(ref.video)].nalLengthSize();
    for (uint32_t n : movie->tracks[static_cast<size_t>(ref.video)].sampleSizes) {
        ref.pattern.largestFrame = std::max<uint64_t>(ref.pattern.largestFrame, n);
    }
    // Sound sits between the samples the walk recognises; its chunks' sizes bound how far it looks.
    for (const Mp4Track& t : movie->tracks) {
        if (t.handlerType != "soun") {
            continue;
        }
        size_t sample = 0;
        for (uint32_t n : t.samplesPerChunk) {
            uint64_t bytes = 0;
            for (uint32_t k = 0; k < n && sample < t.sampleSizes.size(); ++k) {
                bytes += t.sampleSizes[sample++];
            }
            ref.pattern.soundChunkMax = std::max(ref.pattern.soundChunkMax, bytes);
        }
    }
    // The telemetry track is the movie's fifth child, where the reader looks for it.
    if (movie->children.size() >= 5 && movie->children[4].track >= 0 &&
        movie->children[4].track != ref.video) {
        ref.data = movie->children[4].track;
    }
    if (ref.data >= 0) {
        const Mp4Track& d = movie->tracks[static_cast<size_t>(ref.data)];
        const bool onePerChunk = std::all_of(d.samplesPerChunk.begin(), d.samplesPerChunk.end(),
                                             [](uint32_t n) { return n == 1; });
        const bool oneSize =
            !d.sampleSizes.empty() && std::all_of(d.sampleSizes.begin(), d.sampleSizes.end(),
                                                  [&](uint32_t n) { return n == d.sampleSizes[0]; });
        std::vector<std::byte> lead(ORBTelemetryRecord::kChunkLeadBytes);
        if (!onePerChunk || !oneSize || d.sampleSizes[0] <= lead.size() || d.chunkOffsets.empty() ||
            !source->readAt(d.chunkOffsets[0], lead)) {
            return no("has a telemetry track of another layout");
        }
        ref.pattern.telemetryChunkSize = d.sampleSizes[0];
        ref.pattern.telemetryLead = std::move(lead);
        const Mp4Track& v = movie->tracks[static_cast<size_t>(ref.video)];
        ref.framesPerRecord = static_cast<double>(v.sampleCount()) / static_cast<double>(d.sampleCount());
        if (d.commonDelta() > 0) {
            ref.recordsPerSecond = static_cast<double>(d.timescale) / d.commonDelta();
        }
    }
    const Mp4Track& v = movie->tracks[static_cast<size_t>(ref.video)];
    ref.sets = parameterSetsOfSampleEntry(v.sampleEntry);
    if (v.commonDelta() > 0) {
        ref.framesPerSecond = static_cast<double>(v.timescale) / v.commonDelta();
    }
    ref.movie = std::move(*movie);
    return ref;
}

CutSettings probeCut(const MediaDataPattern& pattern, ORBFileByteSource& source, uint64_t mediaStart,
                     const std::function<bool()>& cancelled) {
    SettingsProbe probe(pattern.nalLengthSize, pattern.telemetryChunkSize > 0, cancelled);
    const uint64_t end = source.size() - mediaStart > SettingsProbe::kBytes
                             ? mediaStart + SettingsProbe::kBytes
                             : source.size();
    (void)MediaDataWalker(pattern).walk(source, mediaStart, end, probe);
    return probe.found();
}

std::optional<std::string> settingsDiffer(const Reference& ref, const CutSettings& cut) {
    const bool ownSets = !cut.sets.sps.empty() && ref.sets;
    if (ownSets) {
        const auto theirs = pictureSizeOf(ref.sets->sps), mine = pictureSizeOf(cut.sets.sps);
        if (theirs && mine && *theirs != *mine) {
            return "is " + std::to_string(theirs->width) + "x" + std::to_string(theirs->height) +
                   ", the recording " + std::to_string(mine->width) + "x" + std::to_string(mine->height);
        }
    }
    // Each record follows (or precedes) its share of frames, so k records come with between k - 1 and
    // k + 1 shares; a frame either way is allowed for the rounding of the shares.
    if (ref.framesPerRecord > 0 && cut.records > 0) {
        const double k = static_cast<double>(cut.records), frames = static_cast<double>(cut.frames);
        const double r = ref.framesPerRecord;
        if (frames + 1 < (k - 1) * r || frames > (k + 1) * r + 1) {
            const double mine = frames / k;
            if (ref.recordsPerSecond > 0 && ref.framesPerSecond > 0) {
                return "is " + rate(ref.framesPerSecond) + " frames a second, the recording about " +
                       rate(std::round(mine * ref.recordsPerSecond * 10) / 10);
            }
            return "has " + rate(r) + " frames a telemetry record, the recording about " + rate(mine);
        }
    }
    if (ownSets &&
        (cut.sets.sps != ref.sets->sps || (!cut.sets.pps.empty() && cut.sets.pps != ref.sets->pps))) {
        return std::string(
            "was made with other codec settings than the recording (its parameter sets differ)");
    }
    return std::nullopt;
}

} // namespace nura::repair
