// SPDX-License-Identifier: GPL-3.0-or-later
// The playback controller within a drive: drive mode, seeks over the drive, the joins and the
// recording prepared ahead of its turn, and the moves from one drive to the next.
#include "ui/app/ORBPlaybackController.h"

#include "platform/PathText.h"
#include "ui/app/ORBPlayInfo.h"
#include "ui/strings/InfoPlist.h"

// ---- drives

void ORBPlaybackController::setDrives(std::vector<nura::DriveRecording> recordings,
                                      std::vector<nura::DriveTimeline> drives) {
    m_drive.setDrives(std::move(recordings), std::move(drives));
    if (m_item) {
        m_drive.follow(m_item->mainPath);
    }
    emit driveModeChanged(m_drive.active());
    showPosition();
    if (state() == ORBRecordingState::Playing || state() == ORBRecordingState::Paused) {
        prepareNext();
    }
}

bool ORBPlaybackController::toggleDriveMode() {
    if (!m_drive.canSwitch()) {
        if (m_item) {
            emit statusMessage(m_drive.onEventFile() ? L("main.drive_event_file") : L("main.drive_single"));
        }
        return false;
    }
    setDriveMode(!m_drive.wanted());
    return true;
}

void ORBPlaybackController::setDriveMode(bool wanted) {
    if (wanted == m_drive.wanted()) {
        return;
    }
    m_drive.setWanted(wanted);
    emit driveModeChanged(m_drive.active());
    if (state() == ORBRecordingState::Playing || state() == ORBRecordingState::Paused) {
        prepareNext();
    }
    // Only the slider changes: a paused recording stays on its frame.
    showPosition();
}

int64_t ORBPlaybackController::rowOf(const QString& path) const {
    const std::string file = nura::pathBytes(path);
    const size_t count = m_list.count();
    for (size_t i = 0; i < count; ++i) {
        const auto media = m_list.mediaAtIndex(i);
        if (media && media->path == file) {
            return static_cast<int64_t>(i);
        }
    }
    return -1;
}

void ORBPlaybackController::join(size_t segment, int64_t fromMs) {
    const ORBPlayItem item = m_drive.itemOf(segment, m_frontInMain);
    start(item, rowOf(item.mainPath), fromMs, ORBStartKind::Join);
}

bool ORBPlaybackController::playDriveFrom(int64_t row) {
    if (!playAtIndex(row)) {
        return false;
    }
    setDriveMode(true);
    if (m_drive.active() && m_drive.segment() != 0) {
        join(0, 0);
    }
    return true;
}

void ORBPlaybackController::seekDriveTo(int64_t driveMs) {
    const auto place = m_drive.active() ? m_drive.placeAt(driveMs) : std::nullopt;
    if (!place) {
        seekTo(driveMs);
        return;
    }
    if (place->segment == m_drive.segment()) {
        seekTo(place->msInRecording);
        return;
    }
    const bool paused = state() == ORBRecordingState::Paused;
    join(place->segment, place->msInRecording);
    if (paused) {
        m_recording.pause(); // comes up paused on the moment sought
        // A recording prepared ahead halted a picture or two after its start: the seek lands it.
        m_recording.seek(place->msInRecording);
        updateIsPlaying();
    }
    emit seeked(place->msInRecording);
}

// ---- the next recording of the drive

void ORBPlaybackController::joinLater(size_t segment) {
    m_move = ORBPlaybackMove::Advancing;
    const unsigned token = ++m_advanceToken;
    later(0, [this, token, segment] {
        const ORBRecordingState now = state();
        if (token != m_advanceToken ||
            (now != ORBRecordingState::Ended && now != ORBRecordingState::Failed)) {
            return;
        }
        m_move = ORBPlaybackMove::None;
        m_unplayableInARow = std::max(m_unplayableInARow, 0);
        join(segment, 0);
    });
}

// The drive's next recording opens on the spare players while this one plays, so that the join
// only hands the views over. Outside drive mode nothing is kept open ahead.
void ORBPlaybackController::prepareNext() {
    const auto next = m_drive.active() && m_item ? m_drive.nextSegment() : std::nullopt;
    if (next) {
        m_recording.prepare(m_drive.itemOf(*next, m_frontInMain));
    } else {
        m_recording.dropPrepared();
    }
}

// ---- moving through the drives

bool ORBPlaybackController::playDriveNeighbour(int direction) {
    const auto place = m_drive.neighbour(direction);
    if (!place) {
        return false;
    }
    if (m_drive.isPlayingDrive(place->drive)) {
        // Within the drive: a join at the recording's first moment, paused if playback was.
        seekDriveTo(m_drive.driveAt(place->drive).segments()[place->segment].startMs);
        return true;
    }
    // Another drive starts as a double-click on its recording would start it.
    const int64_t row = rowOf(m_drive.itemAt(*place, true).mainPath);
    return row >= 0 && playAtIndex(row);
}

bool ORBPlaybackController::advanceThroughDrives() {
    const auto place = m_drive.neighbour(1);
    if (!place) {
        return false;
    }
    if (m_drive.isPlayingDrive(place->drive)) {
        join(place->segment, 0);
        return true;
    }
    const int64_t row = rowOf(m_drive.itemAt(*place, true).mainPath);
    return row >= 0 && startRow(row);
}
