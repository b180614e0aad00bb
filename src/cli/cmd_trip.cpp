// SPDX-License-Identifier: GPL-3.0-or-later
// nura trip DIR [--format geojson|gpx|csv] [--gap MINUTES]: the trips on a card, joined from the GPS
// fixes of its recordings into GPS tracks. Recordings are read on every core and the trips are written as
// they complete, so neither the card's size nor a trip's length decides the memory used.

#include "cli/StreamOutput.h"
#include "cli/commands.h"
#include "core/log.h"
#include "core/media/ORBMediaList.h"
#include "core/trip/TripExportWriter.h"
#include "core/trip/TripJoiner.h"
#include "core/trip/TripRecordingReader.h"
#include "core/trip/TripRecordings.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

namespace {

struct WriteFailed {};

const char* recordingsWord(size_t n) {
    return n == 1 ? "recording" : "recordings";
}

} // namespace

int runTrip(const std::string& dir, const std::string& format, double gapMinutes) {
    DIR* handle = ::opendir(dir.c_str());
    if (!handle) {
        std::fprintf(stderr, "nura trip: cannot read folder '%s': %s\n", dir.c_str(), std::strerror(errno));
        return exitcode::kCannotAccess;
    }
    ::closedir(handle);
    std::error_code ec;
    std::filesystem::path root = std::filesystem::absolute(dir, ec).lexically_normal();
    if (!root.has_filename()) {
        root = root.parent_path();
    }

    StreamOutput out;
    size_t withoutTelemetry = 0;
    size_t unreadable = 0;
    std::string firstUnreadable;
    size_t refused = 0; // recordings whose reads the card refused
    std::string firstRefused;
    size_t truncated = 0;
    std::string firstTruncated;
    try {
        const auto contents = ORBMediaList::scanDirectory(root.string());
        const auto recordings = nura::tripRecordings(contents.medias, contents.pairs);
        std::vector<std::string> paths;
        paths.reserve(recordings.size());
        for (const auto& m : recordings) {
            paths.push_back(m->path);
        }
        const auto writer = nura::TripExportWriter::make(
            nura::tripFormatNamed(format).value_or(nura::TripFormat::GeoJson),
            [&out](std::string_view text) { out.write(text); }, root.filename().string());
        nura::TripJoiner joiner(*writer, gapMinutes);
        writer->begin();
        nura::TripRecordingReader::readInOrder(
            paths, nura::TripRecordingReader::defaultWorkers(), [&](size_t i, nura::RecordingFixes&& read) {
                if (read.error == nura::ORBTelemetryError::ReadFailed) {
                    if (refused++ == 0) {
                        firstRefused = recordings[i]->fileName();
                    }
                } else if (read.error != nura::ORBTelemetryError::None) {
                    if (unreadable++ == 0) {
                        firstUnreadable.assign(recordings[i]->fileName())
                            .append(": ")
                            .append(nura::describe(read.error));
                    }
                } else if (read.records == 0) {
                    ++withoutTelemetry;
                } else {
                    if (read.truncated && truncated++ == 0) {
                        firstTruncated = recordings[i]->fileName();
                    }
                    joiner.addRecording(recordings[i]->fileName(), read.fixes);
                }
                if (!out.ok()) {
                    throw WriteFailed{}; // no reader left: stop reading the card
                }
            });
        joiner.finish();
        writer->end();
    } catch (const WriteFailed&) {
    } catch (const std::bad_alloc&) {
        std::fflush(stdout);
        std::fprintf(stderr, "nura trip: not enough memory to export the trips\n");
        return exitcode::kCannotAccess;
    }
    if (!out.finish()) {
        std::fprintf(stderr, "nura trip: cannot write the output\n");
        return exitcode::kCannotAccess;
    }
    if (withoutTelemetry > 0) {
        std::fprintf(stderr, "nura trip: %zu %s without telemetry skipped\n", withoutTelemetry,
                     recordingsWord(withoutTelemetry));
    }
    if (truncated > 0) {
        // Their fixes are in the export; the user should still know part of the trip is missing.
        std::fprintf(stderr, "nura trip: %zu %s truncated: the fixes before the cut are used (first: %s)\n",
                     truncated, recordingsWord(truncated), firstTruncated.c_str());
    }
    if (unreadable > 0) {
        std::fprintf(stderr, "nura trip: %zu %s skipped: the telemetry cannot be read (first: %s)\n",
                     unreadable, recordingsWord(unreadable), firstUnreadable.c_str());
    }
    if (refused > 0) {
        // A pulled card or a failing medium: the export is written but lacks these, so it is not done.
        std::fprintf(stderr,
                     "nura trip: %zu %s could not be read, the card refused a read (first: %s); "
                     "the export lacks them\n",
                     refused, recordingsWord(refused), firstRefused.c_str());
        return exitcode::kCannotAccess;
    }
    return exitcode::kDone;
}
