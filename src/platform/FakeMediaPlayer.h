// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A media player for playback tests: no engine, a clock that moves only when told, and a log of
// every call the window made.
//
// State changes are reported synchronously by default: play() returns with the state already
// Playing (or Opening, with setHoldInOpening) and stateChanged already sent. setQueued(true) delivers each
// state change (the new state and its notification together) from the event loop instead, as the real player
// does. Time reports come only from advance() and reportTime(); seeks do not report.

#include "platform/MediaPlayer.h"

#include <QHash>
#include <QStringList>

class FakeMediaPlayer : public MediaPlayer {
    Q_OBJECT
public:
    explicit FakeMediaPlayer(QObject* parent = nullptr);

    // ---- test controls
    // Length given to every media set from now on, unless its path has its own.
    void setDefaultLength(int64_t ms) { m_defaultLength = ms; }
    void setLengthForPath(const QString& path, int64_t ms) { m_lengths.insert(path, ms); }
    // Length of the current media.
    void setLength(int64_t ms) { m_length = ms; }
    void setQueued(bool queued) { m_queued = queued; }
    // Each state change waits, in order, until deliverState() hands it over with its notification,
    // as an engine that reports late. What the player does still follows the changes asked.
    void setDeferred(bool deferred) { m_deferred = deferred; }
    size_t pendingStates() const { return m_pending.size(); }
    void deliverState();
    // play() reports Opening and stays there until finishOpening(), like a slow engine start.
    void setHoldInOpening(bool hold) { m_holdInOpening = hold; }
    void finishOpening();
    // Moves time by ms at the rate while playing and sends one time report; reaching the end
    // stops the clock at the length and ends (stateChanged to Ended, no time report).
    void advance(int64_t ms);
    // One time report without moving the clock.
    void reportTime() { emit timeChanged(this); }
    // The engine gives up on the file: Failed with `reason`.
    void fail(Failure reason);
    // Puts the player in any state and reports it.
    void forceState(State state) { changeState(state); }
    void setVideoSize(const QSize& size) { m_videoSize = size; }
    // Without a picture, snapshots fail and hasVideoOut is false.
    void setPictureAvailable(bool available) { m_pictureAvailable = available; }
    void setFrameRate(double rate) { m_frameRate = rate; }
    // "play", "pause", "stop", "giveUp", "setMedia:PATH", "setTime:MS", "setPosition:0.500",
    // "jumpForward:10", "jumpBackward:10", "setRate:2.0", "setVolume:70", "setMute:1", "snapshot:PATH:WxH",
    // "showFrame:12" (only frames shown, not refused ones).
    QStringList calls() const { return m_calls; }
    int callCount(const QString& call) const { return static_cast<int>(m_calls.count(call)); }
    void clearCalls() { m_calls.clear(); }
    bool atEnd() const { return m_length > 0 && m_time >= m_length; }

    // ---- MediaPlayer
    void setMedia(const QString& path) override;
    QString media() const override { return m_path; }
    int64_t mediaLength() const override { return m_path.isEmpty() ? 0 : m_length; }
    void play() override;
    void pause() override;
    void stop() override;
    State state() const override { return m_deferred ? m_reported : m_state; }
    Failure failure() const override { return state() == Failed ? m_failure : NoFailure; }
    void giveUp(Failure reason) override;
    float position() const override;
    void setPosition(float position) override;
    int64_t time() const override { return m_time; }
    void setTime(int64_t ms) override;
    void jumpForward(int seconds) override;
    void jumpBackward(int seconds) override;
    float rate() const override { return m_rate; }
    void setRate(float rate) override;
    bool hasVideoOut() const override;
    QSize videoSize() const override;
    void setMute(bool mute) override;
    bool isMuted() const override { return m_muted; }
    void setVolume(int volume) override;
    int volume() const override { return m_volume; }
    void setView(VideoView* view) override { m_view = view; }
    VideoView* view() const override { return m_view; }
    bool saveVideoSnapshotAt(const QString& path, int width, int height) override;
    double frameRate() const override { return m_frameRate; }
    bool showFrame(int64_t index) override;

private:
    void changeState(State state);
    void settle(State state);
    void applyState(State state);
    void moveTo(int64_t ms);

    QString m_path;
    QHash<QString, int64_t> m_lengths;
    int64_t m_defaultLength = 60000;
    int64_t m_length = 0;
    int64_t m_time = 0;
    State m_state = Idle;
    Failure m_failure = NoFailure;
    bool m_pausePending = false;
    // A time set while ended: play() starts there instead of at the beginning.
    bool m_seekedSinceEnd = false;
    float m_rate = 1.0f;
    int m_volume = 100;
    bool m_muted = false;
    bool m_queued = false;
    bool m_deferred = false;
    State m_reported = Idle;
    QList<State> m_pending;
    bool m_holdInOpening = false;
    bool m_pictureAvailable = true;
    double m_frameRate = 30;
    QSize m_videoSize{640, 360};
    QStringList m_calls;
    VideoView* m_view = nullptr;
};
