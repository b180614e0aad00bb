// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The re-encoded clip of both cameras: `nura-media clip` reads its plan on standard input (written by
// `nura clip`), decodes the front and the rear recordings of the span, pairs every frame of the leading
// camera with the last frame of the other at or before the same moment, lays them out, blends the data
// band into the picture and encodes H.264 into an MP4 whose index comes first.
//
// The plan, one item a line:
//   out PATH                     where the MP4 goes (the caller's temporary file)
//   span START END               seconds on the front's timeline (the rear starts at the same moment)
//   layout pip|side|front|rear   corner tl|tr|bl|br   mirror 0|1   overlay 0|1   crf N   preset NAME
//   audio auto|none|front|rear   clock SECONDS (the front's name time, seconds since 1970 as on its clock)
//   front PATH OFFSET            rear PATH OFFSET      (the recordings in order, OFFSET on the timeline)
//   data OFFSET DURATION COUNT   then COUNT lines "SPEED UNIT GX GY GZ": one recording's records
//   report 1                     "done FRACTION" lines on standard output as the work goes
//   end

#include <atomic>
#include <string>
#include <vector>

namespace media {

struct ClipSource {
    std::string path;
    double offset = 0;
};

struct BandRecord {
    double speed = 0; // in the record's unit
    bool kmh = true;
    float gx = 0, gy = 0, gz = 0;
};

struct BandData {
    double offset = 0, duration = 0;
    std::vector<BandRecord> records;
};

struct ClipPlan {
    std::string out;
    double start = 0, end = 0;
    std::string layout = "pip", corner = "br", preset = "veryfast", audio = "none";
    bool mirror = false, overlay = true, report = false;
    int crf = 20;
    long long clock = 0;
    std::vector<ClipSource> front, rear;
    std::vector<BandData> data;

    // False with `error` for a plan that does not hold together.
    bool read(std::FILE* in, std::string& error);
};

// 0 when written; 1 when a file cannot be read or written; 2 when the recordings do not decode;
// 130 when `cancel` was set.
int renderClip(const ClipPlan& plan, const std::atomic<bool>& cancel);

} // namespace media
