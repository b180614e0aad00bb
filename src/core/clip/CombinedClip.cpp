// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/clip/CombinedClip.h"

#include "core/clip/LosslessClip.h"

#include "core/media/ORBMedia.h"
#include "core/telemetry/ConvertNmeaCoordinates.h"
#include "core/telemetry/GpsFixes.h"
#include "core/telemetry/ORBBlackBoxData.h"
#include "core/util/ExportText.h"
#include "core/util/SafeFile.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace nura {
namespace {

namespace fs = std::filesystem;

CombinedClipResult fail(ClipStatus status, std::string message) {
    return {status, std::move(message), {}};
}

std::string number(double v) {
    char text[48];
    std::snprintf(text, sizeof text, "%.6f", v);
    return text;
}

// The camera's clock at the start of `path`, from its name, as seconds since 1970 read as UTC.
long long nameClock(const std::string& path) {
    return static_cast<long long>(ORBMedia(path).nameSeconds().value_or(0));
}

// The band's records of one recording, and its GPX points inside [from, to) of the clip. False when
// the system refused a read: a band without the car's data would pass for a drive that had none.
bool addTelemetry(const ClipPiece& piece, double from, double to, std::string& plan, std::string& points) {
    ORBBlackBoxData data;
    if (!data.ExtractStreamInformation(piece.path) || data.gSensors().empty()) {
        return data.lastError() != ORBTelemetryError::ReadFailed;
    }
    const size_t count = data.gSensors().size();
    plan +=
        "data " + number(piece.offset) + " " + number(piece.duration) + " " + std::to_string(count) + "\n";
    for (size_t i = 0; i < count; ++i) {
        const bool kmh = i < data.gpsData().size() ? data.gpsData()[i].isKilometresPerHour() : true;
        const ORBGpsData* state = data.gpsStateForRecord(i);
        const double knots = state != nullptr && state->gpsValid ? state->SpeedOverGround : 0.0;
        const auto& g = data.gSensors()[i];
        plan += number(knots * (kmh ? 1.852 : 1.150779)) + (kmh ? " km/h " : " mph ") + number(g.x()) + " " +
                number(g.y()) + " " + number(g.z()) + "\n";
    }
    // GPX: each fix once, placed in time by its record, as playback places it.
    const auto& states = data.nmeas();
    for (size_t i = 0; i < states.size(); ++i) {
        if (!isFixState(states, i)) {
            continue;
        }
        const double at =
            piece.offset + piece.duration * static_cast<double>(i) / static_cast<double>(states.size());
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

// Runs the helper with the plan on its standard input; its exit status, or -1 when it cannot be run.
int runHelper(const std::string& helper, const std::string& plan, bool showProgress,
              const std::function<bool()>& cancelled, const std::function<void(double)>& progress) {
    int pipeFds[2];
    int reportFds[2] = {-1, -1};
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        return -1;
    }
    if (progress && ::pipe2(reportFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        reportFds[0] = reportFds[1] = -1;
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        if (reportFds[0] >= 0) {
            ::close(reportFds[0]);
            ::close(reportFds[1]);
        }
        return -1;
    }
    if (pid == 0) {
        ::dup2(pipeFds[0], STDIN_FILENO);
        if (reportFds[1] >= 0) {
            ::dup2(reportFds[1], STDOUT_FILENO);
        } else {
            const int null = ::open("/dev/null", O_WRONLY);
            if (null >= 0) {
                ::dup2(null, STDOUT_FILENO);
            }
        }
        if (!showProgress) {
            const int null = ::open("/dev/null", O_WRONLY);
            if (null >= 0 && ::isatty(STDERR_FILENO)) {
                ::dup2(null, STDERR_FILENO);
            }
        }
        ::execl(helper.c_str(), helper.c_str(), "clip", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(pipeFds[0]);
    if (reportFds[1] >= 0) {
        ::close(reportFds[1]);
    }
    // The plan is small next to the pipe's buffer only for short clips; a broken pipe must not end us.
    const auto oldPipe = std::signal(SIGPIPE, SIG_IGN);
    size_t done = 0;
    while (done < plan.size()) {
        const ssize_t n = ::write(pipeFds[1], plan.data() + done, plan.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += static_cast<size_t>(n);
    }
    ::close(pipeFds[1]);
    std::signal(SIGPIPE, oldPipe);
    int status = 0;
    bool told = false;
    while (true) {
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) {
            break;
        }
        if (r < 0 && errno != EINTR) {
            return -1;
        }
        if (!told && cancelled && cancelled()) {
            ::kill(pid, SIGTERM);
            told = true;
        }
        if (reportFds[0] >= 0) {
            char buffer[512];
            const ssize_t n = ::read(reportFds[0], buffer, sizeof buffer - 1);
            if (n > 0) {
                buffer[n] = '\0';
                // The last whole report in what arrived.
                const char* last = nullptr;
                for (const char* at = std::strstr(buffer, "done "); at != nullptr;
                     at = std::strstr(at + 1, "done ")) {
                    last = at;
                }
                if (last != nullptr) {
                    progress(std::atof(last + 5));
                }
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (reportFds[0] >= 0) {
        ::close(reportFds[0]);
    }
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
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
    const bool needFront = o.layout != "rear";
    const bool needRear = o.layout != "front";
    if (needFront && front.empty()) {
        return fail(ClipStatus::NotRecording, "no front recording beside " + o.input + " (layout " +
                                                  o.layout + " needs the front camera)");
    }
    if (needRear && rear.empty()) {
        return fail(ClipStatus::NotRecording, "no rear recording beside " + o.input + " (layout " + o.layout +
                                                  " needs the rear camera)");
    }
    const ClipChain frontFound = front.empty() ? ClipChain{} : LosslessClip::chainFrom(front, o.end);
    const ClipChain rearFound = rear.empty() ? ClipChain{} : LosslessClip::chainFrom(rear, o.end);
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
    if ((needFront && frontChain.empty()) || (needRear && rearChain.empty())) {
        return fail(ClipStatus::NotRecording,
                    (needFront && frontChain.empty() ? front : rear) +
                        " is not a recording with a whole index (truncated? `nura repair` rebuilds it)");
    }
    const auto& leadChain = needFront ? frontChain : rearChain;
    if (o.start >= leadChain.front().duration) {
        return fail(ClipStatus::BadSpan, "the start lies past the end of " + leadChain.front().path);
    }
    std::error_code ec;
    if (fs::exists(o.output, ec)) {
        if (fs::equivalent(o.output, o.input, ec) ||
            (!partner.empty() && fs::equivalent(o.output, partner, ec))) {
            return fail(ClipStatus::OutputIsInput, "the output would replace a recording it is made from");
        }
        if (!o.force) {
            return fail(ClipStatus::OutputExists, o.output + " exists (--force replaces it)");
        }
    }

    const std::string gpxPath = fs::path(o.output).replace_extension(".gpx").string();
    if (o.gpx && fs::exists(gpxPath, ec) && !o.force) {
        return fail(ClipStatus::OutputExists, gpxPath + " exists (--force replaces it, or --no-gpx)");
    }

    SafeFileWriter out(o.output);
    if (const FileStatus opened = out.begin(); !opened.ok() || out.fd() < 0) {
        return fail(ClipStatus::CannotWrite, "cannot write " + o.output + ": " + opened.describe());
    }
    std::string audio = o.audio;
    if (audio.empty()) {
        audio = "auto"; // the helper takes the front's sound, else the rear's, else none
    }
    std::string plan = "out " + out.temporaryPath() + "\nspan " + number(o.start) + " " + number(o.end) +
                       "\nlayout " + o.layout + "\ncorner " + o.corner + "\nmirror " +
                       (o.mirrorRear ? "1" : "0") + "\noverlay " + (o.overlay ? "1" : "0") + "\ncrf " +
                       std::to_string(o.quality) + "\npreset " + kPreset + "\naudio " + audio + "\nclock " +
                       std::to_string(nameClock(front.empty() ? rear : front)) + "\n";
    for (const auto& p : frontChain) {
        plan += "front " + p.path + " " + number(p.offset) + "\n";
    }
    for (const auto& p : rearChain) {
        plan += "rear " + p.path + " " + number(p.offset) + "\n";
    }
    std::string points;
    // The band shows the front camera's telemetry (the camera keeps it there), else the rear's.
    bool anyData = false;
    for (const auto* chain : {&frontChain, &rearChain}) {
        if (anyData) {
            break;
        }
        for (const auto& p : *chain) {
            const size_t before = plan.size();
            if (!addTelemetry(p, o.start, o.end, plan, points)) {
                return fail(ClipStatus::CannotRead, "cannot read " + p.path + ": the card refused a read");
            }
            anyData = anyData || plan.size() != before;
        }
    }
    if (o.progress) {
        plan += "report 1\n";
    }
    plan += "end\n";

    const int status = runHelper(helper, plan, o.showProgress, o.cancelled, o.progress);
    if (o.cancelled && o.cancelled()) {
        return fail(ClipStatus::Cancelled, "cancelled; nothing was written");
    }
    switch (status) {
    case 0:
        break;
    case -1:
    case 127:
        return fail(ClipStatus::Unavailable, "the media helper " + helper + " cannot be run");
    case 1:
        return fail(ClipStatus::CannotWrite, "cannot write " + o.output);
    case 3:
        return fail(ClipStatus::CannotRead, "cannot read a recording of the clip: the card refused a read");
    case 130:
    case 128 + SIGTERM:
        return fail(ClipStatus::Cancelled, "cancelled; nothing was written");
    default:
        return fail(ClipStatus::NotRecording, "the recordings of the clip do not decode");
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
