// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/trip/DriveListing.h"

#include "core/media/RecordingLength.h"
#include "core/telemetry/ORBEventMarkers.h"
#include "core/trip/TripJoiner.h"
#include "core/trip/TripRecordingReader.h"

#include <algorithm>
#include <new>
#include <unordered_map>

namespace nura {
namespace {

struct RecordingRead {
    RecordingLength front, rear;
    RecordingFixes telemetry;
    size_t markers = 0;
};

// Sums the trips a drive's fixes make, without writing them anywhere.
class Totals final : public TripSink {
public:
    void tripStarted(size_t) override {}
    void tripPoint(const TripFix&, const std::string&) override {}
    void tripEnded(const TripSummary& trip) override {
        distanceMetres += trip.distanceMetres;
        if (trip.maxSpeedKmh) {
            maxSpeedKmh = std::max(maxSpeedKmh.value_or(0.0), *trip.maxSpeedKmh);
        }
    }
    double distanceMetres = 0;
    std::optional<double> maxSpeedKmh;
};

// The telemetry of a recording: the front file's track, or a lone rear file's own (both cameras record
// the same receiver), with its moments of sharp force when the file's length is known.
void readTelemetry(const DriveRecording& r, std::optional<int64_t> lengthMs, ORBBlackBoxData& scratch,
                   RecordingRead& out) {
    out.telemetry = readRecordingFixes((r.front ? r.front : r.rear)->path, scratch);
    out.markers = 0;
    if (out.telemetry.error == ORBTelemetryError::None && lengthMs) {
        try {
            out.markers =
                ORBEventMarkers::find(scratch.gSensors(), static_cast<double>(*lengthMs) / 1000).size();
        } catch (const std::bad_alloc&) {
            out.markers = 0;
        }
    }
}

RecordingRead readHeadersAndTelemetry(const DriveRecording& r, ORBBlackBoxData& scratch) {
    RecordingRead out;
    if (r.front) {
        out.front = RecordingLength::read(r.front->path);
    }
    if (r.rear) {
        out.rear = RecordingLength::read(r.rear->path);
    }
    const RecordingLength& length = r.front ? out.front : out.rear;
    readTelemetry(r, length.known() ? std::optional<int64_t>(length.milliseconds) : std::nullopt, scratch,
                  out);
    return out;
}

// Sums a closed drive from its segments' reads; `readOf` gives a segment's read, or null.
template <typename ReadOf>
void sumUp(DriveSummary& summary, const DriveTimeline& timeline,
           const std::vector<DriveRecording>& recordings, ReadOf readOf) {
    Totals totals;
    TripJoiner joiner(totals);
    for (const auto& s : timeline.segments()) {
        const RecordingRead* read = readOf(s.recording);
        if (!read) {
            continue;
        }
        const RecordingFixes& t = read->telemetry;
        if (t.error == ORBTelemetryError::None && t.records > 0) {
            joiner.addRecording(recordings[s.recording].media().fileName(), t.fixes);
        }
        summary.eventMarkers += read->markers;
    }
    joiner.finish();
    summary.distanceMetres = totals.distanceMetres;
    summary.maxSpeedKmh = totals.maxSpeedKmh;
}

// Runs on a reader's worker, where nothing may throw.
RecordingRead readRecording(const DriveRecording& r, ORBBlackBoxData& scratch) {
    try {
        return readHeadersAndTelemetry(r, scratch);
    } catch (const std::bad_alloc&) {
        RecordingRead out;
        out.telemetry.error = ORBTelemetryError::OutOfMemory;
        return out;
    }
}

} // namespace

std::vector<DriveSummary> DriveListing::read(std::vector<DriveRecording>& recordings, unsigned workers,
                                             DriveListingProblems& problems) {
    const std::vector<size_t> order = driveOrder(recordings);
    std::unordered_map<size_t, RecordingRead> pending; // the reads of recordings in open drives
    std::vector<DriveSummary> drives;
    DriveBuilder builder([&](DriveTimeline&& timeline) {
        DriveSummary summary;
        sumUp(summary, timeline, recordings, [&](size_t r) -> const RecordingRead* {
            const auto read = pending.find(r);
            return read == pending.end() ? nullptr : &read->second;
        });
        for (const auto& s : timeline.segments()) {
            pending.erase(s.recording);
        }
        for (const auto& e : timeline.eventFiles()) {
            pending.erase(e.recording);
        }
        for (const size_t r : timeline.withoutLength()) {
            pending.erase(r);
        }
        summary.timeline = std::move(timeline);
        drives.push_back(std::move(summary));
    });

    const auto refuse = [&](const ORBMedia& m) {
        if (problems.refused++ == 0) {
            problems.firstRefused = m.fileName();
        }
    };
    std::vector<RecordingRead> slots(std::min(TripRecordingReader::kWindow, order.size()));
    TripRecordingReader::readInOrder(
        order.size(), workers,
        [&](size_t i, ORBBlackBoxData& scratch) {
            slots[i % TripRecordingReader::kWindow] = readRecording(recordings[order[i]], scratch);
        },
        [&](size_t i) {
            const size_t index = order[i];
            DriveRecording& r = recordings[index];
            RecordingRead& read = slots[i % TripRecordingReader::kWindow];
            r.frontMs.reset();
            r.rearMs.reset();
            bool frontRefused = false, rearRefused = false;
            if (read.front.known()) {
                r.frontMs = read.front.milliseconds;
            } else if (r.front && read.front.kind == RecordingLength::Kind::Unreadable) {
                refuse(*r.front);
                frontRefused = true;
            }
            if (read.rear.known()) {
                r.rearMs = read.rear.milliseconds;
            } else if (r.rear && read.rear.kind == RecordingLength::Kind::Unreadable) {
                refuse(*r.rear);
                rearRefused = true;
            }
            const RecordingFixes& t = read.telemetry;
            const ORBMedia& telemetryFile = r.front ? *r.front : *r.rear;
            if (r.front ? frontRefused : rearRefused) {
                // already counted: its header could not be read either
            } else if (t.error == ORBTelemetryError::ReadFailed) {
                refuse(telemetryFile);
            } else if (t.error != ORBTelemetryError::None) {
                if (problems.unreadableTelemetry++ == 0) {
                    problems.firstUnreadable.assign(telemetryFile.fileName())
                        .append(": ")
                        .append(describe(t.error));
                }
            } else if (t.records == 0) {
                ++problems.withoutTelemetry;
            }
            pending[index] = std::move(read);
            builder.add(index, r);
        });
    builder.finish();
    std::stable_sort(drives.begin(), drives.end(), [](const DriveSummary& a, const DriveSummary& b) {
        return a.timeline.clockStartMs() < b.timeline.clockStartMs();
    });
    return drives;
}

std::optional<DriveSummary> DriveListing::summarize(const DriveTimeline& timeline,
                                                    const std::vector<DriveRecording>& recordings,
                                                    const std::function<bool()>& cancelled) {
    try {
        ORBBlackBoxData scratch;
        std::unordered_map<size_t, RecordingRead> reads;
        for (const auto& s : timeline.segments()) {
            if (cancelled && cancelled()) {
                return std::nullopt;
            }
            const DriveRecording& r = recordings.at(s.recording);
            readTelemetry(r, r.front ? r.frontMs : r.rearMs, scratch, reads[s.recording]);
        }
        DriveSummary summary;
        sumUp(summary, timeline, recordings, [&](size_t r) { return &reads.at(r); });
        summary.timeline = timeline;
        return summary;
    } catch (const std::exception&) {
        return std::nullopt; // out of memory, or a timeline of other recordings
    }
}

} // namespace nura
