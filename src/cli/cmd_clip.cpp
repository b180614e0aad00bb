// SPDX-License-Identifier: GPL-3.0-or-later
// nura clip FILE --start S --end S [-o OUT] --copy [--force]: a lossless cut of one camera's recording,
// written in the camera's own layout with the telemetry of the same span. The re-encoded video of both
// cameras is made by the media helper nura-media.

#include "cli/InterruptGuard.h"
#include "cli/commands.h"
#include "core/clip/CombinedClip.h"
#include "core/clip/LosslessClip.h"
#include "core/util/HelperProgram.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <unistd.h>
#include <utility>

namespace {

// "  42%  about 12 s left" on one line of a terminal, rewritten as the work goes.
class Progress {
public:
    Progress() : m_shown(::isatty(STDERR_FILENO) == 1), m_begun(std::chrono::steady_clock::now()) {}
    ~Progress() {
        if (m_shown && m_drawn) {
            std::fputs("\r\033[K", stderr);
        }
    }
    void show(double fraction) {
        if (!m_shown) {
            return;
        }
        const auto now = std::chrono::steady_clock::now();
        if (m_drawn && now - m_last < std::chrono::milliseconds(200) && fraction < 1.0) {
            return;
        }
        m_last = now;
        m_drawn = true;
        const double spent = std::chrono::duration<double>(now - m_begun).count();
        if (fraction > 0.02 && spent > 0.5) {
            const double left = spent / fraction * (1.0 - fraction);
            std::fprintf(stderr, "\r\033[K%3d%%  about %.0f s left", static_cast<int>(fraction * 100), left);
        } else {
            std::fprintf(stderr, "\r\033[K%3d%%", static_cast<int>(fraction * 100));
        }
        std::fflush(stderr);
    }

private:
    bool m_shown;
    bool m_drawn = false;
    std::chrono::steady_clock::time_point m_begun, m_last;
};

int clipExitStatus(nura::ClipStatus status) {
    using nura::ClipStatus;
    switch (status) {
    case ClipStatus::Done:
        return exitcode::kDone;
    case ClipStatus::BadSpan:
        return exitcode::kUsage;
    case ClipStatus::Cancelled:
    case ClipStatus::CannotRead:
    case ClipStatus::OutputExists:
    case ClipStatus::OutputIsInput:
    case ClipStatus::CannotWrite:
        return exitcode::kCannotAccess;
    case ClipStatus::Unavailable:
        return exitcode::kUnavailable;
    case ClipStatus::NotRecording:
    case ClipStatus::OtherSettings:
        break;
    }
    return exitcode::kNotOurFile;
}

// OUT when none is given: named for the clip's first moment.
std::optional<std::string> outputFor(const ClipArguments& a, bool combined) {
    if (!a.output.empty()) {
        return a.output;
    }
    const auto name = combined ? nura::CombinedClip::defaultName(a.file, a.start)
                               : nura::LosslessClip::defaultName(a.file, a.start);
    if (!name) {
        std::fprintf(stderr, "nura clip: %s carries no recording time in its name; give -o OUT\n",
                     a.file.c_str());
    }
    return name;
}

// Says why no clip was written and gives the exit status; an interruption is raised again.
int notMade(nura::ClipStatus status, const std::string& message, const std::string& output) {
    if (status == nura::ClipStatus::Cancelled) {
        std::fprintf(stderr, "nura clip: interrupted; %s was not written\n", output.c_str());
        InterruptGuard::reraise();
    } else {
        std::fprintf(stderr, "nura clip: %s\n", message.c_str());
    }
    return clipExitStatus(status);
}

} // namespace

int runClip(const ClipArguments& a) {
    for (const auto& [value, name] : {std::pair{a.start, "--start"}, std::pair{a.end, "--end"}}) {
        if (!std::isfinite(value)) {
            std::fprintf(stderr, "nura clip: %s must be a number of seconds, not %g\n", name, value);
            return exitcode::kUsage;
        }
    }
    if (!(a.start >= 0) || !(a.end >= 0) || a.start >= a.end) {
        std::fprintf(stderr, "nura clip: --start must be at least 0 and before --end\n");
        return exitcode::kUsage;
    }
    if (!a.copy) {
        return runCombinedClip(a);
    }
    const auto out = outputFor(a, false);
    if (!out) {
        return exitcode::kUsage;
    }
    const std::string& output = *out;
    InterruptGuard guard;
    Progress progress;
    nura::ClipOptions o;
    o.input = a.file;
    o.output = output;
    o.start = a.start;
    o.end = a.end;
    o.force = a.force;
    o.cancelled = [] { return InterruptGuard::interrupted(); };
    o.progress = [&](uint64_t done, uint64_t total) {
        progress.show(total == 0 ? 1.0 : static_cast<double>(done) / static_cast<double>(total));
    };
    const auto r = nura::LosslessClip::cut(o);
    if (r.status != nura::ClipStatus::Done) {
        return notMade(r.status, r.message, output);
    }
    std::printf("wrote %s: %llu frames, %.3f s from %.3f s of %s", output.c_str(),
                static_cast<unsigned long long>(r.frames), r.duration, r.firstFrame, a.file.c_str());
    if (r.sources.size() > 1) {
        std::printf(" on into %zu following recordings", r.sources.size() - 1);
    }
    std::printf("\n");
    for (const auto& warning : nura::LosslessClip::namingWarnings(output)) {
        std::fprintf(stderr, "nura clip: warning: %s\n", warning.c_str());
    }
    return exitcode::kDone;
}

int runCombinedClip(const ClipArguments& a) {
    const auto helper = nura::findMediaHelper();
    if (!helper) {
        std::fprintf(stderr, "nura clip: the media helper nura-media is not installed\n");
        return exitcode::kUnavailable;
    }
    const auto out = outputFor(a, true);
    if (!out) {
        return exitcode::kUsage;
    }
    const std::string& output = *out;
    InterruptGuard guard;
    nura::CombinedClipOptions o;
    o.input = a.file;
    o.output = output;
    o.start = a.start;
    o.end = a.end;
    o.force = a.force;
    o.look = a.look;
    o.gpx = a.gpx;
    o.showProgress = ::isatty(STDERR_FILENO) == 1;
    o.cancelled = [] { return InterruptGuard::interrupted(); };
    const auto r = nura::CombinedClip::make(o, *helper);
    if (r.status != nura::ClipStatus::Done) {
        return notMade(r.status, r.message, output);
    }
    std::printf("%s\n", r.message.c_str());
    return exitcode::kDone;
}
