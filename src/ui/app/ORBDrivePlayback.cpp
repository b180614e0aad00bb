// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/app/ORBDrivePlayback.h"

#include <QDateTime>
#include <QFile>

#include <algorithm>
#include <cmath>

void ORBDrivePlayback::setDrives(std::vector<nura::DriveRecording> recordings,
                                 std::vector<nura::DriveTimeline> drives) {
    m_recordings = std::move(recordings);
    m_drives = std::move(drives);
    m_drive.reset();
    m_segment.reset();
    m_eventFile = false;
}

void ORBDrivePlayback::follow(const QString& path) {
    m_drive.reset();
    m_segment.reset();
    m_eventFile = false;
    const std::string file = nura::pathBytes(path);
    std::optional<size_t> recording;
    for (size_t i = 0; i < m_recordings.size() && !recording; ++i) {
        const auto& r = m_recordings[i];
        if ((r.front && r.front->path == file) || (r.rear && r.rear->path == file)) {
            recording = i;
        }
    }
    if (!recording) {
        return;
    }
    for (size_t d = 0; d < m_drives.size(); ++d) {
        if (const auto segment = m_drives[d].segmentOf(*recording)) {
            m_drive = d;
            m_segment = segment;
            return;
        }
        const auto& events = m_drives[d].eventFiles();
        if (std::any_of(events.begin(), events.end(),
                        [&](const nura::DriveEventFile& e) { return e.recording == *recording; })) {
            m_eventFile = true;
            return;
        }
    }
}

const nura::DriveTimeline* ORBDrivePlayback::drive() const {
    return m_drive ? &m_drives[*m_drive] : nullptr;
}

bool ORBDrivePlayback::canSwitch() const {
    const auto* d = drive();
    return d && m_segment && d->segments().size() > 1;
}

int64_t ORBDrivePlayback::driveTime(int64_t msInRecording) const {
    const auto* d = drive();
    if (!d || !m_segment) {
        return msInRecording;
    }
    const auto& s = d->segments()[*m_segment];
    return s.startMs + std::clamp<int64_t>(msInRecording, 0, s.lengthMs);
}

double ORBDrivePlayback::position(int64_t msInRecording) const {
    const auto* d = drive();
    if (!d || d->lengthMs() <= 0) {
        return 0;
    }
    return std::clamp(static_cast<double>(driveTime(msInRecording)) / static_cast<double>(d->lengthMs()), 0.0,
                      1.0);
}

std::optional<nura::DrivePlace> ORBDrivePlayback::placeAt(int64_t driveMs) const {
    const auto* d = drive();
    return d ? d->placeAt(driveMs) : std::nullopt;
}

std::optional<nura::DrivePlace> ORBDrivePlayback::placeAtPosition(double position) const {
    const auto* d = drive();
    if (!d) {
        return std::nullopt;
    }
    position = std::isfinite(position) ? std::clamp(position, 0.0, 1.0) : 0.0;
    return d->placeAt(std::llround(position * static_cast<double>(d->lengthMs())));
}

std::optional<size_t> ORBDrivePlayback::nextSegment() const {
    const auto* d = drive();
    if (!d || !m_segment || *m_segment + 1 >= d->segments().size()) {
        return std::nullopt;
    }
    return *m_segment + 1;
}

std::optional<ORBDrivePlayback::Place> ORBDrivePlayback::neighbour(int direction) const {
    if (!navigates() || direction == 0) {
        return std::nullopt;
    }
    const size_t count = drive()->segments().size();
    if (direction > 0 ? *m_segment + 1 < count : *m_segment > 0) {
        return Place{*m_drive, direction > 0 ? *m_segment + 1 : *m_segment - 1};
    }
    // A drive whose every recording lacks a length has no segment to go to: it is passed over.
    for (size_t d = *m_drive; direction > 0 ? d + 1 < m_drives.size() : d > 0;) {
        d = direction > 0 ? d + 1 : d - 1;
        if (const size_t n = m_drives[d].segments().size(); n > 0) {
            return Place{d, direction > 0 ? 0 : n - 1};
        }
    }
    return std::nullopt;
}

ORBPlayItem ORBDrivePlayback::itemOf(size_t segment, bool mainIsFront) const {
    return itemAt(Place{*m_drive, segment}, mainIsFront);
}

ORBPlayItem ORBDrivePlayback::itemAt(Place place, bool mainIsFront) const {
    const auto& r = m_recordings[m_drives[place.drive].segments()[place.segment].recording];
    const auto name = [](const ORBMediaList::MediaPtr& m) { return m ? nura::pathText(m->path) : QString(); };
    const QString front = name(r.front), rear = name(r.rear);
    // A segment without the camera of the main picture shows the other one there.
    if (front.isEmpty() || rear.isEmpty()) {
        return front.isEmpty() ? ORBPlayItem{rear, QString(), false} : ORBPlayItem{front, QString(), true};
    }
    return mainIsFront ? ORBPlayItem{front, rear, true} : ORBPlayItem{rear, front, false};
}

std::vector<double> ORBDrivePlayback::joinPositions() const {
    std::vector<double> joins;
    const auto* d = drive();
    if (!d || d->lengthMs() <= 0) {
        return joins;
    }
    for (const int64_t ms : d->joins()) {
        joins.push_back(static_cast<double>(ms) / static_cast<double>(d->lengthMs()));
    }
    return joins;
}

QString ORBDrivePlayback::timeText(int64_t msInRecording) const {
    const auto* d = drive();
    if (!d) {
        return QString();
    }
    const auto clock = [](int64_t ms) {
        const int64_t s = ms / 1000;
        return s >= 3600 ? QStringLiteral("%1:%2:%3")
                               .arg(s / 3600)
                               .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
                               .arg(s % 60, 2, 10, QLatin1Char('0'))
                         : QStringLiteral("%1:%2")
                               .arg(s / 60, 2, 10, QLatin1Char('0'))
                               .arg(s % 60, 2, 10, QLatin1Char('0'));
    };
    const int64_t at = driveTime(msInRecording);
    // The name times are the camera's clock, written as if it were UTC.
    const QString camera =
        QDateTime::fromMSecsSinceEpoch(d->clockAt(at), Qt::UTC).toString(QStringLiteral("HH:mm:ss"));
    return QStringLiteral("%1 / %2  %3").arg(clock(at), clock(d->lengthMs()), camera);
}
