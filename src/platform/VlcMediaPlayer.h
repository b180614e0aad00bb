// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The media player over libVLC. Every engine call runs on the player's own worker thread, as the
// engine's calls wait for its input thread, which waits for the file: a slow or pulled card would
// otherwise freeze the window. The UI thread posts commands and keeps its own record of the engine;
// engine events are queued to it with the run they belong to, and late ones are dropped. What the
// player is doing follows from one function of (state, event) (PlayerStateMachine).
// Frames come through the engine's memory callbacks and are shown in a VideoView. Between the
// engine's sparse time events, time is reported on a steady tick, interpolated from the last known
// time at the playback rate (PlaybackClock).

#include "platform/MediaPlayer.h"
#include "platform/PlaybackClock.h"
#include "platform/PlayerStateMachine.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>

struct libvlc_event_t;
struct libvlc_media_player_t;
class VlcLibrary;
class VideoView;

class VlcMediaPlayer : public MediaPlayer {
    Q_OBJECT
public:
    // Interval of the time reports while playing.
    static constexpr int kTimeReportMs = 40;
    // How long after coming to a halt a frame seek waits for the engine's queued pictures.
    static constexpr int64_t kPauseSettleMs = 250;
    // How long the player waits at quit for its engine to stop before leaving it behind.
    static constexpr int kShutdownWaitMs = 2000;

    VlcMediaPlayer(std::shared_ptr<VlcLibrary> library, VideoView* view, QObject* parent = nullptr);
    ~VlcMediaPlayer() override;

    void setMedia(const QString& path) override;
    QString media() const override { return m_path; }
    int64_t mediaLength() const override { return m_length; }

    void play() override;
    void pause() override;
    void stop() override;

    State state() const override { return m_machine.state; }
    Failure failure() const override { return m_machine.failure; }
    void giveUp(Failure reason) override;

    float position() const override;
    void setPosition(float position) override;
    int64_t time() const override;
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

    void setView(VideoView* view) override;
    VideoView* view() const override;

    bool saveVideoSnapshotAt(const QString& path, int width, int height) override;

    // One line of picture counts for the current media, for measuring smoothness: what the engine
    // decoded and dropped as late, what it handed over, and what reached the view and the screen.
    QString pictureCounts() const;
    double frameRate() const override { return m_frameRate; }
    bool showFrame(int64_t index) override;

private:
    struct FrameSink;
    struct Engine;
    struct MediaInfo {
        int64_t length = 0;
        QSize size;
        double frameRate = 0;
        bool tracksKnown = false;
        bool hasVideo = false;
    };

    static void onEngineEvent(const libvlc_event_t* event, void* opaque);
    static void* lockFrame(void* opaque, void** planes);
    static void displayFrame(void* opaque, void* picture);
    static unsigned setupFormat(void** opaque, char* chroma, unsigned* width, unsigned* height,
                                unsigned* pitches, unsigned* lines);
    static void cleanupFormat(void* opaque);

    // Worker thread: the engine's side of each command.
    static void createEngine(Engine& engine);
    static void destroyEngine(Engine& engine);
    static void loadMedia(Engine& engine, const QByteArray& path, int media, int run);
    static void startEngine(Engine& engine, int run);
    static void stopEngine(Engine& engine, int run);
    static void releaseMedia(Engine& engine);
    static void readMediaInfo(Engine& engine, int media);
    static void readStats(Engine& engine);

    // UI thread.
    void apply(const PlayerEvent& event);
    void onEngineState(PlayerEvent::Kind kind, int run);
    void onEngineTime(int64_t ms, int run);
    void onMediaInfo(const MediaInfo& info, int media);
    void showLatestFrame();
    // Runs `call` on the engine's worker with the engine's player, when it has one; seeks may take
    // the place of one still waiting.
    void postToPlayer(std::function<void(libvlc_media_player_t*)> call, bool seek = false);
    void seekEngine(int64_t ms);
    void setEnginePosition(float position);
    void setEnginePause(bool pause);
    int64_t frameMiddle(int64_t index) const {
        return static_cast<int64_t>((static_cast<double>(index) + 0.5) * frameDurationMs());
    }
    bool applyPendingSeek(bool halting); // whether there was one
    void applyAudio();
    void seekWhenSettled(int64_t engineMs);
    void seekOnceSettled(int serial);
    bool currentFrame(QImage* frame) const;
    int64_t wallMs() const { return m_wall.elapsed(); }
    bool running() const { return m_clock.running(); }
    void rebase(int64_t ms) {
        m_clock.setTime(ms, wallMs());
        m_onFrame = false;
    }

    std::shared_ptr<Engine> m_engine;
    QPointer<VideoView> m_view;
    QString m_path;
    PlayerMachine m_machine;

    int64_t m_length = 0;
    QSize m_trackSize;
    double m_frameRate = 0;
    bool m_hasVideoOut = false;
    // Halted on a frame put up by a seek while halted (showFrame, setTime): the time set then stands,
    // whatever the engine reports, until playback or another seek moves on.
    bool m_onFrame = false;
    // A frame asked for at the end: the engine restarts paused on it.
    int64_t m_restartFrame = -1;

    QElapsedTimer m_wall;
    mutable PlaybackClock m_clock;
    // A seek asked while the engine cannot take it (stopped, opening, at the end): applied on Playing.
    int64_t m_pendingTime = -1;
    float m_pendingPosition = -1;
    bool m_seeking = false;
    QElapsedTimer m_seekClock;

    // When the player last came to a halt, and the latest seek while halted still waiting for the
    // engine to settle after it (seekWhenSettled), -1 for none.
    int64_t m_haltedAtMs = -1;
    int64_t m_settleSeekMs = -1;
    int m_haltedSeekSerial = 0;

    float m_rate = 1.0f;
    int m_volume = 100;
    bool m_muted = false;
    QTimer m_ticker;
    int m_ticks = 0;
};
