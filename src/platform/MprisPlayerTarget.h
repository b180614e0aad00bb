// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the media keys and desktop media widgets can see of playback and do to it. The playback logic
// implements it; MprisService turns it into the desktop's media-player interface.

#include <QString>
#include <QtGlobal>

#include <optional>

class MprisPlayerTarget {
public:
    enum class Status { Playing, Paused, Stopped };

    struct Track {
        QString trackId; // a D-Bus object path naming the recording, e.g. /org/nura/viewer/track/12
        qint64 lengthUs = 0;
        QString url; // file:// of the main file
        QString title;
    };

    virtual ~MprisPlayerTarget() = default;

    virtual Status playbackStatus() const = 0;
    virtual std::optional<Track> track() const = 0; // none while nothing is loaded
    virtual qint64 positionUs() const = 0;

    virtual double rate() const = 0;
    virtual double minimumRate() const = 0;
    virtual double maximumRate() const = 0;
    virtual void setRate(double rate) = 0; // snaps to the nearest speed the player has

    virtual double volume() const = 0; // 0.0 to 2.0 (the player's 0–200)
    virtual void setVolume(double volume) = 0;

    virtual bool canGoNext() const = 0;
    virtual bool canGoPrevious() const = 0;
    virtual bool canPlay() const = 0;
    virtual bool canPause() const = 0;
    virtual bool canSeek() const = 0;

    virtual void play() = 0; // after stop(): replays the last recording from its start
    virtual void pause() = 0;
    virtual void playPause() = 0;
    virtual void stop() = 0;
    virtual void next() = 0;
    virtual void previous() = 0;
    // From the current position. Desktop clients expect a seek before the start to land on the start
    // and one past the end to act as next().
    virtual void seekBy(qint64 offsetUs) = 0;
    // Only called for the current track, with 0 <= positionUs <= its length.
    virtual void setPosition(const QString& trackId, qint64 positionUs) = 0;
    virtual bool openUri(const QString& uri) = 0; // a local file:// URI; acts like `nura-viewer FILE`
    virtual void raise() = 0;
    virtual void quit() = 0; // called from the event loop, never inside a bus call
};
