// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/clip/ClipSource.h"

#include "core/media/ORBMedia.h"
#include "core/media/ORBMediaList.h"
#include "core/util/SafeFile.h"

#include <cmath>
#include <dirent.h>

namespace nura::clip_source {
namespace {

constexpr double kJoinSeconds = LosslessClip::kJoinSeconds;

double videoSeconds(const Mp4Track& v) {
    uint64_t total = 0;
    for (const auto& [count, delta] : v.timeRuns) {
        total += uint64_t{count} * delta;
    }
    return v.timescale == 0 ? 0.0 : static_cast<double>(total) / v.timescale;
}

// The recording of the same camera that comes next in `current`'s folder, by name time, among those
// that begin no earlier than two seconds before `endsAt` (a recording made during this one, such as a
// clip or an event file, is passed over).
std::shared_ptr<ORBMedia> nextRecording(const ORBMedia& current, double endsAt) {
    std::shared_ptr<ORBMedia> best;
    DIR* dir = ::opendir(current.dir.c_str());
    if (dir == nullptr) {
        return best;
    }
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (!orb_media::hasMp4Extension(name)) {
            continue;
        }
        auto m = ORBMediaList::createMediaByPath(current.dir + "/" + name);
        if (!m || m->mediaDirection != current.mediaDirection || m->path == current.path ||
            current.compareDate(*m) >= 0) {
            continue;
        }
        const auto begins = m->nameSeconds();
        if (!begins || static_cast<double>(*begins) < endsAt - kJoinSeconds) {
            continue;
        }
        if (!best || m->compareDate(*best) < 0) {
            best = m;
        }
    }
    ::closedir(dir);
    return best;
}

} // namespace

std::vector<uint64_t> sampleTimes(const Mp4Track& t) {
    std::vector<uint64_t> times;
    times.reserve(t.sampleCount());
    uint64_t now = 0;
    for (const auto& [count, delta] : t.timeRuns) {
        for (uint32_t i = 0; i < count && times.size() < t.sampleCount(); ++i) {
            times.push_back(now);
            now += delta;
        }
    }
    while (times.size() < t.sampleCount()) { // a time table shorter than the sizes: the rest at the end
        times.push_back(now);
    }
    return times;
}

std::vector<uint32_t> sampleDeltas(const Mp4Track& t) {
    std::vector<uint32_t> deltas;
    deltas.reserve(t.sampleCount());
    for (const auto& [count, delta] : t.timeRuns) {
        for (uint32_t i = 0; i < count && deltas.size() < t.sampleCount(); ++i) {
            deltas.push_back(delta);
        }
    }
    deltas.resize(t.sampleCount(), t.commonDelta());
    return deltas;
}

std::vector<uint64_t> sampleOffsets(const Mp4Track& t) {
    std::vector<uint64_t> offsets;
    offsets.reserve(t.sampleCount());
    for (size_t c = 0; c < t.chunkOffsets.size() && offsets.size() < t.sampleCount(); ++c) {
        uint64_t at = t.chunkOffsets[c];
        const uint32_t n = c < t.samplesPerChunk.size() ? t.samplesPerChunk[c] : 0;
        for (uint32_t i = 0; i < n && offsets.size() < t.sampleCount(); ++i) {
            offsets.push_back(at);
            at += t.sampleSizes[offsets.size() - 1];
        }
    }
    return offsets;
}

PieceRead readPiece(const std::string& path, Piece& piece, std::string& why) {
    ReadableFile file = ReadableFile::open(path);
    if (!file.ok()) {
        why = file.status().describe();
        return file.status().fault == FileFault::NotRegular ? PieceRead::NotRecording : PieceRead::CannotRead;
    }
    auto source = ORBFileByteSource::from(std::move(file));
    auto movie = Mp4Movie::read(*source);
    if (!movie && source->readError() != 0) {
        why = FileStatus{FileFault::Io, source->readError()}.describe();
        return PieceRead::CannotRead;
    }
    if (!movie) {
        why = "is not a recording with a whole index (truncated? `nura repair` rebuilds it)";
        return PieceRead::NotRecording;
    }
    const int video = movie->findTrack("vide");
    if (video < 0 || movie->tracks[static_cast<size_t>(video)].sampleCount() == 0 ||
        movie->tracks[static_cast<size_t>(video)].timescale == 0) {
        why = "has no video track";
        return PieceRead::NotRecording;
    }
    for (const auto& t : movie->tracks) {
        const auto offsets = sampleOffsets(t);
        if (t.timescale == 0 || offsets.size() != t.sampleCount()) {
            why = "has an index that does not hold together";
            return PieceRead::NotRecording;
        }
        for (size_t i = 0; i < offsets.size(); ++i) {
            if (offsets[i] + t.sampleSizes[i] > source->size()) {
                why = "is truncated: its index points past its end";
                return PieceRead::NotRecording;
            }
        }
    }
    piece.place.path = path;
    piece.place.duration = videoSeconds(movie->tracks[static_cast<size_t>(video)]);
    piece.video = video;
    piece.movie = std::move(*movie);
    piece.source = std::move(source);
    return PieceRead::Ok;
}

std::vector<Piece> chainOf(Piece first, double until, PieceRead& stop, std::string& why,
                           std::string& stoppedAt) {
    std::vector<Piece> pieces;
    pieces.push_back(std::move(first));
    stop = PieceRead::Ok;
    auto current = ORBMedia::mediaWithPath(pieces.back().place.path);
    while (pieces.back().place.offset + pieces.back().place.duration < until) {
        const auto begins = current->nameSeconds();
        if (!begins) {
            break;
        }
        const double ends = static_cast<double>(*begins) + pieces.back().place.duration;
        auto next = nextRecording(*current, ends);
        if (!next) {
            break;
        }
        const auto nextBegins = next->nameSeconds();
        if (!nextBegins || std::abs(static_cast<double>(*nextBegins) - ends) > kJoinSeconds) {
            break;
        }
        Piece piece;
        std::string reason;
        const PieceRead read = readPiece(next->path, piece, reason);
        if (read != PieceRead::Ok) {
            stop = read;
            stoppedAt = next->path;
            why = reason;
            break;
        }
        piece.place.offset = pieces.back().place.offset + pieces.back().place.duration;
        pieces.push_back(std::move(piece));
        current = next;
    }
    return pieces;
}

} // namespace nura::clip_source
