// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/clip/LosslessClip.h"

#include "core/clip/ClipSource.h"

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
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace nura {
namespace {

using clip_source::chainOf;
using clip_source::Piece;
using clip_source::PieceRead;
using clip_source::readPiece;
using clip_source::sampleDeltas;
using clip_source::sampleOffsets;
using clip_source::sampleTimes;

namespace fs = std::filesystem;

ClipResult fail(ClipResult r, ClipStatus status, std::string message) {
    r.status = status;
    r.message = std::move(message);
    return r;
}

std::string nameOf(const std::string& path) {
    return fs::path(path).filename().string();
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
    int32_t composition = 0; // how much later than decoded it is shown
};

// `x` ticks of a clock of `from` ticks a second in one of `to`.
int64_t rescale(int64_t x, uint32_t from, uint32_t to) {
    return static_cast<int64_t>(static_cast<__int128>(x) * to / from);
}

// When each sample is shown, on its recording's clock: decode time, then the delay of a reordered
// frame, less the part the edit list skips.
std::vector<int64_t> shownTimes(const Mp4Track& t) {
    const auto decode = sampleTimes(t);
    std::vector<int64_t> shown(decode.size());
    for (size_t k = 0; k < shown.size(); ++k) {
        const int64_t delay = k < t.compositionOffsets.size() ? t.compositionOffsets[k] : 0;
        shown[k] = static_cast<int64_t>(decode[k]) + delay - t.editMediaTime;
    }
    return shown;
}

// The video frames of one recording to copy, in decode order, and the time they are shown for.
struct VideoSpan {
    size_t first = 0, last = 0; // inclusive
    int64_t begin = 0, end = 0; // shown, in video ticks of the recording's clock
};

int64_t ticksOf(double seconds, uint32_t scale) {
    return static_cast<int64_t>(std::llround(std::max(0.0, seconds) * scale));
}

// From the last key frame shown at or before `from` (or the first frame) to the last frame shown at
// or before `to`. With reordered frames the span ends only where every frame shown before its last
// one is in it, so that the pictures shown run without a hole.
VideoSpan videoSpanOf(const Piece& piece, double from, double to, bool fromKeyFrame) {
    const auto& v = piece.movie.tracks[static_cast<size_t>(piece.video)];
    const auto shown = shownTimes(v);
    const auto deltas = sampleDeltas(v);
    const size_t n = shown.size();
    VideoSpan span;
    if (fromKeyFrame) {
        const int64_t at = ticksOf(from, v.timescale);
        for (size_t k = 0; k < n; ++k) {
            const bool sync =
                !v.hasSyncTable ||
                std::binary_search(v.syncSamples.begin(), v.syncSamples.end(), static_cast<uint32_t>(k + 1));
            if (sync && shown[k] <= at) {
                span.first = k;
            }
        }
    }
    const int64_t until = ticksOf(to, v.timescale);
    std::vector<int64_t> laterMin(n + 1, INT64_MAX); // the earliest shown time from k on
    for (size_t k = n; k-- > 0;) {
        laterMin[k] = std::min(laterMin[k + 1], shown[k]);
    }
    int64_t latest = INT64_MIN;
    std::optional<size_t> within, closedAfter;
    for (size_t j = span.first; j < n; ++j) {
        latest = std::max(latest, shown[j]);
        if (latest < laterMin[j + 1]) { // nothing after j is shown before what is in
            if (latest <= until) {
                within = j;
            } else {
                if (!closedAfter) {
                    closedAfter = j;
                }
                break;
            }
        }
    }
    span.last = within ? *within : closedAfter.value_or(n - 1);
    span.begin = INT64_MAX;
    span.end = INT64_MIN;
    for (size_t k = span.first; k <= span.last; ++k) {
        span.begin = std::min(span.begin, shown[k]);
        span.end = std::max(span.end, shown[k] + static_cast<int64_t>(deltas[k]));
    }
    return span;
}

// Where the clip stands while recordings are added to it.
struct ClipTimeline {
    int64_t shownAt = 0;    // where the next recording's first picture is shown, in video ticks
    uint64_t decodedAt = 0; // where its first frame is decoded
    int64_t videoEdit = 0;  // the clip's video edit list start: the first picture's composition time
    struct Sound {
        bool started = false;
        int64_t at = 0;   // the end of the sound written so far, in its ticks
        int64_t edit = 0; // the sound's edit list start, set by its first frame
        // The last frame written: a hole too long to fill with copies lengthens it instead.
        size_t piece = 0, index = SIZE_MAX;
    };
    std::vector<Sound> sound;
};

// A hole of up to this many sound frames is filled with copies of the frame after it, so that the
// sound goes on; a longer one is left silent.
constexpr int64_t kRepeatFrames = 2;

// The samples of the clip's next recording, each track in its order. The video keeps its composition
// offsets, shifted so that its pictures follow the previous recording's. Sound is placed at its own
// recording's pictures: at each joint whole frames are dropped or added so that it stays within half
// a frame of them instead of running on at its own length. Other tracks take the samples of the span.
// `earlier` holds the recordings already taken (a long hole lengthens their last sound frame);
// `fits` turns false when a time no longer fits the tables.
std::vector<std::vector<Pick>> tracksOf(const Piece& piece, const VideoSpan& span, ClipTimeline& clip,
                                        std::vector<std::vector<std::vector<Pick>>>& earlier, bool& fits) {
    const auto& movie = piece.movie;
    const auto vi = static_cast<size_t>(piece.video);
    const auto& v = movie.tracks[vi];
    std::vector<std::vector<Pick>> out(movie.tracks.size());
    clip.sound.resize(movie.tracks.size());
    for (size_t ti = 0; ti < movie.tracks.size(); ++ti) {
        const auto& t = movie.tracks[ti];
        const auto decode = sampleTimes(t);
        const auto deltas = sampleDeltas(t);
        const auto offsets = sampleOffsets(t);
        const auto shown = shownTimes(t);
        const auto syncAt = [&](size_t k) {
            return !t.hasSyncTable || std::binary_search(t.syncSamples.begin(), t.syncSamples.end(),
                                                         static_cast<uint32_t>(k + 1));
        };
        const auto delayOf = [&](size_t k) {
            return k < t.compositionOffsets.size() ? int64_t{t.compositionOffsets[k]} : int64_t{0};
        };
        if (ti == vi) {
            // Shown at the clip's place for this recording, decoded after the frames before it.
            const int64_t shift = clip.videoEdit + clip.shownAt - static_cast<int64_t>(clip.decodedAt) -
                                  (span.begin + t.editMediaTime) + static_cast<int64_t>(decode[span.first]);
            for (size_t k = span.first; k <= span.last; ++k) {
                const int64_t composition = delayOf(k) + shift;
                fits = fits && composition >= INT32_MIN && composition <= INT32_MAX;
                out[ti].push_back({ti, offsets[k], t.sampleSizes[k], deltas[k], syncAt(k),
                                   static_cast<int32_t>(composition)});
            }
            continue;
        }
        const int64_t b = rescale(span.begin, v.timescale, t.timescale);
        const int64_t e = rescale(span.end, v.timescale, t.timescale);
        if (t.handlerType != "soun") {
            for (size_t k = 0; k < t.sampleCount(); ++k) {
                if (shown[k] >= b && shown[k] < e) {
                    out[ti].push_back({ti, offsets[k], t.sampleSizes[k], deltas[k], syncAt(k),
                                       static_cast<int32_t>(delayOf(k))});
                }
            }
            continue;
        }
        auto& sound = clip.sound[ti];
        const int64_t placed = rescale(clip.shownAt, v.timescale, t.timescale);
        // Whole frames, by the track's own frame length: a recording's last frame may be short.
        const auto frame = static_cast<int64_t>(t.commonDelta());
        for (size_t k = 0; k < t.sampleCount(); ++k) {
            const auto delta = static_cast<int64_t>(deltas[k]);
            if (shown[k] + delta <= b || shown[k] >= e) {
                continue;
            }
            const int64_t target = placed + shown[k] - b; // where it belongs in the clip
            if (!sound.started) {
                sound.started = true;
                sound.edit = -target; // the first frame starts at its own place
            }
            const Pick pick{ti, offsets[k], t.sampleSizes[k], deltas[k], syncAt(k)};
            const int64_t ahead = sound.at - sound.edit - target;
            if (2 * ahead >= frame) {
                continue; // the sound so far already covers this frame's place
            }
            if (2 * ahead < -frame && frame > 0) {
                const int64_t missing = (-ahead + frame / 2) / frame;
                if (missing > kRepeatFrames && sound.index != SIZE_MAX) {
                    Pick& last = sound.piece < earlier.size() ? earlier[sound.piece][ti][sound.index]
                                                              : out[ti][sound.index];
                    const int64_t longer = int64_t{last.delta} + missing * frame;
                    fits = fits && longer <= UINT32_MAX;
                    last.delta = static_cast<uint32_t>(longer);
                    sound.at += missing * frame;
                } else {
                    for (int64_t r = 0; r < missing; ++r) {
                        out[ti].push_back(pick);
                        sound.at += delta;
                    }
                }
            }
            out[ti].push_back(pick);
            sound.at += delta;
            sound.piece = earlier.size();
            sound.index = out[ti].size() - 1;
        }
    }
    clip.shownAt += span.end - span.begin;
    const auto videoDeltas = sampleDeltas(v);
    for (size_t k = span.first; k <= span.last; ++k) {
        clip.decodedAt += videoDeltas[k];
    }
    return out;
}

// The tracks' samples merged by their place in the file, so that neighbours copy as one run.
std::vector<Pick> merged(const std::vector<std::vector<Pick>>& perTrack) {
    std::vector<Pick> out;
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
        out.push_back(perTrack[best][next[best]++]);
    }
    return out;
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

std::optional<std::string> LosslessClip::defaultName(const std::string& input, double start) {
    Piece piece;
    std::string why;
    if (!std::isfinite(start) || readPiece(input, piece, why) != PieceRead::Ok) {
        return recordingName(input, start); // the cut itself says what is wrong
    }
    const auto& v = piece.movie.tracks[static_cast<size_t>(piece.video)];
    const VideoSpan span = videoSpanOf(piece, start, start, true);
    return recordingName(input, static_cast<double>(std::max<int64_t>(span.begin, 0) / v.timescale));
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
    std::vector<std::vector<std::vector<Pick>>> perPiece;
    ClipTimeline timeline;
    bool fits = true;
    for (size_t i = 0; i < pieces.size(); ++i) {
        const auto& place = pieces[i].place;
        const auto& v = pieces[i].movie.tracks[static_cast<size_t>(pieces[i].video)];
        const VideoSpan span = videoSpanOf(pieces[i], i == 0 ? o.start : 0.0, o.end - place.offset, i == 0);
        if (i == 0) {
            r.firstFrame = static_cast<double>(span.begin) / v.timescale;
            timeline.videoEdit =
                span.begin + v.editMediaTime - static_cast<int64_t>(sampleTimes(v)[span.first]);
        }
        r.frames += span.last - span.first + 1;
        r.duration += static_cast<double>(span.end - span.begin) / v.timescale;
        r.sources.push_back(place.path);
        auto tracks = tracksOf(pieces[i], span, timeline, perPiece, fits);
        perPiece.push_back(std::move(tracks));
    }
    if (!fits) {
        return fail(r, ClipStatus::NotRecording,
                    o.input + " has frame times too far apart for a lossless clip to keep");
    }
    std::vector<std::vector<Pick>> picks;
    uint64_t total = 0;
    for (const auto& tracks : perPiece) {
        picks.push_back(merged(tracks));
        for (const auto& p : picks.back()) {
            total += p.size;
        }
    }

    const Mp4Movie& movie = pieces[0].movie;
    std::vector<Mp4TrackSetup> setups;
    for (size_t ti = 0; ti < movie.tracks.size(); ++ti) {
        setups.push_back(trackSetupOf(movie.tracks[ti]));
        // The video starts at its first picture, the sound at that picture's moment; other tracks at
        // their first sample.
        setups.back().editMediaTime = static_cast<int>(ti) == pieces[0].video ? timeline.videoEdit
                                      : ti < timeline.sound.size() && timeline.sound[ti].started
                                          ? timeline.sound[ti].edit
                                          : 0;
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
            if (!(ok = writer.noteSample(p.track, p.size, p.delta, p.sync, p.composition))) {
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
