// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The media player the playback window drives: one per video view, asynchronous start,
// state and time notifications on the UI thread, fractional positions and millisecond times.

#include "platform/PathText.h"

#include <QObject>
#include <QSize>
#include <QString>

#include <cstdint>
#include <memory>

class VideoView;

class MediaPlayer : public QObject {
    Q_OBJECT
public:
    // What the player is doing. A pause is a pause wherever it happens; the end of the media is a
    // state of its own, entered only when the engine says the media has played out, never guessed
    // from a position.
    //   Idle     no media, or stopped: nothing shown
    //   Opening  play() asked, the engine has not started yet
    //   Playing  the engine plays
    //   Paused   halted on a picture at the user's wish (a pause asked while opening lands here too)
    //   Ended    the media played to its end; the last picture stays
    //   Failed   the file cannot be played; failure() says why
    enum State { Idle = 0, Opening = 1, Playing = 2, Paused = 3, Ended = 4, Failed = 5 };
    Q_ENUM(State)
    // Why a player failed.
    enum Failure { NoFailure = 0, CannotOpen, NoVideoTrack, EngineError, NoPicture };
    Q_ENUM(Failure)

    explicit MediaPlayer(QObject* parent = nullptr) : QObject(parent) {}
    ~MediaPlayer() override = default;

    // Every call returns at once: the engine's work runs elsewhere, and what the getters return is
    // the player's own record of the engine, never an engine call.

    // The path is the file name's bytes as pathText holds them. An empty path clears the media. Either
    // way the player is Idle afterwards.
    virtual void setMedia(const QString& path) = 0;
    virtual QString media() const = 0;
    bool hasMedia() const { return !media().isEmpty(); }
    // Duration of the media in milliseconds, 0 while unknown.
    virtual int64_t mediaLength() const = 0;

    // Idle, Failed: opens and plays from the start (or from a time set before). Paused: resumes.
    // Ended: plays again from the start, or from a time set while ended. Completion comes as
    // stateChanged.
    virtual void play() = 0;
    // Playing: Paused. Opening: kept, and the player goes to Paused instead of Playing.
    virtual void pause() = 0;
    // Idle, keeping the media.
    virtual void stop() = 0;

    bool isPlaying() const { return state() == Playing; }
    virtual State state() const = 0;
    // NoFailure unless the state is Failed.
    virtual Failure failure() const = 0;
    // Holds a picture of its media: paused or at its end.
    bool isHalted() const { return state() == Paused || state() == Ended; }
    // Marks the player failed from outside (a start watch that saw no picture in time): the engine
    // stops and the state becomes Failed with `reason`.
    virtual void giveUp(Failure reason) = 0;

    virtual float position() const = 0;
    virtual void setPosition(float position) = 0;
    virtual int64_t time() const = 0;
    // Seeks never queue up behind each other: while one is under way only the newest asked since
    // waits, and time() reads the newest asked time at once.
    virtual void setTime(int64_t ms) = 0;
    // Negative milliseconds still to play.
    int64_t remainingTime() const { return time() - mediaLength(); }
    virtual void jumpForward(int seconds) = 0;
    virtual void jumpBackward(int seconds) = 0;

    virtual float rate() const = 0;
    virtual void setRate(float rate) = 0;

    // A picture of the current media has reached the view since it was set.
    virtual bool hasVideoOut() const = 0;
    virtual QSize videoSize() const = 0;

    virtual void setMute(bool mute) = 0;
    virtual bool isMuted() const = 0;
    // 0 to 200, 100 is the file's own level.
    virtual void setVolume(int volume) = 0;
    virtual int volume() const = 0;

    // The view the player draws into. A player without one (prepared ahead of its turn) keeps its
    // pictures to itself; a view given shows the player's current picture at once (a player
    // without a file clears it; one still opening leaves it until its first picture).
    virtual void setView(VideoView* view) = 0;
    virtual VideoView* view() const = 0;

    // Writes the current frame as JPEG; width and height 0 mean the video's own size.
    virtual bool saveVideoSnapshotAt(const QString& path, int width, int height) = 0;

    // ---- frame by frame, while halted on a picture
    // Frames per second of the video track; 0 while unknown (a frame then counts as 1/30 s).
    virtual double frameRate() const = 0;
    // Shows frame `index` (0 is the first, at time 0) exactly, and its start becomes the time.
    // Refused (false, nothing changes) unless the player is halted (paused or ended) and the frame
    // lies within the media; a step back from the end pauses there.
    virtual bool showFrame(int64_t index) = 0;
    double frameDurationMs() const;
    // The frame on screen at `ms`: the last one starting at or before it.
    int64_t frameIndexAt(int64_t ms) const;
    int64_t frameStart(int64_t index) const;
    // The last whole frame within the media's length; -1 while the length is unknown.
    int64_t lastFrameIndex() const;
    // `frames` frames on from the frame at the current time (back when negative).
    bool stepFrame(int frames) { return showFrame(frameIndexAt(time()) + frames); }
    // The frame at or before `ms`, or the last frame when `ms` lies beyond it.
    bool showFrameAt(int64_t ms);

    // Side of the media by its path's ending: 0 front, 1 rear, 2 unknown.
    int mediaDirection() const;
    bool isFrontMedia() const { return mediaDirection() == 0; }
    bool isRearMedia() const { return mediaDirection() == 1; }

    // "mm:ss" (or "h:mm:ss" past an hour) of a millisecond time; negative times keep their sign.
    static QString timeString(int64_t ms);

signals:
    void stateChanged(MediaPlayer* player);
    void timeChanged(MediaPlayer* player);
};

// Options for every player of the process (sound output, extra engine arguments).
struct MediaPlayerOptions {
    bool silent = false; // no sound device: tests and the headless demo
};

// The one place that names the real player: libVLC drawing into the view.
std::unique_ptr<MediaPlayer> createMediaPlayer(VideoView* view, QObject* parent = nullptr);
// Initializes the player engine once for the process (before the first playback).
void initMediaPlayerLibrary(const MediaPlayerOptions& options = {});
