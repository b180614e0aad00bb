// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/clip/LosslessClip.h"

#include "core/media/ORBMedia.h"
#include "core/media/ORBMediaList.h"
#include "core/mp4/CameraMp4Writer.h"
#include "core/mp4/Mp4Movie.h"
#include "core/telemetry/ORBByteSource.h"
#include "core/util/CopyRange.h"
#include "core/util/OutputCheck.h"
#include "core/util/SafeFile.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace nura {
namespace {

namespace fs = std::filesystem;

constexpr double kJoinSeconds = 2.0;

ClipResult fail(ClipResult r, ClipStatus status, std::string message) {
    r.status = status;
    r.message = std::move(message);
    return r;
}

std::string nameOf(const std::string& path) {
    return fs::path(path).filename().string();
}

struct Piece {
    ClipPiece place;
    Mp4Movie movie;
    int video = -1;
    std::unique_ptr<ORBFileByteSource> source; // the file whose index was read, for the copy
};

// Each sample's start in its track's time scale.
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

double videoSeconds(const Mp4Track& v) {
    uint64_t total = 0;
    for (const auto& [count, delta] : v.timeRuns) {
        total += uint64_t{count} * delta;
    }
    return v.timescale == 0 ? 0.0 : static_cast<double>(total) / v.timescale;
}

enum class PieceRead { Ok, CannotRead, NotRecording };

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

// The chain from `first` as far as `until` seconds. A following recording that joins but cannot be
// used ends the chain: `stop` says how, `stoppedAt` names it and `why` gives the reason.
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

// A clip keeps its source's chunking: no chunk holds more samples than the source's largest.
bool sameSettings(const Mp4Movie& a, const Mp4Movie& b) {
    if (a.tracks.size() != b.tracks.size()) {
        return false;
    }
    for (size_t i = 0; i < a.tracks.size(); ++i) {
        const auto& x = a.tracks[i];
        const auto& y = b.tracks[i];
        if (x.handlerType != y.handlerType || x.timescale != y.timescale || x.sampleEntry != y.sampleEntry) {
            return false;
        }
    }
    return true;
}

// One sample to copy: which track, where it lies in its recording, and how it is entered.
struct Pick {
    size_t track;
    uint64_t offset;
    uint32_t size;
    uint32_t delta;
    bool sync;
};

// The samples of one recording inside [from, to] (seconds on the recording's own clock), each track
// in its order, merged by their place in the file so that neighbours copy as one run.
std::vector<Pick> picksOf(const Piece& piece, double from, double to, bool fromKeyFrame, uint64_t& frames,
                          double& firstFrame, double& seconds) {
    const auto& movie = piece.movie;
    const auto& v = movie.tracks[static_cast<size_t>(piece.video)];
    const auto vt = sampleTimes(v);
    const auto vd = sampleDeltas(v);
    auto isSync = [&](size_t k) {
        return !v.hasSyncTable ||
               std::binary_search(v.syncSamples.begin(), v.syncSamples.end(), static_cast<uint32_t>(k + 1));
    };
    const auto ticks = [](double s, uint32_t scale) {
        return static_cast<uint64_t>(std::llround(std::max(0.0, s) * scale));
    };
    size_t first = 0;
    if (fromKeyFrame) {
        const uint64_t at = ticks(from, v.timescale);
        for (size_t k = 0; k < vt.size() && vt[k] <= at; ++k) {
            if (isSync(k)) {
                first = k;
            }
        }
    }
    const uint64_t until = ticks(to, v.timescale);
    size_t last = first;
    while (last + 1 < vt.size() && vt[last + 1] <= until) {
        ++last;
    }
    const uint64_t spanBegin = vt[first];
    const uint64_t spanEnd = vt[last] + vd[last];
    firstFrame = static_cast<double>(spanBegin) / v.timescale;
    seconds = static_cast<double>(spanEnd - spanBegin) / v.timescale;
    frames = last - first + 1;

    std::vector<std::vector<Pick>> perTrack(movie.tracks.size());
    for (size_t ti = 0; ti < movie.tracks.size(); ++ti) {
        const auto& t = movie.tracks[ti];
        const auto times = sampleTimes(t);
        const auto deltas = sampleDeltas(t);
        const auto offsets = sampleOffsets(t);
        // The span in this track's time scale, from the video's.
        const auto scaled = [&](uint64_t vtick) {
            return static_cast<uint64_t>((static_cast<unsigned __int128>(vtick) * t.timescale) / v.timescale);
        };
        const uint64_t b = static_cast<int>(ti) == piece.video ? spanBegin : scaled(spanBegin);
        const uint64_t e = static_cast<int>(ti) == piece.video ? spanEnd : scaled(spanEnd);
        for (size_t k = 0; k < t.sampleCount(); ++k) {
            if (times[k] < b || times[k] >= e) {
                continue;
            }
            const bool sync =
                !t.hasSyncTable ||
                std::binary_search(t.syncSamples.begin(), t.syncSamples.end(), static_cast<uint32_t>(k + 1));
            perTrack[ti].push_back({ti, offsets[k], t.sampleSizes[k], deltas[k], sync});
        }
    }
    std::vector<Pick> merged;
    std::vector<size_t> next(perTrack.size(), 0);
    while (true) {
        size_t best = SIZE_MAX;
        for (size_t ti = 0; ti < perTrack.size(); ++ti) {
            if (next[ti] < perTrack[ti].size() &&
                (best == SIZE_MAX || perTrack[ti][next[ti]].offset < perTrack[best][next[best]].offset)) {
                best = ti;
            }
        }
        if (best == SIZE_MAX) {
            break;
        }
        merged.push_back(perTrack[best][next[best]++]);
    }
    return merged;
}

} // namespace

ClipChain LosslessClip::chainFrom(const std::string& path, double until) {
    ClipChain out;
    const auto statusOf = [](PieceRead read) {
        return read == PieceRead::Ok           ? ClipStatus::Done
               : read == PieceRead::CannotRead ? ClipStatus::CannotRead
                                               : ClipStatus::NotRecording;
    };
    Piece first;
    std::string why;
    if (const PieceRead read = readPiece(path, first, why); read != PieceRead::Ok) {
        out.stop = statusOf(read);
        out.path = path;
        out.reason = why;
        return out;
    }
    PieceRead stop;
    for (auto& p : chainOf(std::move(first), until, stop, why, out.path)) {
        out.pieces.push_back(p.place);
    }
    out.stop = statusOf(stop);
    if (stop != PieceRead::Ok) {
        out.reason = why;
    }
    return out;
}

std::vector<ClipPiece> LosslessClip::chain(const std::string& path, double until, std::string* refused) {
    ClipChain c = chainFrom(path, until);
    if (refused != nullptr) {
        *refused = c.pieces.empty() || c.stop == ClipStatus::Done ? std::string() : c.path + " " + c.reason;
    }
    return std::move(c.pieces);
}

std::optional<std::string> LosslessClip::recordingName(const std::string& input, double offset) {
    const ORBMedia m(input);
    const auto begins = m.nameSeconds();
    if (!begins || (m.mediaDirection != 0 && m.mediaDirection != 1)) {
        return std::nullopt;
    }
    const auto when = static_cast<time_t>(*begins + static_cast<int64_t>(std::floor(std::max(0.0, offset))));
    std::tm t{};
    ::gmtime_r(&when, &t);
    char name[64];
    std::snprintf(name, sizeof name, "event_%04d%02d%02d_%02d%02d%02d_%c.MP4", t.tm_year + 1900, t.tm_mon + 1,
                  t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, m.mediaDirection == 0 ? 'F' : 'R');
    return std::string(name);
}

std::vector<std::string> LosslessClip::namingWarnings(const std::string& output) {
    std::vector<std::string> warnings;
    const std::string absolute = fs::absolute(output).lexically_normal().string();
    const auto me = ORBMediaList::createMediaByPath(absolute);
    if (!me) {
        return warnings;
    }
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(me->dir, ec)) {
        const std::string other = entry.path().string();
        if (other == absolute) {
            continue;
        }
        const auto m = orb_media::hasMp4Extension(other) ? ORBMediaList::createMediaByPath(other) : nullptr;
        if (!m || m->mediaGroupName() != me->mediaGroupName()) {
            continue;
        }
        if (m->mediaDirection == me->mediaDirection) {
            warnings.push_back(nameOf(output) + " takes the place of " + m->fileName() +
                               " in the recordings list: both have the same name and camera");
        } else {
            warnings.push_back(nameOf(output) + " pairs with " + m->fileName() +
                               " in the recordings list: playing one plays the other beside it");
        }
    }
    std::sort(warnings.begin(), warnings.end());
    return warnings;
}

ClipResult LosslessClip::cut(const ClipOptions& o) {
    ClipResult r;
    if (!std::isfinite(o.start) || !std::isfinite(o.end) || o.start < 0 || o.end < 0 || o.start >= o.end) {
        return fail(r, ClipStatus::BadSpan, "the start must be at least 0 and before the end");
    }
    Piece first;
    std::string why;
    switch (readPiece(o.input, first, why)) {
    case PieceRead::Ok:
        break;
    case PieceRead::CannotRead:
        return fail(r, ClipStatus::CannotRead, "cannot read " + o.input + ": " + why);
    case PieceRead::NotRecording:
        return fail(r, ClipStatus::NotRecording, o.input + " " + why);
    }
    if (o.start >= first.place.duration) {
        char text[64];
        std::snprintf(text, sizeof text, "%.3f", first.place.duration);
        return fail(r, ClipStatus::BadSpan,
                    "the start lies past the end of " + o.input + " (" + text + " s)");
    }

    PieceRead stop;
    std::string stoppedAt;
    auto pieces = chainOf(std::move(first), o.end, stop, why, stoppedAt);
    if (stop == PieceRead::CannotRead) {
        return fail(r, ClipStatus::CannotRead, "cannot read " + stoppedAt + ": " + why);
    }
    if (stop != PieceRead::Ok) {
        return fail(r, ClipStatus::NotRecording, "the clip goes on into " + stoppedAt + " " + why);
    }
    // Replacing any recording the clip reads would lose it, --force or not: refused before anything
    // is written, whatever name (a link, another hard link) the output goes by.
    std::vector<std::string> inputs;
    for (const auto& p : pieces) {
        inputs.push_back(p.place.path);
    }
    if (const auto read = outputAmongInputs(o.output, inputs)) {
        return fail(r, ClipStatus::OutputIsInput,
                    o.output + " is " + *read + ", a recording the clip is cut from; choose another output");
    }
    std::error_code ec;
    if (!o.force && fs::exists(fs::symlink_status(o.output, ec))) {
        return fail(r, ClipStatus::OutputExists, o.output + " exists (--force replaces it)");
    }
    for (size_t i = 1; i < pieces.size(); ++i) {
        if (!sameSettings(pieces[0].movie, pieces[i].movie)) {
            return fail(r, ClipStatus::OtherSettings,
                        pieces[i].place.path +
                            " follows with other codec settings; a lossless clip cannot cross into it "
                            "(end the clip before it, or make a re-encoded one)");
        }
    }

    // What to copy from each recording.
    std::vector<std::vector<Pick>> picks;
    uint64_t total = 0;
    for (size_t i = 0; i < pieces.size(); ++i) {
        const auto& place = pieces[i].place;
        uint64_t frames = 0;
        double firstFrame = 0, seconds = 0;
        picks.push_back(picksOf(pieces[i], i == 0 ? o.start : 0.0, o.end - place.offset, i == 0, frames,
                                firstFrame, seconds));
        if (i == 0) {
            r.firstFrame = firstFrame;
        }
        r.frames += frames;
        r.duration += seconds;
        r.sources.push_back(place.path);
        for (const auto& p : picks.back()) {
            total += p.size;
        }
    }

    const Mp4Movie& movie = pieces[0].movie;
    std::vector<Mp4TrackSetup> setups;
    for (const auto& t : movie.tracks) {
        setups.push_back(trackSetupOf(t));
    }
    std::vector<Mp4MovieItem> items;
    for (const auto& child : movie.children) {
        if (child.type == "mvhd") {
            items.push_back({Mp4MovieItem::Kind::MovieHeader, 0, {}});
        } else if (child.track >= 0) {
            items.push_back({Mp4MovieItem::Kind::Track, static_cast<size_t>(child.track), {}});
        } else {
            items.push_back({Mp4MovieItem::Kind::Box, 0, child.box});
        }
    }

    SafeFileWriter file(o.output);
    if (const FileStatus opened = file.begin(); !opened.ok() || file.fd() < 0) {
        return fail(r, ClipStatus::CannotWrite, "cannot write " + o.output + ": " + opened.describe());
    }
    Mp4FileSink sink(file.fd());
    CameraMp4Writer writer(sink, setups);
    if (!writer.begin(movie.fileType) || !sink.flush()) {
        return fail(r, ClipStatus::CannotWrite,
                    "cannot write " + o.output + ": " +
                        describeWriteError(sink.error() != 0 ? sink.error() : EIO));
    }
    uint64_t done = 0;
    for (size_t i = 0; i < pieces.size(); ++i) {
        // Copied from the very file whose index was read, whatever its path names meanwhile.
        const int in = pieces[i].source->fd();
        // Neighbouring samples go as one run; a run is cut at a few megabytes so that a cancel is
        // heard soon and progress moves.
        constexpr uint64_t kRun = uint64_t{8} << 20;
        uint64_t runFrom = 0, runTo = 0, runOut = 0;
        int error = 0;
        bool readFailed = false;
        auto copyRun = [&] {
            if (runTo > runFrom &&
                !copyRange(in, runFrom, file.fd(), runOut, runTo - runFrom, error, &readFailed)) {
                return false;
            }
            done += runTo - runFrom;
            runFrom = runTo = 0;
            if (o.progress) {
                o.progress(done, total);
            }
            return true;
        };
        bool ok = true;
        for (const auto& p : picks[i]) {
            if (runTo != p.offset || runTo - runFrom >= kRun) {
                if (!(ok = copyRun())) {
                    break;
                }
                if (o.cancelled && o.cancelled()) {
                    return fail(r, ClipStatus::Cancelled, "cancelled; nothing was written");
                }
                runFrom = runTo = p.offset;
                runOut = sink.position();
            }
            if (!(ok = writer.noteSample(p.track, p.size, p.delta, p.sync))) {
                error = sink.error() != 0 ? sink.error() : EFBIG;
                break;
            }
            runTo += p.size;
        }
        ok = ok && copyRun();
        if (!ok && readFailed) {
            return fail(r, ClipStatus::CannotRead,
                        "cannot read " + pieces[i].place.path + ": " +
                            FileStatus{FileFault::Io, error}.describe());
        }
        if (!ok) {
            return fail(r, ClipStatus::CannotWrite,
                        "cannot write " + o.output + ": " + describeWriteError(error));
        }
    }
    if (o.cancelled && o.cancelled()) {
        return fail(r, ClipStatus::Cancelled, "cancelled; nothing was written");
    }
    if (!writer.finish(items, movie.timescale)) {
        return fail(r, ClipStatus::CannotWrite,
                    "cannot write " + o.output + ": " +
                        describeWriteError(sink.error() != 0 ? sink.error() : EFBIG));
    }
    const FileStatus committed =
        file.commit(o.force ? SafeFileWriter::Replace::Always : SafeFileWriter::Replace::Never);
    if (!committed.ok()) {
        if (committed.error == EEXIST) {
            return fail(r, ClipStatus::OutputExists, o.output + " exists (--force replaces it)");
        }
        return fail(r, ClipStatus::CannotWrite, "cannot write " + o.output + ": " + committed.describe());
    }
    r.message = "wrote " + o.output;
    return r;
}

} // namespace nura
