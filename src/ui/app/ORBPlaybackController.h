// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Plays one recording moment: the chosen file in the main player, its front/rear partner in the
// sub player, kept at the same moment; seeking, jumps, speed, volume, the heard side, the swap of
// the two pictures, the loading watch and the move to the next recording.
//
// From a double-click to both players, top to bottom: playAtIndex takes an ORBPlayItem from the
// list, start() hands both files to the players and plays them at once, and the players' reports
// move the recording's state (ORBPlaybackState) through its one function. The telemetry of the
// recording is read off the UI thread beside the players; the presentation only ever sees a
// finished, immutable result: an empty one until the read has ended.

#include "core/media/ORBMediaList.h"
#include "core/telemetry/ORBBlackBoxData.h"
#include "platform/MediaPlayer.h"
#include "platform/Scheduler.h"
#include "ui/app/ORBPlayItem.h"
#include "ui/app/ORBPlaybackState.h"

#include <QObject>
#include <QRect>

#include <functional>
#include <memory>
#include <optional>

class ORBPlayInfo;

using ORBTelemetry = std::shared_ptr<const nura::ORBBlackBoxData>;

// Runs `read` off the UI thread and hands its result to `done` on the UI thread, unless `context`
// has been destroyed by then.
using ORBTelemetryReader = std::function<void(QObject* context, std::function<ORBTelemetry()> read,
                                              std::function<void(ORBTelemetry)> done)>;

// The reader of the application: a thread-pool task.
ORBTelemetryReader backgroundTelemetryReader();
// Reads at once on the calling thread (tests).
ORBTelemetryReader inlineTelemetryReader();

// What one scale step does to the window.
struct ORBScaleStep {
    enum Action { Nothing, Resize, EnterFullscreen, LeaveFullscreen } action = Nothing;
    QRect frame; // for Resize
};

class ORBPlaybackController : public QObject {
    Q_OBJECT
    Q_PROPERTY(int volume READ volume WRITE setVolume NOTIFY volumeChanged)
public:
    // One step is a fifth of the minimum window; above this the window goes full screen.
    static constexpr int kMinWidth = 1020, kMinHeight = 640;
    static constexpr int kMaxVolume = 200, kVolumeStep = 10, kInitialVolume = 70;
    static constexpr double kMaxSpeed = 2.0;
    // An ended recording is followed by the next one this much later; a slider at kSliderEnd or
    // beyond stands for the end.
    static constexpr double kAdvanceSeconds = 1.0, kSliderEnd = 0.998;
    // The loading indicator: one step every 0.3 s. A player that has shown no picture after
    // kLoadingGiveUpSeconds has failed.
    static constexpr double kLoadingStepSeconds = 0.3, kLoadingGiveUpSeconds = 15.0;
    // Sub-player following: below one frame nothing, up to kSeekDriftMs a rate correction of at most
    // kMaxRateCorrection, beyond it a seek.
    // The check runs every kFollowSeconds and sizes the correction to close the gap in kCatchUpSeconds.
    static constexpr int64_t kFrameMs = 40, kSeekDriftMs = 500;
    static constexpr double kMaxRateCorrection = 0.1, kFollowSeconds = 0.25, kCatchUpSeconds = 0.5;
    // The pictures are exchanged without sound for this long.
    static constexpr double kSwapMuteSeconds = 1.7;

    ORBPlaybackController(MediaPlayer& player1, MediaPlayer& player2, const ORBMediaList& list,
                          ORBPlayInfo& info, Scheduler& scheduler, ORBTelemetryReader reader,
                          QObject* parent = nullptr);
    ~ORBPlaybackController() override;

    // ---- user operations
    // Starts the recording at `row` (clamped to the list). A start under way is superseded.
    bool playAtIndex(int64_t row);
    // A double-click (or Enter) on `row`: a new file starts; the playing file replays or resumes.
    void changeAndPlay(int64_t row);
    // The recording after the current one (whichever of its rows was played), or before it.
    bool playNext();
    bool playPrevious();
    void clickPlayButton();
    void play();
    void pause();
    // A user's move of a position slider to `value` (0 to 1). While `held`, the sliders are the
    // user's: nothing else moves them.
    void videoPositionSliderMoved(double value);
    void setSliderHeld(bool held);
    bool sliderHeld() const { return m_sliderHeld; }
    // Seeks the recording to `ms` of the main picture's file (clamped to it); the end sends both
    // players to their ends.
    void seekTo(int64_t ms);
    void jumpForward();
    void jumpBackward();
    void increaseSpeed();
    void decreaseSpeed();
    void setSpeed(double speed);
    void volumeSliderMoved(int value) { setVolume(value); }
    void volumeUp() { setVolume(m_volume + kVolumeStep); }
    void volumeDown() { setVolume(m_volume - kVolumeStep); }
    // The audio toggle: on hears the rear file, off the front file.
    void toggleAudioChoice(bool rear);
    // The other side's choice: front to rear and back; from none, the front.
    void toggleAudioSide();
    bool swapPlayer();
    // Stops both players. The recording is kept, so play() starts it again from the beginning,
    // unless `forget` (a folder was opened, the window closes).
    void stopPlay(bool forget = true);
    // The list was rescanned: find the playing file's row again (-1 when it is gone).
    void mediaListReloaded();

    // ---- player notifications
    void mediaPlayerStateChanged(MediaPlayer* player);
    void mediaPlayerTimeChanged(MediaPlayer* player);

    // The player plays, holds a media and has not run to its end.
    static bool isPlaying(const MediaPlayer& player);
    // What a scale step does to a window of `window` on a screen of `screen` (available area).
    static ORBScaleStep scaleStep(const QRect& window, const QRect& screen, bool fullScreen, int step);

    int volume() const { return m_volume; }
    void setVolume(int volume);
    int64_t mediaIndex() const { return m_mediaIndex; }
    const std::optional<ORBPlayItem>& item() const { return m_item; }
    ORBRecordingState state() const { return m_state; }
    ORBPlaybackStatus status() const { return playbackStatus(m_state, m_advancing); }
    bool waitingForPlayStart() const { return m_state == ORBRecordingState::Starting; }
    bool advancing() const { return m_advancing; }
    bool swapping() const { return m_swapping; }
    bool loadingVisible() const { return !m_stopVideoLoadingView; }
    double loadingProgress() const { return m_progress; }
    int timeReportCounter() const { return m_timeReportCounter; }
    const ORBTelemetry& telemetry() const { return m_telemetry; }
    // The player showing the telemetry's file (the front one, or a lone rear one), or none.
    MediaPlayer* telemetryPlayer() const;
    // Where playback stands in the telemetry: the main picture's time over the telemetry file's
    // length, 0 to 1. The G-sensor and GPS values, the graph's bar and the event markers use it.
    double telemetryPosition() const;
    // The leading player's time and length in milliseconds (the main one, or the sub one when the
    // main one failed).
    int64_t time() const;
    int64_t length() const;

signals:
    void volumeChanged(int volume);
    // A start began: select `row` in the list; the main picture shows the rear file when mainIsRear.
    void recordingStarting(int64_t row, bool mainIsRear, bool hasPartner);
    // The pictures were exchanged; the window animates them into place.
    void swapped(bool mainIsRear);
    void telemetryChanged(const ORBTelemetry& telemetry);
    // The controls' reset for a new recording, and the scale step the window should take.
    void controlsReset();
    void scaleStepRequested(int step);
    void audioToggleChanged(bool visible, bool rear);
    void loadingShown();
    void loadingProgressChanged(double percent);
    void loadingHidden();
    // A one-line message for the window's status text.
    void statusMessage(const QString& text);
    // The recording's state or the status it shows changed.
    void stateChanged(ORBRecordingState state);
    void statusChanged(ORBPlaybackStatus status);
    // Another recording (or none) is loaded.
    void itemChanged();
    // A seek was asked; the time is where it lands.
    void seeked(int64_t ms);
    void speedChanged(double speed);
    // A player of the recording failed: the side (0 front, 1 rear) and the reason.
    void sideFailed(int side, MediaPlayer::Failure reason);

private:
    void start(const ORBPlayItem& item, int64_t row, int64_t fromMs, bool swap);
    void transition(ORBPlaybackEvent event);
    void enterState(ORBRecordingState previous);
    void reportFailure(MediaPlayer& player);
    void initMediaControlView();
    void didStartPlayer();
    void didFinishPlay();
    void scheduleAdvance();
    void cancelAdvance();
    void chooseAudioAuto();
    void updateAudioUI();
    void updateIsPlaying();
    void syncVideoPositionDelay(double seconds);
    void alignSubPlayer();
    void followMainPlayer();
    void finishTelemetryRead(const ORBTelemetry& telemetry, unsigned generation);
    void showLoading();
    void updateLoadingWindow(double seconds, unsigned generation);
    void hideLoading();
    void giveUpSilentPlayers();
    void setAllTimesToEnd();
    void publishPosition();
    // Runs `task` after `seconds` unless another start has begun by then.
    void later(double seconds, std::function<void()> task);
    MediaPlayer& lead() { return leadPlayers().subLeads() ? m_player2 : m_player1; }
    const MediaPlayer& lead() const { return leadPlayers().subLeads() ? m_player2 : m_player1; }
    ORBPlayerStates leadPlayers() const;
    std::optional<ORBPlayItem> itemAtRow(int64_t row) const;

    MediaPlayer& m_player1;
    MediaPlayer& m_player2;
    const ORBMediaList& m_list;
    ORBPlayInfo& m_info;
    Scheduler& m_scheduler;
    ORBTelemetryReader m_reader;
    ORBTelemetry m_telemetry;
    RepeatingTask m_followTimer;

    ORBRecordingState m_state = ORBRecordingState::Idle;
    ORBPlaybackStatus m_status = ORBPlaybackStatus::Stopped;
    std::optional<ORBPlayItem> m_item;
    int64_t m_mediaIndex = -1;
    // Moves on with every start and stop: delays of an earlier recording never act on a later one.
    unsigned m_generation = 0;
    // An ended recording waits kAdvanceSeconds for the next one; the token drops a cancelled wait.
    bool m_advancing = false;
    unsigned m_advanceToken = 0;
    bool m_sliderHeld = false;
    bool m_swapping = false;
    bool m_subRateCorrected = false;
    bool m_didStart = false;
    int m_volume = kInitialVolume;
    int m_timeReportCounter = -1;
    double m_progress = 0;
    bool m_stopVideoLoadingView = true;
    unsigned m_loadingGeneration = 0;
};
