// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/clip/CombinedClip.h"

#include "core/clip/LosslessClip.h"

#include "core/media/ORBMedia.h"
#include "core/telemetry/ConvertNmeaCoordinates.h"
#include "core/telemetry/GpsFixes.h"
#include "core/telemetry/ORBBlackBoxData.h"
#include "core/util/ExportText.h"
#include "core/util/HelperProgram.h"
#include "core/util/OutputCheck.h"
#include "core/util/SafeFile.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace nura {
namespace {

namespace fs = std::filesystem;

CombinedClipResult fail(ClipStatus status, std::string message) {
    return {status, std::move(message), {}};
}

// The camera's clock at the start of `path`, from its name, as seconds since 1970 read as UTC.
long long nameClock(const std::string& path) {
    return static_cast<long long>(ORBMedia(path).nameSeconds().value_or(0));
}

// For each record, how many GPS states the records up to and including it produced: the reader keeps
// one state per sentence, and a record may hold none, one or several.
std::vector<size_t> statesUpTo(const ORBBlackBoxData& data) {
    std::vector<size_t> ends;
    ends.reserve(data.gpsData().size());
    for (size_t k = 0; k < data.gpsData().size(); ++k) {
        const ORBGpsData* own = data.ownGpsStateForRecord(k);
        ends.push_back(own != nullptr ? static_cast<size_t>(own - data.nmeas().data()) + 1 : 0);
    }
    return ends;
}

// The band's records of one recording, and its GPX points inside [from, to) of the clip. False when
// the system refused a read: a band without the car's data would pass for a drive that had none.
// Each record shows its own GPS state (the last its own sentences produced, else the one before), and
// each fix lies at the moment of the record that first gave its time, records placed as playback
// places them.
bool addTelemetry(const ClipPiece& piece, double from, double to, ClipPlan& plan, std::string& points) {
    ORBBlackBoxData data;
    if (!data.ExtractStreamInformation(piece.path) || data.gSensors().empty()) {
        return data.lastError() != ORBTelemetryError::ReadFailed;
    }
    const auto& states = data.nmeas();
    const std::vector<size_t> ends = statesUpTo(data);
    const size_t count = data.gSensors().size();
    BandData band{piece.offset, piece.duration, {}};
    band.records.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const bool kmh = i < data.gpsData().size() ? data.gpsData()[i].isKilometresPerHour() : true;
        const ORBGpsData* state = data.ownGpsStateForRecord(i);
        const double knots = state != nullptr && state->gpsValid ? state->SpeedOverGround : 0.0;
        const auto& g = data.gSensors()[i];
        band.records.push_back({knots * (kmh ? 1.852 : 1.150779), kmh, g.x(), g.y(), g.z()});
    }
    plan.data.push_back(std::move(band));
    for (size_t i = 0; i < states.size() && !ends.empty(); ++i) {
        if (!isFixState(states, i)) {
            continue;
        }
        // The fix's moment is that of the record whose sentence first gave its time: the states after
        // it in the same second only add to it, and may lie in the next second's records.
        size_t first = i;
        while (first > 0 && states[first - 1].gpsValid != 0 && states[first - 1].Now == states[i].Now) {
            --first;
        }
        const auto record =
            static_cast<size_t>(std::upper_bound(ends.begin(), ends.end(), first) - ends.begin());
        const double at =
            piece.offset + piece.duration * static_cast<double>(record) / static_cast<double>(count);
        if (at < from || at >= to) {
            continue;
        }
        const auto p = decimalPosition(states[i]);
        points +=
            "      <trkpt lat=\"" + sixDecimals(p.latitude) + "\" lon=\"" + sixDecimals(p.longitude) + "\">";
        const std::string utc = utcText(states[i].Now);
        if (!utc.empty()) {
            points += "<time>" + utc + "</time>";
        }
        points += "</trkpt>\n";
    }
    return true;
}

struct HelperOutcome {
    int status = -1;    // the helper's exit status, -1 when it cannot be run
    int writeError = 0; // the errno of a failed write, as the helper reported it
};

// Runs `nura-media clip` with the plan on its standard input. The socket stays open until the helper
// ends: its closing, when this process dies, tells the helper to stop.
HelperOutcome runHelper(const std::string& helper, const ClipPlan& plan, bool showProgress,
                        const std::function<bool()>& cancelled, const std::function<void(double)>& progress) {
    HelperOutcome outcome;
    HelperProcess child;
    // The helper's messages reach a user who runs nura in a script; on the terminal of a viewer
    // started from one, its progress line would only be noise.
    if (!child.start(helper, {"clip"}, showProgress || ::isatty(STDERR_FILENO) == 0)) {
        return outcome;
    }
    child.send(plan.encode()); // a helper that has gone already says why through its status
    bool told = false;
    std::string line;
    while (true) {
        const auto read = child.readLine(line, 50);
        if (read == HelperProcess::Read::Ended) {
            break;
        }
        if (!told && cancelled && cancelled()) {
            child.signal(SIGTERM);
            told = true;
        }
        if (read != HelperProcess::Read::Line) {
            continue;
        }
        if (line.starts_with("done ") && progress) {
            progress(std::atof(line.c_str() + 5));
        } else if (line.starts_with("write-error ")) {
            outcome.writeError = std::atoi(line.c_str() + 12);
        }
    }
    outcome.status = child.wait();
    return outcome;
}

// Whether the helper's file is a clip: not empty, and its first frames decode (checked by another run
// of the helper, so that a file put elsewhere, or left empty, is never taken for the clip).
std::optional<std::string> whyNotAClip(const std::string& helper, const std::string& path, int fd) {
    struct stat st {};
    if (fd >= 0 && ::fstat(fd, &st) == 0 && st.st_size == 0) {
        return "the media helper left it empty";
    }
    HelperProcess check;
    if (!check.start(helper, {"decode-check", "--", path}, false)) {
        return "the media helper cannot be run to check it";
    }
    check.endInput();
    return check.wait() == 0 ? std::nullopt : std::optional<std::string>("what was written does not decode");
}

// The other camera's recording beside each of `lead`, at the same place on the timeline; a recording
// without one is passed over. Stops, as a chain does, at one that cannot be used.
ClipChain partnersOf(const std::vector<ClipPiece>& lead) {
    ClipChain out;
    for (const auto& piece : lead) {
        const std::string other = CombinedClip::partnerOf(piece.path);
        if (other.empty()) {
            continue;
        }
        ClipChain found = LosslessClip::chainFrom(other, 0);
        if (found.stop != ClipStatus::Done) {
            out.stop = found.stop;
            out.path = std::move(found.path);
            out.reason = std::move(found.reason);
            return out;
        }
        ClipPiece placed = found.pieces.front();
        placed.offset = piece.offset;
        out.pieces.push_back(std::move(placed));
    }
    return out;
}

} // namespace

std::optional<std::string> CombinedClip::defaultName(const std::string& input, double offset) {
    const auto name = LosslessClip::recordingName(input, offset);
    if (!name) {
        return std::nullopt;
    }
    return "clip_" + name->substr(6, 15) + ".mp4";
}

std::string CombinedClip::partnerOf(const std::string& path) {
    const fs::path p(path);
    std::string base = p.stem().string();
    if (base.size() < 2 || (!base.ends_with("_F") && !base.ends_with("_R"))) {
        return {};
    }
    base.back() = base.back() == 'F' ? 'R' : 'F';
    std::error_code ec;
    for (const char* ext : {"", ".MP4", ".mp4", ".Mp4"}) {
        const fs::path candidate =
            p.parent_path() / (base + (*ext ? std::string(ext) : p.extension().string()));
        if (fs::is_regular_file(candidate, ec)) {
            return candidate.string();
        }
    }
    return {};
}

CombinedClipResult CombinedClip::make(const CombinedClipOptions& o, const std::string& helper) {
    if (!std::isfinite(o.start) || !std::isfinite(o.end) || o.start < 0 || o.start >= o.end) {
        return fail(ClipStatus::BadSpan, "the start must be at least 0 and before the end");
    }
    const auto file = ReadableFile::open(o.input);
    if (!file.ok()) {
        return fail(file.status().fault == FileFault::NotRegular ? ClipStatus::NotRecording
                                                                 : ClipStatus::CannotRead,
                    file.status().fault == FileFault::NotRegular
                        ? o.input + " is not a regular file"
                        : "cannot read " + o.input + ": " + file.status().describe());
    }
    const ORBMedia me(o.input);
    const bool inputIsRear = me.isRearMedia() && fs::path(o.input).stem().string().ends_with("_R");
    const std::string partner = partnerOf(o.input);
    const std::string front = inputIsRear ? partner : o.input;
    const std::string rear = inputIsRear ? o.input : partner;
    const std::string layout = wordFor(o.look.layout);
    const bool needFront = o.look.layout != ClipLayout::Rear;
    const bool needRear = o.look.layout != ClipLayout::Front;
    if (needFront && front.empty()) {
        return fail(ClipStatus::NotRecording, "no front recording beside " + o.input + " (layout " + layout +
                                                  " needs the front camera)");
    }
    if (needRear && rear.empty() && !needFront) {
        return fail(ClipStatus::NotRecording,
                    "no rear recording beside " + o.input + " (layout " + layout + " needs the rear camera)");
    }
    // The leading camera's chain runs as far as the span; the other camera's recordings are the
    // partners of its recordings, each placed where its partner lies, so that one missing leaves a
    // hole rather than pulling the later ones forward, and one shorter than its partner ends early.
    const std::string& leadFile = needFront ? front : rear;
    const ClipChain leadFound = LosslessClip::chainFrom(leadFile, o.end);
    const ClipChain otherFound = partnersOf(leadFound.pieces);
    const ClipChain& frontFound = needFront ? leadFound : otherFound;
    const ClipChain& rearFound = needFront ? otherFound : leadFound;
    // A span that runs into a recording cut short is refused, as the lossless cut refuses it, rather
    // than ending early without a word; one the card refuses to read is said to be unreadable.
    for (const ClipChain* found : {&frontFound, &rearFound}) {
        if (found->stop != ClipStatus::Done) {
            return fail(found->stop, found->stop == ClipStatus::CannotRead
                                         ? "cannot read " + found->path + ": " + found->reason
                                         : (found->pieces.empty() ? "" : "the clip goes on into ") +
                                               found->path + " " + found->reason);
        }
    }
    const auto& frontChain = frontFound.pieces;
    const auto& rearChain = rearFound.pieces;
    if (leadFound.pieces.empty()) {
        return fail(ClipStatus::NotRecording,
                    leadFile +
                        " is not a recording with a whole index (truncated? `nura repair` rebuilds it)");
    }
    if (needRear && rearChain.empty()) {
        return fail(ClipStatus::NotRecording,
                    "no rear recording beside " + o.input + " (layout " + layout + " needs the rear camera)");
    }
    const auto& leadChain = needFront ? frontChain : rearChain;
    if (o.start >= leadChain.front().duration) {
        return fail(ClipStatus::BadSpan, "the start lies past the end of " + leadChain.front().path);
    }
    // No output may take the place of a recording the clip reads, whichever camera's chain it is in:
    // not by its name, a link or a hard link, and not even with --force.
    const std::string gpxPath = fs::path(o.output).replace_extension(".gpx").string();
    std::vector<std::string> inputs;
    for (const auto* chain : {&frontChain, &rearChain}) {
        for (const auto& p : *chain) {
            inputs.push_back(p.path);
        }
    }
    for (const std::string& target : {o.output, gpxPath}) {
        if (const auto input = outputAmongInputs(target, inputs)) {
            return fail(ClipStatus::OutputIsInput,
                        target + " is " + *input +
                            ", a recording the clip is made from; it is never replaced");
        }
    }
    // A FIFO, device or folder in an output's place is refused at once, as a target of every command is.
    for (const std::string& target : {o.output, gpxPath}) {
        struct stat st {};
        if ((target == o.output || o.gpx) && ::lstat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode) &&
            !S_ISLNK(st.st_mode)) {
            return fail(ClipStatus::NotRecording,
                        target + (S_ISDIR(st.st_mode) ? " is a folder" : " is not a regular file") +
                            ", so no clip can be written there");
        }
    }
    std::error_code ec;
    if (fs::exists(o.output, ec) && !o.force) {
        return fail(ClipStatus::OutputExists, o.output + " exists (--force replaces it)");
    }
    if (o.gpx && fs::exists(gpxPath, ec) && !o.force) {
        return fail(ClipStatus::OutputExists, gpxPath + " exists (--force replaces it, or --no-gpx)");
    }

    SafeFileWriter out(o.output);
    if (const FileStatus opened = out.begin(); !opened.ok() || out.fd() < 0) {
        return fail(opened.fault == FileFault::NotRegular ? ClipStatus::NotRecording
                                                          : ClipStatus::CannotWrite,
                    "cannot write " + o.output + ": " + opened.describe());
    }
    ClipPlan plan;
    plan.out = out.temporaryPath();
    plan.start = o.start;
    plan.end = o.end;
    plan.look = o.look;
    plan.clock = nameClock(front.empty() ? rear : front);
    plan.report = static_cast<bool>(o.progress);
    for (const auto& p : frontChain) {
        plan.front.push_back({p.path, p.offset, p.duration});
    }
    for (const auto& p : rearChain) {
        plan.rear.push_back({p.path, p.offset, p.duration});
    }
    std::string points;
    // The band shows the front camera's telemetry (the camera keeps it there), else the rear's.
    for (const auto* chain : {&frontChain, &rearChain}) {
        if (!plan.data.empty()) {
            break;
        }
        for (const auto& p : *chain) {
            if (!addTelemetry(p, o.start, o.end, plan, points)) {
                return fail(ClipStatus::CannotRead, "cannot read " + p.path + ": the card refused a read");
            }
        }
    }

    const HelperOutcome helped = runHelper(helper, plan, o.showProgress, o.cancelled, o.progress);
    if (o.cancelled && o.cancelled()) {
        return fail(ClipStatus::Cancelled, "cancelled; nothing was written");
    }
    switch (helped.status) {
    case 0:
        break;
    case -1:
    case 127:
        return fail(ClipStatus::Unavailable, "the media helper " + helper + " cannot be run");
    case 1:
        return fail(
            ClipStatus::CannotWrite,
            "cannot write " + o.output +
                (helped.writeError != 0 ? ": " + describeWriteError(helped.writeError) : std::string()));
    case 3:
        return fail(ClipStatus::CannotRead, "cannot read a recording of the clip: the card refused a read");
    case 130:
    case 128 + SIGTERM:
        return fail(ClipStatus::Cancelled, "cancelled; nothing was written");
    default:
        return fail(ClipStatus::NotRecording, "the recordings of the clip do not decode");
    }
    if (const auto why = whyNotAClip(helper, out.temporaryPath(), out.fd())) {
        return fail(ClipStatus::CannotWrite, "cannot write " + o.output + ": " + *why);
    }
    CombinedClipResult r;
    if (o.gpx) {
        r.gpxPath = gpxPath;
        const std::string name = xmlText(fs::path(o.output).filename().string());
        const std::string gpx =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<gpx version=\"1.1\" creator=\"nura\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
            "  <metadata><name>" +
            name + "</name></metadata>\n  <trk>\n    <name>" + name + "</name>\n    <trkseg>\n" + points +
            "    </trkseg>\n  </trk>\n</gpx>\n";
        const auto written = writeFileSafely(r.gpxPath, gpx);
        if (!written.ok()) {
            return fail(ClipStatus::CannotWrite, "cannot write " + r.gpxPath + ": " + written.describe());
        }
    }
    const FileStatus committed =
        out.commit(o.force ? SafeFileWriter::Replace::Always : SafeFileWriter::Replace::Never);
    if (!committed.ok()) {
        if (!r.gpxPath.empty()) {
            ::unlink(r.gpxPath.c_str());
        }
        return fail(committed.error == EEXIST ? ClipStatus::OutputExists : ClipStatus::CannotWrite,
                    "cannot write " + o.output + ": " + committed.describe());
    }
    r.message = "wrote " + o.output + (r.gpxPath.empty() ? std::string() : " and " + r.gpxPath);
    return r;
}

} // namespace nura
