// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The drive of the playing recording, and the position slider over it. The listing's drives come in
// with their lengths read from the files' headers off the UI thread; this only looks things up.
// Drive mode is on while the user asked for it and the playing recording has a neighbour in its
// drive; an event file that copies part of a drive plays on its own.

#include "core/media/DriveTimeline.h"
#include "ui/app/ORBPlayItem.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

class ORBDrivePlayback {
public:
    void setDrives(std::vector<nura::DriveRecording> recordings, std::vector<nura::DriveTimeline> drives);
    // Finds the drive and segment of the recording with the file at `path` (front or rear).
    void follow(const QString& path);

    // The user's choice; whether it shows depends on the playing recording.
    void setWanted(bool wanted) { m_wanted = wanted; }
    bool wanted() const { return m_wanted; }
    // The playing recording is a segment of a drive of two or more.
    bool canSwitch() const;
    // The playing recording is an event file within a drive's span: it is no segment.
    bool onEventFile() const { return m_eventFile; }
    bool active() const { return m_wanted && canSwitch(); }

    const nura::DriveTimeline* drive() const;
    std::optional<size_t> segment() const { return m_segment; }
    // Drive time of a moment of the playing recording, and the same over the drive's length.
    int64_t driveTime(int64_t msInRecording) const;
    double position(int64_t msInRecording) const;
    // The recording and moment at a drive time, or a slider's position.
    std::optional<nura::DrivePlace> placeAt(int64_t driveMs) const;
    std::optional<nura::DrivePlace> placeAtPosition(double position) const;
    // The segment after the playing one, if the drive goes on.
    std::optional<size_t> nextSegment() const;
    // A segment's files as a start takes them, the main picture on the same camera as now where the
    // segment has it.
    ORBPlayItem itemOf(size_t segment, bool mainIsFront) const;
    // Where Next and Previous go while the user wants drive mode and the playing recording is a
    // segment of a drive: the neighbouring segment of its drive, past the drive's ends the first
    // (last) segment of the next (previous) drive that has one; nothing at the card's ends.
    struct Place {
        size_t drive = 0;
        size_t segment = 0;
    };
    bool navigates() const { return m_wanted && drive() && m_segment; }
    std::optional<Place> neighbour(int direction) const;
    bool isPlayingDrive(size_t drive) const { return m_drive == drive; }
    const nura::DriveTimeline& driveAt(size_t drive) const { return m_drives[drive]; }
    // A segment of any drive, as itemOf.
    ORBPlayItem itemAt(Place place, bool mainIsFront) const;
    // The joins as positions over the drive, 0 to 1.
    std::vector<double> joinPositions() const;
    // The time into the drive over its length, and the camera's clock at that moment:
    // "01:24 / 04:00  09:11:24".
    QString timeText(int64_t msInRecording) const;

private:
    std::vector<nura::DriveRecording> m_recordings;
    std::vector<nura::DriveTimeline> m_drives;
    std::optional<size_t> m_drive, m_segment;
    bool m_eventFile = false;
    bool m_wanted = false;
};
