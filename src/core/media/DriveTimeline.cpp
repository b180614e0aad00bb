// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/media/DriveTimeline.h"

#include <algorithm>
#include <string>
#include <unordered_set>

namespace nura {

std::optional<int64_t> DriveRecording::lengthMs() const {
    if (frontMs && rearMs) {
        return std::max(*frontMs, *rearMs);
    }
    return frontMs ? frontMs : rearMs;
}

std::optional<DrivePlace> DriveTimeline::placeAt(int64_t driveMs) const {
    if (m_segments.empty()) {
        return std::nullopt;
    }
    const int64_t t = std::clamp<int64_t>(driveMs, 0, lengthMs());
    const auto after = std::upper_bound(m_segments.begin(), m_segments.end(), t,
                                        [](int64_t ms, const DriveSegment& s) { return ms < s.startMs; });
    const auto i = static_cast<size_t>(after - m_segments.begin()) - 1;
    return DrivePlace{i, t - m_segments[i].startMs};
}

std::optional<size_t> DriveTimeline::segmentOf(size_t recording) const {
    for (size_t i = 0; i < m_segments.size(); ++i) {
        if (m_segments[i].recording == recording) {
            return i;
        }
    }
    return std::nullopt;
}

std::optional<int64_t> DriveTimeline::driveTimeOf(size_t recording, int64_t msInRecording) const {
    const auto i = segmentOf(recording);
    if (!i) {
        return std::nullopt;
    }
    const DriveSegment& s = m_segments[*i];
    return s.startMs + std::clamp<int64_t>(msInRecording, 0, s.lengthMs);
}

int64_t DriveTimeline::driveTimeAtClock(int64_t clockMs) const {
    const auto after =
        std::upper_bound(m_segments.begin(), m_segments.end(), clockMs,
                         [](int64_t ms, const DriveSegment& s) { return ms < s.clockStartMs; });
    if (after == m_segments.begin()) {
        return 0;
    }
    const DriveSegment& s = *(after - 1);
    return s.startMs + std::clamp<int64_t>(clockMs - s.clockStartMs, 0, s.lengthMs);
}

int64_t DriveTimeline::clockAt(int64_t driveMs) const {
    const auto place = placeAt(driveMs);
    return place ? m_segments[place->segment].clockStartMs + place->msInRecording : m_clockStartMs;
}

std::vector<int64_t> DriveTimeline::joins() const {
    std::vector<int64_t> at;
    for (size_t i = 1; i < m_segments.size(); ++i) {
        at.push_back(m_segments[i].startMs);
    }
    return at;
}

std::optional<DriveTimeline::Gap> DriveTimeline::widestGapBetween(int64_t fromMs, int64_t toMs) const {
    std::optional<Gap> widest;
    for (size_t i = 1; i < m_segments.size(); ++i) {
        if (m_segments[i].startMs <= fromMs || m_segments[i].startMs >= toMs) {
            continue;
        }
        const int64_t gap = m_segments[i].clockStartMs - m_segments[i - 1].clockEndMs();
        if (!widest || gap > widest->gapMs) {
            widest = Gap{i, gap};
        }
    }
    return widest;
}

void DriveBuilder::add(size_t index, const DriveRecording& recording) {
    if (!recording.front && !recording.rear) {
        return;
    }
    const ORBMedia& media = recording.media();
    const auto seconds = media.nameSeconds();
    if (!seconds) {
        return;
    }
    const int64_t start = *seconds * 1000;
    const bool event = media.isEventMedia();
    const auto length = recording.lengthMs();
    Run& run = m_runs[media.isMotionMedia() ? 1 : 0];
    if (run.drive && start > run.chainEndMs + DriveTimeline::kMaxGapMs) {
        close(run);
    }
    if (run.drive && length) {
        DriveTimeline& d = *run.drive;
        while (!d.m_segments.empty()) {
            const DriveSegment last = d.m_segments.back();
            if (start >= last.clockEndMs() - DriveTimeline::kOverlapMs) {
                break;
            }
            if (event) {
                d.m_eventFiles.push_back({index, d.driveTimeAtClock(start)});
                return;
            }
            if (last.event) {
                // An event file taken for a segment until this normal recording, which covers it, came.
                d.m_segments.pop_back();
                const int64_t end = d.lengthMs();
                for (auto& e : d.m_eventFiles) {
                    e.driveMs = std::min(e.driveMs, end);
                }
                d.m_eventFiles.push_back({last.recording, d.driveTimeAtClock(last.clockStartMs)});
                continue;
            }
            // A normal recording inside the one before it: the camera's clock went back.
            close(run);
            break;
        }
    }
    if (!run.drive) {
        run.drive.emplace();
        run.drive->m_motion = media.isMotionMedia();
        run.drive->m_clockStartMs = start;
        run.chainEndMs = start;
    }
    DriveTimeline& d = *run.drive;
    if (!length) {
        d.m_withoutLength.push_back(index);
        run.chainEndMs = std::max(run.chainEndMs, start);
        return;
    }
    d.m_segments.push_back({index, d.lengthMs(), *length, start, recording.frontMs.has_value(),
                            recording.rearMs.has_value(), event});
    run.chainEndMs = std::max(run.chainEndMs, start + *length);
}

void DriveBuilder::close(Run& run) {
    if (run.drive) {
        DriveTimeline done = std::move(*run.drive);
        run.drive.reset();
        m_closed(std::move(done));
    }
}

void DriveBuilder::finish() {
    Run& normal = m_runs[0];
    Run& motion = m_runs[1];
    if (normal.drive && motion.drive && motion.drive->clockStartMs() < normal.drive->clockStartMs()) {
        close(motion);
    }
    close(normal);
    close(motion);
}

std::vector<DriveRecording> driveRecordings(const ORBMediaList::Contents& contents) {
    std::vector<DriveRecording> recordings;
    std::unordered_set<std::string> seen;
    for (const auto& m : contents.medias) {
        if (!m->isFrontMedia() && !m->isRearMedia()) {
            continue;
        }
        std::string group = m->mediaGroupName();
        const auto pair = contents.pairs.find(group);
        if (!seen.insert(std::move(group)).second) {
            continue;
        }
        DriveRecording r;
        if (pair != contents.pairs.end()) {
            r.front = pair->second.frontMedia;
            r.rear = pair->second.rearMedia;
        } else {
            (m->isFrontMedia() ? r.front : r.rear) = m;
        }
        recordings.push_back(std::move(r));
    }
    return recordings;
}

std::vector<size_t> driveOrder(const std::vector<DriveRecording>& recordings) {
    struct Key {
        int64_t seconds;
        bool event;
        size_t index;
    };
    std::vector<Key> keys;
    keys.reserve(recordings.size());
    for (size_t i = 0; i < recordings.size(); ++i) {
        const auto& r = recordings[i];
        if (!r.front && !r.rear) {
            continue;
        }
        if (const auto seconds = r.media().nameSeconds()) {
            keys.push_back({*seconds, r.media().isEventMedia(), i});
        }
    }
    std::stable_sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) {
        return a.seconds != b.seconds ? a.seconds < b.seconds : !a.event && b.event;
    });
    std::vector<size_t> order;
    order.reserve(keys.size());
    for (const auto& k : keys) {
        order.push_back(k.index);
    }
    return order;
}

std::vector<DriveTimeline> splitIntoDrives(const std::vector<DriveRecording>& recordings) {
    std::vector<DriveTimeline> drives;
    DriveBuilder builder([&drives](DriveTimeline&& d) { drives.push_back(std::move(d)); });
    for (const size_t i : driveOrder(recordings)) {
        builder.add(i, recordings[i]);
    }
    builder.finish();
    std::stable_sort(drives.begin(), drives.end(), [](const DriveTimeline& a, const DriveTimeline& b) {
        return a.clockStartMs() < b.clockStartMs();
    });
    return drives;
}

} // namespace nura
