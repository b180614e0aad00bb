// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/repair/RecordingRepair.h"

#include "core/media/ORBMediaList.h"
#include "core/mp4/CameraMp4Writer.h"
#include "core/mp4/Mp4Movie.h"
#include "core/repair/ParameterSets.h"
#include "core/repair/RecordingShape.h"
#include "core/repair/RepairReference.h"
#include "core/telemetry/ORBChunkTableLocator.h"
#include "core/telemetry/ORBTelemetryRecord.h"
#include "core/util/CopyRange.h"
#include "core/util/OutputCheck.h"
#include "core/util/SafeFile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <new>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace nura {
namespace {

namespace fs = std::filesystem;
using repair::CutSettings;
using repair::kRefusedRead;
using repair::loadReference;
using repair::probeCut;
using repair::Reference;
using repair::settingsDiffer;

RepairResult fail(RepairResult r, RepairStatus status, std::string message) {
    r.status = status;
    r.message = std::move(message);
    return r;
}

std::string absolute(const std::string& path) {
    std::error_code ec;
    const auto abs = fs::absolute(path, ec);
    return ec ? path : abs.lexically_normal().string();
}

// Copies the recovered media data from the old file to the new one in the kernel, on a thread of its
// own that follows the walk: the recovered data is one run of the old file's bytes, so everything up
// to the end of the last whole sample can go as soon as the walk has passed it.
class Copier {
public:
    Copier(int in, uint64_t from, int out, uint64_t to)
        : m_in(in), m_from(from), m_out(out), m_to(to), m_confirmed(from), m_copied(from) {
        m_thread = std::thread([this] { run(); });
    }
    ~Copier() { finish(m_confirmed); }
    void confirm(uint64_t end) {
        std::lock_guard lock(m_mutex);
        m_confirmed = end;
        if (m_confirmed - m_copied >= kStep) {
            m_cv.notify_one();
        }
    }
    // Copies the rest up to `end` and waits for it; false with the error when a copy failed.
    bool finish(uint64_t end) {
        {
            std::lock_guard lock(m_mutex);
            m_confirmed = end;
            m_done = true;
        }
        m_cv.notify_one();
        if (m_thread.joinable()) {
            m_thread.join();
        }
        return m_error == 0;
    }
    int error() const { return m_error; }
    // Whether the error was the input's (a pulled card) rather than the output's.
    bool readFailed() const { return m_readFailed; }

private:
    static constexpr uint64_t kStep = uint64_t{8} << 20;
    void run() {
        while (true) {
            uint64_t until = 0;
            {
                std::unique_lock lock(m_mutex);
                m_cv.wait(lock, [&] { return m_done || m_confirmed - m_copied >= kStep; });
                until = m_confirmed;
                if (until == m_copied && m_done) {
                    return;
                }
            }
            int e = 0;
            bool readFailed = false;
            const uint64_t at = m_to + (m_copied - m_from);
            if (m_error == 0 && !copyRange(m_in, m_copied, m_out, at, until - m_copied, e, &readFailed)) {
                m_readFailed = readFailed;
                m_error = e != 0 ? e : EIO;
            }
            if (m_error == 0) {
                // The disk starts writing what is copied while the walk goes on, so the closing sync
                // waits only for the last steps. A hint: the sync at the end is what counts.
                (void)::sync_file_range(m_out, static_cast<off_t>(at), static_cast<off_t>(until - m_copied),
                                        SYNC_FILE_RANGE_WRITE);
            }
            std::lock_guard lock(m_mutex);
            m_copied = until;
        }
    }
    int m_in;
    uint64_t m_from;
    int m_out;
    uint64_t m_to;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    uint64_t m_confirmed;
    uint64_t m_copied;
    bool m_done = false;
    std::atomic<int> m_error{0};
    std::atomic<bool> m_readFailed{false};
    std::thread m_thread;
};

// Enters what the walk recognises into the new file's tables and lets the copier follow.
class ToWriter final : public MediaDataReceiver {
public:
    ToWriter(CameraMp4Writer& w, Copier& copier, uint64_t start, uint32_t frameDelta, uint32_t recordDelta,
             const std::function<bool()>& cancelled)
        : m_w(w), m_copier(copier), m_end(start), m_frameDelta(frameDelta), m_recordDelta(recordDelta),
          m_cancelled(cancelled) {}
    bool videoSample(std::span<const std::byte> bytes, bool sync) override {
        return advance(bytes.size()) && m_w.noteSample(0, bytes.size(), m_frameDelta, sync);
    }
    bool telemetryChunk(std::span<const std::byte> bytes) override {
        return advance(bytes.size()) && m_w.noteSample(1, bytes.size(), m_recordDelta, true);
    }
    // The sound's bytes are copied with the rest and left unreferenced in the media data.
    bool gap(uint64_t size) override { return advance(size) && m_w.noteGap(size); }

private:
    bool advance(uint64_t n) {
        m_end += n;
        m_copier.confirm(m_end);
        return m_copier.error() == 0 && (!m_cancelled || !m_cancelled());
    }
    CameraMp4Writer& m_w;
    Copier& m_copier;
    uint64_t m_end;
    uint32_t m_frameDelta;
    uint32_t m_recordDelta;
    const std::function<bool()>& m_cancelled;
};

std::string sideOf(const std::string& path) {
    const auto base = orb_media::baseName(path);
    if (base.ends_with("_F")) {
        return "front";
    }
    if (base.ends_with("_R")) {
        return "rear";
    }
    return "";
}

// Writes the repaired file into `file` with the reference's settings: nothing on success, else the
// failure to report.
std::optional<RepairResult> build(const Reference& ref, ORBFileByteSource& source,
                                  const RecordingShape& shape, const std::string& input, SafeFileWriter& file,
                                  const std::function<bool()>& cancelled, RepairResult& r) {
    const Mp4Movie& movie = ref.movie;
    const Mp4Track& video = movie.tracks[static_cast<size_t>(ref.video)];
    std::vector<Mp4TrackSetup> setups{trackSetupOf(video)};
    uint32_t recordDelta = 0;
    if (ref.data >= 0) {
        const Mp4Track& data = movie.tracks[static_cast<size_t>(ref.data)];
        setups.push_back(trackSetupOf(data));
        setups[1].maxSamplesPerChunk = 1;
        recordDelta = data.commonDelta();
    }
    // The movie's children in the reference's order; a sound track becomes a free box of its own
    // so that the telemetry track keeps its place.
    std::vector<Mp4MovieItem> items;
    r.soundLeftOut = false;
    for (const auto& child : movie.children) {
        if (child.type == "mvhd") {
            items.push_back({Mp4MovieItem::Kind::MovieHeader, 0, {}});
        } else if (child.track == ref.video) {
            items.push_back({Mp4MovieItem::Kind::Track, 0, {}});
        } else if (child.track >= 0 && child.track == ref.data) {
            items.push_back({Mp4MovieItem::Kind::Track, 1, {}});
        } else if (child.track >= 0) {
            r.soundLeftOut =
                r.soundLeftOut || movie.tracks[static_cast<size_t>(child.track)].handlerType == "soun";
            items.push_back({Mp4MovieItem::Kind::Box, 0, CameraMp4Writer::freeBox(0)});
        } else {
            items.push_back({Mp4MovieItem::Kind::Box, 0, child.box});
        }
    }

    Mp4FileSink sink(file.fd());
    CameraMp4Writer writer(sink, setups);
    if (!writer.begin(shape.fileType) || !sink.flush()) {
        const int e = sink.error() != 0 ? sink.error() : EIO;
        return fail(r, RepairStatus::CannotWrite, "cannot write " + r.output + ": " + describeWriteError(e));
    }
    // The bytes are copied from the very file the walk reads, whatever its path names meanwhile.
    Copier copier(source.fd(), shape.mediaStart, file.fd(), writer.mediaDataStart());
    ToWriter receiver(writer, copier, shape.mediaStart, video.commonDelta(), recordDelta, cancelled);
    r.walk = MediaDataWalker(ref.pattern).walk(source, shape.mediaStart, source.size(), receiver);
    const bool copied = copier.finish(r.walk.stoppedAt);
    if (cancelled && cancelled()) {
        return fail(r, RepairStatus::Cancelled, "interrupted; " + r.output + " was not written");
    }
    if (!copied && copier.readFailed()) {
        return fail(r, RepairStatus::CannotRead,
                    "cannot read " + input + ": " + FileStatus{FileFault::Io, copier.error()}.describe());
    }
    if (r.walk.stop == MediaDataWalker::Stop::ReceiverFailed || !copied) {
        const int e = copier.error() != 0 ? copier.error() : (sink.error() != 0 ? sink.error() : EIO);
        return fail(r, RepairStatus::CannotWrite, "cannot write " + r.output + ": " + describeWriteError(e));
    }
    if (r.walk.stop == MediaDataWalker::Stop::ReadFailed) {
        return fail(r, RepairStatus::CannotRead,
                    "cannot read " + input + " to its end" +
                        (source.readError() != 0
                             ? ": " + FileStatus{FileFault::Io, source.readError()}.describe()
                             : std::string()));
    }
    if (r.walk.videoSamples == 0) {
        return fail(r, RepairStatus::NothingRecovered,
                    "no whole frame before the cut in " + input + " (" +
                        std::string(MediaDataWalker::describe(r.walk.stop)) + " at byte " +
                        std::to_string(r.walk.stoppedAt) + ")");
    }
    if (!writer.finish(items, movie.timescale)) {
        const int e = sink.error() != 0 ? sink.error() : EFBIG;
        return fail(r, RepairStatus::CannotWrite, "cannot write " + r.output + ": " + describeWriteError(e));
    }
    return std::nullopt;
}

} // namespace

std::string RecordingRepair::defaultOutput(const std::string& input) {
    const fs::path p(input);
    return (p.parent_path() / "repaired" / p.filename()).string();
}

std::vector<std::string> RecordingRepair::referenceCandidates(const std::string& input) {
    const std::string self = absolute(input);
    const auto me = ORBMediaList::createMediaByPath(self);
    if (!me) {
        return {};
    }
    const fs::path folder = fs::path(self).parent_path();
    std::vector<std::string> out;
    const auto add = [&](std::vector<ORBMediaList::MediaPtr> found) {
        std::erase_if(found, [&](const ORBMediaList::MediaPtr& m) {
            return m->mediaDirection != me->mediaDirection || m->mediaDivision != me->mediaDivision ||
                   m->mediaName == me->mediaName || std::find(out.begin(), out.end(), m->path) != out.end();
        });
        ORBMediaList::sortByDate(found);
        const auto firstAfter =
            std::find_if(found.begin(), found.end(),
                         [&](const ORBMediaList::MediaPtr& m) { return me->compareDate(*m) < 0; });
        for (auto it = firstAfter; it != found.begin();) {
            out.push_back((*--it)->path);
        }
        for (auto it = firstAfter; it != found.end(); ++it) {
            out.push_back((*it)->path);
        }
    };
    // The input's own folder, one level.
    std::vector<ORBMediaList::MediaPtr> here;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (orb_media::hasMp4Extension(name)) {
                if (auto m = ORBMediaList::createMediaByPath((folder / name).string())) {
                    here.push_back(std::move(m));
                }
            }
        }
        ::closedir(d);
    }
    add(std::move(here));
    // Then the tree of the folder above, as the viewer lists it.
    if (folder.has_parent_path() && folder.parent_path() != folder) {
        add(ORBMediaList::scanDirectory(folder.parent_path().string()).medias);
    }
    return out;
}

RepairResult RecordingRepair::repair(const RepairOptions& o) {
    RepairResult r;
    try {
        ReadableFile input = ReadableFile::open(o.input);
        if (!input.ok()) {
            // A FIFO, device or folder is no recording; a missing or unreadable file cannot be read.
            return input.status().fault == FileFault::NotRegular
                       ? fail(r, RepairStatus::NotRecording, o.input + " is not a regular file")
                       : fail(r, RepairStatus::CannotRead,
                              "cannot read " + o.input + ": " + input.status().describe());
        }
        auto source = ORBFileByteSource::from(std::move(input));
        r.inputSize = source->size();
        const auto shape = RecordingShape::inspect(*source);
        switch (shape.kind) {
        case RecordingShape::Kind::Whole:
            return fail(r, RepairStatus::NothingToRepair, "nothing to repair: " + o.input + " is whole");
        case RecordingShape::Kind::NotRecording:
            return fail(r, RepairStatus::NotRecording, o.input + " is not a recording of this camera");
        case RecordingShape::Kind::Unreadable:
            return fail(r, RepairStatus::CannotRead,
                        "cannot read " + o.input +
                            (source->readError() != 0
                                 ? ": " + FileStatus{FileFault::Io, source->readError()}.describe()
                                 : std::string()));
        case RecordingShape::Kind::Cut:
            break;
        }
        r.mediaStart = shape.mediaStart;
        const bool given = !o.reference.empty();
        if (given) {
            const std::string mine = sideOf(o.input), theirs = sideOf(o.reference);
            if (!mine.empty() && !theirs.empty() && mine != theirs) {
                return fail(r, RepairStatus::ReferenceOtherSide,
                            "the reference " + o.reference + " is of the " + theirs + " camera, " + o.input +
                                " of the " + mine + " camera");
            }
        }

        // The reference: the one given, or the first candidate that is whole, was recorded with the same
        // settings and decodes.
        const std::vector<std::string> candidates =
            given ? std::vector<std::string>{o.reference} : referenceCandidates(o.input);

        // The output: never a file the repair reads, by whatever name, forced or not; never an existing
        // file unless asked, and never anything but a file.
        r.output = o.output.empty() ? defaultOutput(o.input) : o.output;
        std::vector<std::string> reads{o.input};
        reads.insert(reads.end(), candidates.begin(), candidates.end());
        if (const auto hit = outputAmongInputs(r.output, reads)) {
            return fail(r, RepairStatus::OutputIsInput,
                        *hit == o.input
                            ? "the repaired file would replace " + o.input + ", the recording it is made from"
                        : given ? "the repaired file would replace the reference " + *hit
                                : "the repaired file would replace " + *hit +
                                      ", a recording the repair may take as its reference");
        }
        if (struct stat out{}; ::lstat(r.output.c_str(), &out) == 0) {
            if (!S_ISREG(out.st_mode) && !S_ISLNK(out.st_mode)) {
                return fail(r, RepairStatus::OutputNotRegular, r.output + " is not a regular file");
            }
            if (!o.force) {
                return fail(r, RepairStatus::OutputExists, r.output + " exists (--force replaces it)");
            }
        }
        const fs::path outFolder = fs::path(r.output).parent_path();
        bool madeFolder = false;
        const auto removeFolder = [&] {
            if (madeFolder) {
                ::rmdir(outFolder.c_str());
            }
        };
        const auto decodes = [&](const std::string& path) {
            return o.trialDecode ? o.trialDecode(path) : TrialDecode::Decodes;
        };
        const auto stopped = [&] { return o.cancelled && o.cancelled(); };
        const auto interrupted = [&] {
            removeFolder();
            return fail(r, RepairStatus::Cancelled, "interrupted; " + r.output + " was not written");
        };

        // A candidate's decode runs while the media data is walked; should it fail, the next candidate
        // is tried.
        int undecodable = 0;
        std::string unreadable;    // the first candidate the card refused to read, and why
        std::string otherSettings; // how the first candidate recorded otherwise differs
        std::optional<std::pair<MediaDataPattern, CutSettings>> probed;
        for (const auto& candidate : candidates) {
            if (stopped()) {
                return interrupted();
            }
            std::string why;
            auto ref = loadReference(candidate, why);
            if (!ref) {
                if (given) {
                    return fail(r,
                                why.starts_with(kRefusedRead) ? RepairStatus::CannotRead
                                                              : RepairStatus::ReferenceUnusable,
                                "the reference " + o.reference + " " + why);
                }
                if (unreadable.empty() && why.starts_with(kRefusedRead)) {
                    unreadable = candidate + " " + why;
                }
                continue;
            }
            // The cut file's first seconds, walked again only for a reference of another layout.
            const auto& p = ref->pattern;
            if (!probed || probed->first.nalLengthSize != p.nalLengthSize ||
                probed->first.telemetryChunkSize != p.telemetryChunkSize ||
                probed->first.telemetryLead != p.telemetryLead ||
                probed->first.soundChunkMax != p.soundChunkMax ||
                probed->first.largestFrame != p.largestFrame) {
                probed.emplace(p, probeCut(p, *source, shape.mediaStart, o.cancelled));
            }
            if (stopped()) {
                return interrupted();
            }
            if (const auto differs = settingsDiffer(*ref, probed->second)) {
                if (given) {
                    return fail(r, RepairStatus::ReferenceMismatch,
                                "the reference " + o.reference + " " + *differs);
                }
                if (otherSettings.empty()) {
                    otherSettings = "the reference " + candidate + " " + *differs;
                }
                continue;
            }
            const auto refused = [&](TrialDecode d) -> std::optional<RepairResult> {
                if (d == TrialDecode::Unavailable) {
                    return fail(r, RepairStatus::DecoderMissing, "the trial decode cannot be run");
                }
                if (d == TrialDecode::Fails && given) {
                    return fail(r, RepairStatus::ReferenceUnusable,
                                "the reference " + o.reference + " does not decode");
                }
                return std::nullopt;
            };
            const bool ahead = static_cast<bool>(o.trialDecodeAhead) && static_cast<bool>(o.trialDecode);
            if (ahead) {
                o.trialDecodeAhead(candidate);
            } else {
                const auto d = decodes(candidate);
                if (stopped()) {
                    return interrupted();
                }
                if (auto stop = refused(d)) {
                    return *stop;
                }
                if (d == TrialDecode::Fails) {
                    if (++undecodable == 8) {
                        break; // a camera whose recordings keep failing to decode is not worth a longer
                               // search
                    }
                    continue;
                }
            }
            r.reference = candidate;

            if (o.output.empty() && !madeFolder && ::mkdir(outFolder.c_str(), 0755) == 0) {
                madeFolder = true;
            }
            SafeFileWriter file(r.output);
            if (const FileStatus opened = file.begin(); !opened.ok()) {
                removeFolder();
                if (opened.fault == FileFault::NotRegular) {
                    return fail(r, RepairStatus::OutputNotRegular, r.output + " is not a regular file");
                }
                return opened.fault == FileFault::CannotOpen || opened.fault == FileFault::Io
                           ? fail(r, RepairStatus::CannotWrite,
                                  "cannot write in " + outFolder.string() + ": " +
                                      describeWriteError(opened.error))
                           : fail(r, RepairStatus::CannotWrite,
                                  "cannot write " + r.output + ": " + opened.describe());
            }
            auto built = build(*ref, *source, shape, o.input, file, o.cancelled, r);
            if (built) {
                file.cancel();
                removeFolder();
                return *built;
            }
            if (ahead) {
                const auto d = decodes(candidate);
                if (stopped()) {
                    file.cancel();
                    return interrupted();
                }
                if (auto stop = refused(d)) {
                    file.cancel();
                    removeFolder();
                    return *stop;
                }
                if (d == TrialDecode::Fails) {
                    file.cancel();
                    r.reference.clear();
                    if (++undecodable == 8) {
                        break;
                    }
                    continue;
                }
            }
            // The data goes to the device while the first frames are decoded.
            std::thread flush([fd = file.fd()] { ::fdatasync(fd); });
            const auto d = decodes(file.temporaryPath());
            flush.join();
            if (stopped()) {
                file.cancel();
                return interrupted();
            }
            if (d != TrialDecode::Decodes) {
                file.cancel();
                removeFolder();
                return d == TrialDecode::Unavailable
                           ? fail(r, RepairStatus::DecoderMissing, "the trial decode cannot be run")
                           : fail(r, RepairStatus::DoesNotDecode,
                                  o.input + " does not decode with the reference's settings (" + r.reference +
                                      ")");
            }
            if (const FileStatus put =
                    file.commit(o.force ? SafeFileWriter::Replace::Always : SafeFileWriter::Replace::Never);
                !put.ok()) {
                const int e = put.error != 0 ? put.error : EIO;
                removeFolder();
                return e == EEXIST
                           ? fail(r, RepairStatus::OutputExists, r.output + " exists (--force replaces it)")
                           : fail(r, RepairStatus::CannotWrite,
                                  "cannot write " + r.output + ": " + describeWriteError(e));
            }
            r.status = RepairStatus::Repaired;
            r.message = "recovered " + std::to_string(r.walk.videoSamples) + " frames (" +
                        std::to_string(r.walk.syncSamples) + " key frames) and " +
                        std::to_string(r.walk.telemetryChunks) + " telemetry records" +
                        (r.walk.gaps > 0 ? " past " + std::to_string(r.walk.gaps) + " sound chunks (" +
                                               std::to_string(r.walk.gapBytes) + " bytes, left out)"
                                         : std::string()) +
                        ", " + std::to_string(r.walk.stoppedAt - r.mediaStart) + " of " +
                        std::to_string(r.inputSize - r.mediaStart) +
                        " bytes of media data; stopped at byte " + std::to_string(r.walk.stoppedAt) + ": " +
                        std::string(MediaDataWalker::describe(r.walk.stop));
            return r;
        }
        removeFolder();
        if (!unreadable.empty()) {
            // A pulled card is not a folder without references: say what could not be read.
            return fail(r, RepairStatus::CannotRead, "no reference could be read: " + unreadable);
        }
        if (!otherSettings.empty()) {
            return fail(r, RepairStatus::ReferenceMismatch,
                        "no whole recording near " + o.input +
                            " was made with its settings: " + otherSettings + "; name one with --reference");
        }
        return fail(r, RepairStatus::NoReference,
                    "no whole recording of the same camera and mode was found near " + o.input +
                        "; name one with --reference");
    } catch (const std::bad_alloc&) {
        return fail(r, RepairStatus::CannotRead, "out of memory while repairing " + o.input);
    } catch (const std::exception& e) {
        return fail(r, RepairStatus::CannotRead, std::string("cannot repair: ") + e.what());
    }
}

} // namespace nura
