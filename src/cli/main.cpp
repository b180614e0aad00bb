// SPDX-License-Identifier: GPL-3.0-or-later
// nura: the command-line twin of the viewer, for scripts, tests and power users.

#include "cli/commands.h"
#include "core/log.h"
#include "core/version.h"

#include <CLI/CLI.hpp>

#include <cstdlib>
#include <functional>
#include <iostream>
#include <string>

namespace {

using Runner = std::function<int()>;

// Every subcommand and its arguments, each with its own --help. The chosen one leaves its work in `run`.
void addCommands(CLI::App& nura, Runner& run) {
    auto* list =
        nura.add_subcommand("list", "The recordings below DIR, sorted by time and paired front/rear");
    auto listDir = std::make_shared<std::string>();
    auto listJson = std::make_shared<bool>(false);
    list->add_option("DIR", *listDir, "Folder of recordings (the card)")->required();
    auto listDrives = std::make_shared<bool>(false);
    list->add_flag("--json", *listJson, "A JSON array for scripts instead of the table");
    list->add_flag("--drives", *listDrives,
                   "The drives instead: runs of recordings back to back, with their length, distance, top "
                   "speed and events");
    list->callback([&run, listDir, listJson, listDrives] {
        run = [=] { return runList(*listDir, *listJson, *listDrives); };
    });

    auto* telemetry = nura.add_subcommand("telemetry", "A recording's G-sensor and GPS records");
    auto telemetryFile = std::make_shared<std::string>();
    auto telemetryFormat = std::make_shared<std::string>("text");
    telemetry->add_option("FILE", *telemetryFile, "The recording (.mp4)")->required();
    telemetry
        ->add_option("--format", *telemetryFormat, "text (a summary), csv, json or gpx (one point a fix)")
        ->check(CLI::IsMember({"text", "csv", "json", "gpx"}));
    telemetry->callback([&run, telemetryFile, telemetryFormat] {
        run = [=] { return runTelemetry(*telemetryFile, *telemetryFormat); };
    });

    auto* trip = nura.add_subcommand(
        "trip", "The trips on a card: the GPS fixes of its recordings joined into GPS tracks");
    auto tripDir = std::make_shared<std::string>();
    auto tripFormat = std::make_shared<std::string>("geojson");
    auto tripGap = std::make_shared<double>(5.0);
    trip->add_option("DIR", *tripDir, "Folder of recordings (the card)")->required();
    trip->add_option("--format", *tripFormat, "geojson (one feature a trip), gpx (one track a trip) or csv")
        ->check(CLI::IsMember({"geojson", "gpx", "csv"}));
    trip->add_option("--gap", *tripGap,
                     "A new trip starts where two fixes lie more than this many minutes apart (default 5)")
        ->check(CLI::Validator(
            [](std::string& text) {
                // Up to a year: a longer gap is a mistake, and larger values lose the millisecond.
                char* end = nullptr;
                const double minutes = std::strtod(text.c_str(), &end);
                const bool ok = !text.empty() && *end == '\0' && minutes > 0 && minutes <= 525600;
                return ok ? std::string() : "a number of minutes above 0 and at most 525600 is needed";
            },
            "MINUTES"));
    trip->callback([&run, tripDir, tripFormat, tripGap] {
        run = [=] { return runTrip(*tripDir, *tripFormat, *tripGap); };
    });

    auto* repair =
        nura.add_subcommand("repair", "Rebuild the index of a recording cut short by a power loss");
    auto repairFile = std::make_shared<std::string>();
    auto repairReference = std::make_shared<std::string>();
    auto repairOut = std::make_shared<std::string>();
    auto repairForce = std::make_shared<bool>(false);
    repair->add_option("FILE", *repairFile, "The cut recording (never written)")->required();
    repair->add_option(
        "--reference", *repairReference,
        "A whole recording of the same camera (default: the nearest one of the same side and mode)");
    repair->add_option("-o,--output", *repairOut,
                       "Where the repaired file goes (default: repaired/NAME beside FILE)");
    repair->add_flag("--force", *repairForce, "Replace an existing output file");
    repair->callback([&run, repairFile, repairReference, repairOut, repairForce] {
        run = [=] { return runRepair(*repairFile, *repairReference, *repairOut, *repairForce); };
    });

    auto* clip = nura.add_subcommand(
        "clip", "A clip of a recording: a lossless cut of one camera, or one video of both with the data "
                "drawn in");
    auto clipArgs = std::make_shared<ClipArguments>();
    auto noGpx = std::make_shared<bool>(false);
    clip->add_option("FILE", clipArgs->file, "The recording the clip starts in")->required();
    clip->add_option("--start", clipArgs->start, "Seconds from the start of FILE (decimals allowed)")
        ->required();
    clip->add_option("--end", clipArgs->end,
                     "Seconds from the start of FILE; past its end the clip goes on into the following "
                     "recordings")
        ->required();
    clip->add_option("-o,--output", clipArgs->output,
                     "Where the clip goes (default: named after its first moment, in this folder)");
    clip->add_flag("--copy", clipArgs->copy,
                   "A lossless cut of FILE's camera, in the camera's own layout with its telemetry");
    clip->add_flag("--force", clipArgs->force, "Replace an existing output file (never FILE)");
    // The words of each choice, as the plan of the media helper spells them; defaults from ClipLook.
    auto layoutWord = std::make_shared<std::string>(nura::wordFor(clipArgs->look.layout));
    auto cornerWord = std::make_shared<std::string>(nura::wordFor(clipArgs->look.corner));
    auto soundWord = std::make_shared<std::string>();
    const auto words = []<typename E>(std::initializer_list<E> values) {
        std::vector<std::string> names;
        for (const E v : values) {
            names.push_back(nura::wordFor(v));
        }
        return CLI::IsMember(names);
    };
    using nura::ClipCorner, nura::ClipLayout, nura::ClipSound;
    clip->add_option("--layout", *layoutWord,
                     "pip (rear inset in the front), side (side by side), front or rear (default pip)")
        ->check(words({ClipLayout::Inset, ClipLayout::SideBySide, ClipLayout::Front, ClipLayout::Rear}));
    clip->add_option("--corner", *cornerWord, "The inset's corner for pip: tl, tr, bl or br (default br)")
        ->check(words(
            {ClipCorner::TopLeft, ClipCorner::TopRight, ClipCorner::BottomLeft, ClipCorner::BottomRight}));
    clip->add_flag("--mirror-rear", clipArgs->look.mirrorRear, "Mirror the rear picture");
    clip->add_flag("--overlay,!--no-overlay", clipArgs->look.overlay,
                   "Draw a band with time, speed and G-force over the bottom (default on)");
    clip->add_option("--quality", clipArgs->look.quality,
                     "H.264 constant rate factor, 0-51, lower is better (20)")
        ->check(CLI::Range(0, 51));
    clip->add_option("--audio", *soundWord,
                     "front, rear or none (default: the camera that has sound, front first)")
        ->check(words({ClipSound::Front, ClipSound::Rear, ClipSound::None}));
    clip->add_flag("--no-gpx", *noGpx, "Write no GPX file of the clip's fixes beside the output");
    clip->callback([&run, clipArgs, noGpx, layoutWord, cornerWord, soundWord] {
        ClipArguments a = *clipArgs;
        a.gpx = !*noGpx;
        a.look.layout = nura::clipLayoutNamed(*layoutWord).value_or(a.look.layout);
        a.look.corner = nura::clipCornerNamed(*cornerWord).value_or(a.look.corner);
        a.look.sound = nura::clipSoundNamed(*soundWord).value_or(a.look.sound);
        run = [a] { return runClip(a); };
    });

    auto* config = nura.add_subcommand("config", "The camera's settings file (config.bin), field by field");
    config->require_subcommand(1);
    auto configFile = std::make_shared<std::string>();
    auto configJson = std::make_shared<bool>(false);
    auto configRaw = std::make_shared<bool>(false);
    auto assignments = std::make_shared<std::vector<std::string>>();
    auto* show = config->add_subcommand("show", "Every field of the file");
    show->add_option("FILE", *configFile, "The settings file")->required();
    show->add_flag("--json", *configJson, "A JSON object for scripts");
    show->callback(
        [&run, configFile, configJson] { run = [=] { return runConfigShow(*configFile, *configJson); }; });
    auto* reset = config->add_subcommand("reset", "Write the factory defaults (a missing file is created)");
    reset->add_option("FILE", *configFile, "The settings file")->required();
    auto configForce = std::make_shared<bool>(false);
    reset->add_flag(
        "--force", *configForce,
        "Replace a file that is not a 500-byte record, keeping a copy of it in the backups folder");
    reset->callback(
        [&run, configFile, configForce] { run = [=] { return runConfigReset(*configFile, *configForce); }; });
    auto* set = config->add_subcommand("set", "Change fields, checked as the settings window checks them");
    set->add_option("FILE", *configFile, "The settings file")->required();
    set->add_option("NAME=VALUE", *assignments, "Fields to change")->required();
    set->add_flag("--raw", *configRaw, "Store the values without the settings window's checks (repair)");
    set->callback([&run, configFile, assignments, configRaw] {
        run = [=] { return runConfigSet(*configFile, *assignments, *configRaw); };
    });

    auto* card = nura.add_subcommand("card", "The mounted USB volumes, the camera's card marked");
    card->require_subcommand(1);
    card->add_subcommand("list", "List them")->callback([&run] { run = [] { return runCardList(); }; });

    auto* drive = nura.add_subcommand("drive", "The camera's drive records (DrvInfo/nura_000.drv)");
    auto driveFile = std::make_shared<std::string>();
    auto driveFormat = std::make_shared<std::string>("text");
    drive->add_option("FILE", *driveFile, "The drive-record file")->required();
    drive->add_option("--format", *driveFormat, "text (a table) or csv (what the viewer's export writes)")
        ->check(CLI::IsMember({"text", "csv"}));
    drive->callback(
        [&run, driveFile, driveFormat] { run = [=] { return runDrive(*driveFile, *driveFormat); }; });

    auto* clock = nura.add_subcommand("clock", "Write the camera's clock file (timeset.cfg)");
    auto clockFile = std::make_shared<std::string>();
    auto clockTime = std::make_shared<std::string>();
    clock->add_option("FILE", *clockFile, "The clock file")->required();
    auto* when =
        clock->add_option("TIME", *clockTime, "\"YYYY-MM-DD HH:MM:SS\", as given (default: now, local)");
    clock->callback([&run, clockFile, clockTime, when] {
        const std::optional<std::string> given =
            when->count() > 0 ? std::optional<std::string>(*clockTime) : std::nullopt;
        run = [=] { return runClock(*clockFile, given); };
    });
}

} // namespace

int main(int argc, char** argv) {
    CLI::App nura("The command-line twin of nura-viewer: the recordings, telemetry and settings of a dash\n"
                  "camera's card, for scripts.",
                  "nura");
    nura.set_version_flag("--version", std::string("nura ") + nura::kVersion);
    nura.require_subcommand(1);
    nura.footer(kExitStatusTable);
    bool verbose = false;
    nura.add_flag("--verbose", verbose, "Also print the diagnostic log lines on standard error");
    Runner run;
    addCommands(nura, run);
    try {
        nura.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) { // --help and --version
            return nura.exit(e);
        }
        // One line naming the command as far as it was understood, and where its usage is.
        std::string name = "nura";
        for (const CLI::App* app = &nura; !app->get_subcommands().empty();) {
            app = app->get_subcommands().front();
            name += " " + app->get_name();
        }
        std::cerr << name << ": " << e.what() << " (usage: " << name << " --help)\n";
        return exitcode::kUsage;
    }
    // One clear message per failure is the tool's output; the log lines behind it are for a closer look.
    if (!verbose) {
        nura::setLogSink([](std::string_view) {});
    }
    return run ? run() : exitcode::kUsage;
}
