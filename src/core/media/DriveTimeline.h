// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Drives: runs of recordings that follow each other, played as one piece. The camera cuts a drive into
// files of a few minutes; a recording belongs to the drive of the one before it when it begins at most
// five minutes after that one ends. Drive time runs through the recordings only: the gaps between them
// are joins, not time. Event files that copy part of a normal recording are not part of the run but are
// marked at their moment; motion (parking) recordings make runs of their own.

#include "core/media/ORBMediaList.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace nura {

// One recording of a listing as the drive rule sees it: its files and how long each plays.
struct DriveRecording {
    ORBMediaList::MediaPtr front, rear;     // either may be missing
    std::optional<int64_t> frontMs, rearMs; // lengths from the headers; none for a file cut short or unread

    // The file whose name is read: the front, else the rear.
    const ORBMedia& media() const { return front ? *front : *rear; }
    // A recording ends when both its files have ended; none when neither has a length.
    std::optional<int64_t> lengthMs() const;
};

// A recording played as part of a drive.
struct DriveSegment {
    size_t recording = 0;     // index into the recordings the drive was made from
    int64_t startMs = 0;      // drive time at its first moment
    int64_t lengthMs = 0;     // above 0
    int64_t clockStartMs = 0; // the camera's clock at its first moment: the name time
    bool front = false;       // the front camera has a picture in it
    bool rear = false;
    bool event = false; // an event file that no normal recording covers

    int64_t endMs() const { return startMs + lengthMs; }
    int64_t clockEndMs() const { return clockStartMs + lengthMs; }
};

// An event file that copies part of the drive: played on its own, marked at its moment.
struct DriveEventFile {
    size_t recording = 0;
    int64_t driveMs = 0;
};

struct DrivePlace {
    size_t segment = 0;        // index into segments()
    int64_t msInRecording = 0; // from 0 to the segment's length
};

class DriveTimeline {
public:
    // The rule's limits: the longest gap within a drive, and how far a recording may begin before the
    // one it follows has ended (name times are whole seconds, so back-to-back files seem to overlap).
    static constexpr int64_t kMaxGapMs = 5 * 60 * 1000;
    static constexpr int64_t kOverlapMs = 2000;

    bool isMotion() const { return m_motion; }
    const std::vector<DriveSegment>& segments() const { return m_segments; }
    const std::vector<DriveEventFile>& eventFiles() const { return m_eventFiles; }
    // Recordings within the drive that have no length (cut short, unreadable): gaps in it.
    const std::vector<size_t>& withoutLength() const { return m_withoutLength; }

    // Drive time: the segments' lengths together.
    int64_t lengthMs() const { return m_segments.empty() ? 0 : m_segments.back().endMs(); }
    // The camera's clock at the drive's first and last moment.
    int64_t clockStartMs() const {
        return m_segments.empty() ? m_clockStartMs : m_segments.front().clockStartMs;
    }
    int64_t clockEndMs() const {
        return m_segments.empty() ? m_clockStartMs : m_segments.back().clockEndMs();
    }

    // The recording and its moment at a drive time, taken within [0, lengthMs()]. At a join, the later
    // recording's first moment; at the end, the last recording's end. Nothing for a drive without segments.
    std::optional<DrivePlace> placeAt(int64_t driveMs) const;
    // The drive time of a moment of a segment's recording (taken within its length), or nothing when
    // the recording is not a segment of this drive.
    std::optional<int64_t> driveTimeOf(size_t recording, int64_t msInRecording) const;
    // The drive time of a moment of the camera's clock: within a segment, its moment; in a gap, the join.
    int64_t driveTimeAtClock(int64_t clockMs) const;
    // The camera's clock at a drive time.
    int64_t clockAt(int64_t driveMs) const;
    // The drive times where one segment hands over to the next.
    std::vector<int64_t> joins() const;
    // Of the joins strictly between two drive times, the one with the longest gap on the camera's
    // clock between the recording before and the one after (negative where they overlap).
    struct Gap {
        size_t segment = 0; // the segment after the join
        int64_t gapMs = 0;
    };
    std::optional<Gap> widestGapBetween(int64_t fromMs, int64_t toMs) const;
    // Index into segments() of a recording, or nothing.
    std::optional<size_t> segmentOf(size_t recording) const;

private:
    friend class DriveBuilder;
    bool m_motion = false;
    int64_t m_clockStartMs = 0;
    std::vector<DriveSegment> m_segments;
    std::vector<DriveEventFile> m_eventFiles;
    std::vector<size_t> m_withoutLength;
};

// The rule, one recording at a time, in drive order (see driveOrder). A drive is handed on as soon as
// a later recording shows that it has ended, so a card's telemetry can be read drive by drive.
class DriveBuilder {
public:
    using Closed = std::function<void(DriveTimeline&&)>;

    explicit DriveBuilder(Closed closed) : m_closed(std::move(closed)) {}

    // `index` is the recording's place in the caller's list; recordings without a name time are ignored.
    void add(size_t index, const DriveRecording& recording);
    // Hands on the drives still open.
    void finish();

private:
    struct Run {
        std::optional<DriveTimeline> drive;
        int64_t chainEndMs = 0; // where the last recording of the run ended, on the camera's clock
    };
    void close(Run& run);

    Closed m_closed;
    Run m_runs[2]; // normal and event recordings; motion recordings
};

// One entry per recording of a listing (front and rear of a group together), in list order.
std::vector<DriveRecording> driveRecordings(const ORBMediaList::Contents& contents);
// The indices of the recordings that have a name time, in the order the rule takes them: by name time,
// a normal recording before an event file of the same second, else in list order.
std::vector<size_t> driveOrder(const std::vector<DriveRecording>& recordings);
// Every drive of the recordings, earliest first.
std::vector<DriveTimeline> splitIntoDrives(const std::vector<DriveRecording>& recordings);

} // namespace nura
