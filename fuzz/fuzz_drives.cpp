// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: the length read from a movie header over arbitrary bytes, and the drive rule over
// arbitrary listings. The first byte picks which. For a listing, every dated recording must land in
// exactly one drive, segments must follow on in drive time, and every drive time must map to a
// segment and back.
#include "core/media/DriveTimeline.h"
#include "core/media/RecordingLength.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

namespace {

void lengthOf(const uint8_t* data, size_t size) {
    nura::ORBMemoryByteSource source(std::as_bytes(std::span(data, size)));
    const auto length = nura::RecordingLength::read(source);
    if (length.known() != (length.milliseconds > 0) ||
        length.milliseconds > nura::RecordingLength::kMaxMilliseconds) {
        __builtin_trap();
    }
}

// Four bytes a recording: seconds after the previous name (0..255), mode and sides, front and rear
// length in seconds (0: none).
void drives(const uint8_t* data, size_t size) {
    std::vector<nura::DriveRecording> recordings;
    int64_t at = 1673771400; // 2023-01-15 08:30:00
    static const char* const modes[] = {"alwa", "event", "motion", "alwa"};
    for (size_t i = 0; i + 4 <= size && recordings.size() < 400; i += 4) {
        at += data[i];
        const time_t t = static_cast<time_t>(at);
        std::tm tm{};
        gmtime_r(&t, &tm);
        char group[64];
        std::snprintf(group, sizeof group, "/card/%s_%04d%02d%02d_%02d%02d%02d", modes[data[i + 1] & 3],
                      tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
        nura::DriveRecording r;
        const int sides = (data[i + 1] >> 2) % 3; // both, front, rear
        if (sides != 2) {
            r.front = ORBMedia::mediaWithPath(std::string(group) + "_F.MP4");
            if (data[i + 2] != 0) {
                r.frontMs = int64_t{data[i + 2]} * 1000 + (data[i + 1] >> 4) * 61;
            }
        }
        if (sides != 1) {
            r.rear = ORBMedia::mediaWithPath(std::string(group) + "_R.MP4");
            if (data[i + 3] != 0) {
                r.rearMs = int64_t{data[i + 3]} * 1000;
            }
        }
        recordings.push_back(std::move(r));
    }
    std::vector<int> seen(recordings.size(), 0);
    for (const auto& d : nura::splitIntoDrives(recordings)) {
        int64_t next = 0;
        for (const auto& s : d.segments()) {
            if (s.startMs != next || s.lengthMs <= 0 || (!s.front && !s.rear)) {
                __builtin_trap();
            }
            next = s.endMs();
            ++seen.at(s.recording);
            for (const int64_t ms : {int64_t{0}, s.lengthMs / 2, s.lengthMs - 1}) {
                const auto place = d.placeAt(s.startMs + ms);
                if (!place || d.segments()[place->segment].recording != s.recording ||
                    place->msInRecording != ms || d.driveTimeOf(s.recording, ms) != s.startMs + ms) {
                    __builtin_trap();
                }
            }
        }
        for (const auto& e : d.eventFiles()) {
            ++seen.at(e.recording);
            if (e.driveMs < 0 || e.driveMs > d.lengthMs()) {
                __builtin_trap();
            }
        }
        for (const size_t r : d.withoutLength()) {
            ++seen.at(r);
        }
    }
    for (const int n : seen) {
        if (n != 1) {
            __builtin_trap();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    if (data[0] & 1) {
        lengthOf(data + 1, size - 1);
    } else {
        drives(data + 1, size - 1);
    }
    return 0;
}
