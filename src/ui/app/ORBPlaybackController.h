#pragma once
// Plays one recording moment: the chosen file in the main player, its front/rear partner in the
// sub player, kept at the same moment; seeking, jumps, speed, volume, the heard side, the swap of
// the two pictures, the loading indicator's course and the move to the next recording.
//
// The telemetry of the front file is read off the UI thread at each start. The presentation only
// ever sees a finished, immutable result: an empty one when a start begins, the read one when the
// read has ended.

#include "core/media/ORBMediaList.h"
#include "core/telemetry/ORBBlackBoxData.h"
#include "platform/MediaPlayer.h"
#include "platform/Scheduler.h"

#include <QObject>
#include <QRect>

#include <functional>
#include <memory>

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
    // The end-of-recording watch: its period, and how far a halted player must be to count as ended.
    static constexpr double kWatchSeconds = 1.0, kEndFraction = 0.95, kSliderEnd = 0.998;
    // The loading indicator: one step every 0.3 s, giving up after 15 s.
    static constexpr double kLoadingStepSeconds = 0.3, kLoadingGiveUpSeconds = 15.0;
    // Sub-player following: below one frame nothing, up to kSeekDriftMs a rate correction of at most
    // kMaxRateCorrection, beyond it a seek.
    // The check runs every kFollowSeconds and sizes the correction to close the gap in kCatchUpSeconds.
    static constexpr int64_t kFrameMs = 40, kSeekDriftMs = 500;
    static constexpr double kMaxRateCorrection = 0.1, kFollowSeconds = 0.25, kCatchUpSeconds = 0.5;

    ORBPlaybackController(MediaPlayer& player1, MediaPlayer& player2, const ORBMediaList& list,
                          ORBPlayInfo& info, Scheduler& scheduler, ORBTelemetryReader reader,
                          QObject* parent = nullptr);
    ~ORBPlaybackController() override;

    // ---- user operations
    bool playAtIndex(int64_t row);
    // A double-click (or Enter) on `row`: a new file starts; the playing file replays or resumes.
    void changeAndPlay(int64_t row);
    bool playNext();
    void clickPlayButton();
    // A user's move of a position slider to `value` (0 to 1).
    void videoPositionSliderMoved(double value);
    void jumpForward();
    void jumpBackward();
    void increaseSpeed();
    void decreaseSpeed();
    void volumeSliderMoved(int value) { setVolume(value); }
    void volumeUp() { setVolume(m_volume + kVolumeStep); }
    void volumeDown() { setVolume(m_volume - kVolumeStep); }
    // The audio toggle: on hears the rear file, off the front file.
    void toggleAudioChoice(bool rear);
    // The other side's choice: front to rear and back; from none, the front.
    void toggleAudioSide();
    bool swapPlayer();
    void stopPlay();
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
    bool waitingForPlayStart() const { return m_waitingForPlayStart; }
    bool preparingPlayNext() const { return m_preparingPlayNext; }
    bool moving() const { return m_moving; }
    bool swapping() const { return m_swapping; }
    bool loadingVisible() const { return !m_stopVideoLoadingView; }
    double loadingProgress() const { return m_progress; }
    int timeReportCounter() const { return m_timeReportCounter; }
    const ORBTelemetry& telemetry() const { return m_telemetry; }

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

private:
    void startTimerPlayNext();
    void timerPlayNext();
    void updateVideoUI();
    void initMediaControlView();
    void didStartPlayer();
    void didFinishPlay();
    void chooseAudioAuto();
    void updateAudioUI();
    void syncVideoPositionDelay(double seconds);
    void alignSubPlayer();
    void followMainPlayer();
    void finishTelemetryRead(const ORBTelemetry& telemetry, unsigned generation);
    void failStart(const QString& message);
    void showLoading();
    void updateLoadingWindow(double seconds, unsigned generation);
    void hideLoading();
    void setAllTimesToEnd();
    // Runs `task` after `seconds` unless another start has begun by then.
    void later(double seconds, std::function<void()> task);

    MediaPlayer& m_player1;
    MediaPlayer& m_player2;
    const ORBMediaList& m_list;
    ORBPlayInfo& m_info;
    Scheduler& m_scheduler;
    ORBTelemetryReader m_reader;
    ORBTelemetry m_telemetry;
    RepeatingTask m_playStopTimer;
    RepeatingTask m_followTimer;

    int64_t m_mediaIndex = -1;
    QString m_mediaPath; // the file chosen for the main player at the last start
    unsigned m_generation = 0;
    bool m_waitingForPlayStart = false;
    bool m_preparingPlayNext = false;
    bool m_moving = false;
    double m_movingPosition = 0;
    bool m_swapping = false;
    bool m_subRateCorrected = false;
    int m_volume = kInitialVolume;
    int m_timeReportCounter = -1;
    double m_progress = 0;
    bool m_stopVideoLoadingView = true;
    unsigned m_loadingGeneration = 0;
};
