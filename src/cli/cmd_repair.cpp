// SPDX-License-Identifier: GPL-3.0-or-later
// nura repair FILE [--reference GOOD] [-o OUT] [--force]: rebuilds the index of a recording cut short
// by a power loss, from its media data and a whole recording of the same camera. FILE is never
// written; OUT defaults to repaired/NAME beside it. The trial decode runs in the helper nura-media.

#include "cli/InterruptGuard.h"
#include "cli/commands.h"
#include "core/repair/RecordingRepair.h"
#include "core/repair/TrialDecoder.h"

#include <cstdio>

namespace {

nura::RepairResult repairWithHelper(const std::string& helper, nura::RepairOptions options) {
    nura::TrialDecoder decoder(helper); // loads its libraries while the repair reads
    options.trialDecode = [&](const std::string& file) { return decoder.check(file); };
    options.trialDecodeAhead = [&](const std::string& file) { decoder.ahead(file); };
    return nura::RecordingRepair::repair(options);
}

} // namespace

int runRepair(const std::string& path, const std::string& reference, const std::string& output, bool force) {
    const auto helper = nura::TrialDecoder::findHelper();
    if (!helper) {
        std::fprintf(stderr, "nura repair: the media helper nura-media is not installed\n");
        return exitcode::kUnavailable;
    }
    InterruptGuard guard(InterruptGuard::Calls::Restarted);
    nura::RepairOptions options;
    options.input = path;
    options.reference = reference;
    options.output = output;
    options.force = force;
    options.cancelled = [] { return InterruptGuard::interrupted(); };
    // The helper has ended by the time an interruption is raised again.
    const auto result = repairWithHelper(*helper, options);

    using nura::RepairStatus;
    switch (result.status) {
    case RepairStatus::Repaired:
        std::printf("repaired: %s\nreference: %s\n%s\n", result.output.c_str(), result.reference.c_str(),
                    result.message.c_str());
        if (result.soundLeftOut) {
            std::printf("sound is not recovered: the repaired file has no sound track\n");
        }
        return exitcode::kDone;
    case RepairStatus::NothingToRepair:
        std::printf("%s\n", result.message.c_str());
        return exitcode::kDone;
    case RepairStatus::Cancelled:
        std::fprintf(stderr, "nura repair: %s\n", result.message.c_str());
        InterruptGuard::reraise();
        return exitcode::kCannotAccess;
    case RepairStatus::CannotRead:
    case RepairStatus::CannotWrite:
    case RepairStatus::OutputExists:
    case RepairStatus::OutputIsInput:
        std::fprintf(stderr, "nura repair: %s\n", result.message.c_str());
        return exitcode::kCannotAccess;
    case RepairStatus::DecoderMissing:
        std::fprintf(stderr, "nura repair: %s\n", result.message.c_str());
        return exitcode::kUnavailable;
    case RepairStatus::NotRecording:
    case RepairStatus::NoReference:
    case RepairStatus::ReferenceOtherSide:
    case RepairStatus::ReferenceUnusable:
    case RepairStatus::ReferenceMismatch:
    case RepairStatus::OutputNotRegular:
    case RepairStatus::DoesNotDecode:
    case RepairStatus::NothingRecovered:
        break;
    }
    std::fprintf(stderr, "nura repair: %s\n", result.message.c_str());
    return exitcode::kNotOurFile;
}
