#pragma once
// The media player over libVLC. Frames come through the engine's memory callbacks and are shown
// in a VideoView; engine events arrive on engine threads and are only queued to the UI thread.
// Between the engine's sparse time events, time is reported on a steady tick, interpolated
// from the last known time at the playback rate (PlaybackClock).

#include "platform/MediaPlayer.h"
#include "platform/PlaybackClock.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

#include <atomic>
#include <memory>

struct libvlc_media_player_t;
struct libvlc_media_t;
struct libvlc_event_t;
class VlcLibrary;
class VideoView;

class VlcMediaPlayer : public MediaPlayer {
    Q_OBJECT
public:
    // Interval of the time reports while playing.
    static constexpr int kTimeReportMs = 40;
    // How long after coming to a halt a frame seek waits for the engine's queued pictures.
    static constexpr int64_t kPauseSettleMs = 250;

    VlcMediaPlayer(std::shared_ptr<VlcLibrary> library, VideoView* view, QObject* parent = nullptr);
    ~VlcMediaPlayer() override;

    void setMedia(const QString& path) override;
    QString media() const override { return m_path; }
    int64_t mediaLength() const override { return m_length; }

    void play() override;
    void pause() override;
    void stop() override;

    State state() const override { return m_state; }
    Failure failure() const override { return m_failure; }
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

    bool saveVideoSnapshotAt(const QString& path, int width, int height) override;

    // One line of picture counts for the current media, for measuring smoothness: what the engine
    // decoded and dropped as late, what it handed over, and what reached the view and the screen.
    QString pictureCounts() const;
    double frameRate() const override { return m_frameRate; }
    bool showFrame(int64_t index) override;

private:
    struct FrameSink;
    enum class EngineEvent { Opening, Playing, Paused, Stopped, Ended, Error, Time, Length, Parsed };

    static void onEngineEvent(const libvlc_event_t* event, void* opaque);
    static void* lockFrame(void* opaque, void** planes);
    static void displayFrame(void* opaque, void* picture);
    static unsigned setupFormat(void** opaque, char* chroma, unsigned* width, unsigned* height,
                                unsigned* pitches, unsigned* lines);
    static void cleanupFormat(void* opaque);

    void handleEngineEvent(EngineEvent event, int64_t value, int generation);
    void showLatestFrame();
    void setState(State state);
    void releaseMedia();
    void restartAfterEnd();
    void applyPendingSeek();
    void applyAudio();
    void readMediaInfo();
    void failStart();
    int64_t wallMs() const { return m_wall.elapsed(); }
    bool running() const { return m_clock.running(); }
    void rebase(int64_t ms) {
        m_clock.setTime(ms, wallMs());
        m_onFrame = false;
    }

    std::shared_ptr<VlcLibrary> m_library;
    std::unique_ptr<FrameSink> m_sink;
    QPointer<VideoView> m_view;
    libvlc_media_player_t* m_player = nullptr;
    libvlc_media_t* m_media = nullptr;
    QString m_path;

    // Events carry the generation current when the engine sent them; a new media, a stop or a
    // restart moves it on, so late reports of the previous run are dropped.
    std::atomic<int> m_generation{0};
    // Set around our own stop when restarting after the end, so callers see no Stopped state.
    std::atomic<bool> m_swallowStopped{false};
    std::atomic<bool> m_framePending{false};

    State m_state = Idle;
    Failure m_failure = NoFailure;
    int64_t m_length = 0;
    QSize m_trackSize;
    double m_frameRate = 0;
    // Halted on a frame shown by showFrame: its start is the time, whatever the engine reports,
    // until playback or a seek moves on.
    bool m_onFrame = false;

    QElapsedTimer m_wall;
    mutable PlaybackClock m_clock;
    // play() was asked and the engine has not said Playing yet.
    bool m_starting = false;
    // A pause asked while starting: the engine cannot pause before it plays, so it is applied
    // on Playing, and the caller sees Halted rather than Playing.
    bool m_pausePending = false;
    // A seek asked while the engine cannot take it (stopped, opening, at the end): applied on Playing.
    int64_t m_pendingTime = -1;
    float m_pendingPosition = -1;
    bool m_seeking = false;
    QElapsedTimer m_seekClock;

    // When the player last came to a halt, and the latest frame seek still waiting for the engine
    // to settle after it (see showFrame).
    int64_t m_haltedAtMs = -1;
    int m_frameSeekSerial = 0;

    float m_rate = 1.0f;
    int m_volume = 100;
    bool m_muted = false;
    QTimer m_ticker;
};
