// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the user asked of playback: which recording plays, play and pause, seeks and jumps, speed,
// volume, the heard side, the swap of the two pictures and the move to the next recording. The
// recording itself (its two players, its state, the sub player's follow and the loading watch) is
// an ORBRecordingPlayer.
//
// From a double-click to both players, top to bottom: playAtIndex takes an ORBPlayItem from the
// list, start() hands it to the recording player, which gives both files to its players and plays
// them at once; their reports move the recording's state through its one function. The telemetry
// of the recording is read off the UI thread beside the players; the presentation only ever sees a
// finished, immutable result: an empty one until the read has ended.

#include "core/media/ORBMediaList.h"
#include "core/telemetry/ORBBlackBoxData.h"
#include "platform/MediaPlayer.h"
#include "platform/Scheduler.h"
#include "ui/app/ORBDrivePlayback.h"
#include "ui/app/ORBPlayItem.h"
#include "ui/app/ORBPlaybackState.h"
#include "ui/app/ORBRecordingPlayer.h"

#include <QObject>
#include <QRect>
#include <QStringList>

#include <array>
#include <atomic>
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
// The telemetry of the recording at `path` (empty for none); the read stops, with what it has, at
// the first read of the file after `cancelled` is set.
ORBTelemetry readTelemetry(const std::string& path, const std::atomic<bool>& cancelled);

// What the controller is in the middle of, beside the recording's own state.
enum class ORBPlaybackMove {
    None,
    Announcing, // a start of the user's: its speed and heard side are told once its pictures are out
    Swapping,   // the pictures were exchanged: both files unheard for a moment, the sub left alone
    Advancing,  // the recording ended or cannot be played: the next one follows
};

// How a recording comes to be started: as the user's, as the same recording with its pictures
// exchanged, or as the next part of the drive that plays (speed, heard side and swap kept).
enum class ORBStartKind { Fresh, Swap, Join };

class ORBPlaybackController : public QObject {
    Q_OBJECT
    Q_PROPERTY(int volume READ volume WRITE setVolume NOTIFY volumeChanged)
public:
    static constexpr int kMaxVolume = 200, kVolumeStep = 10, kInitialVolume = 70;
    // The speeds, slowest first; above kMaxSpeedWithSound the engine plays no sound.
    static constexpr std::array<double, 6> kSpeeds = {0.25, 0.5, 1.0, 2.0, 4.0, 8.0};
    static constexpr double kMinSpeed = kSpeeds.front(), kMaxSpeed = kSpeeds.back();
    static constexpr double kMaxSpeedWithSound = 4.0;
    // An ended recording is followed by the next one this much later; a slider at kSliderEnd or
    // beyond stands for the end.
    static constexpr double kAdvanceSeconds = 1.0, kSliderEnd = 0.998;
    // The move to the next recording passes over recordings that cannot be played, up to this many
    // in a row.
    static constexpr int kUnplayableInARowLimit = 3;
    static constexpr double kLoadingGiveUpSeconds = ORBRecordingPlayer::kLoadingGiveUpSeconds;
    // The pictures are exchanged without sound for this long.
    static constexpr double kSwapMuteSeconds = 1.7;

    ORBPlaybackController(ORBRecordingPlayer& recording, const ORBMediaList& list, ORBPlayInfo& info,
                          Scheduler& scheduler, ORBTelemetryReader reader, QObject* parent = nullptr);
    // With a recording player of its own over the main and sub players.
    ORBPlaybackController(MediaPlayer& player1, MediaPlayer& player2, const ORBMediaList& list,
                          ORBPlayInfo& info, Scheduler& scheduler, ORBTelemetryReader reader,
                          QObject* parent = nullptr);
    ~ORBPlaybackController() override;

    // ---- user operations
    // Starts the recording at `row` (clamped to the list). A start under way is superseded.
    bool playAtIndex(int64_t row);
    // A double-click (or Enter) on `row`: a new file starts; the playing file replays or resumes.
    void changeAndPlay(int64_t row);
    // The recording after the current one (whichever of its rows was played), or before it. In drive
    // mode the neighbouring recording of the drive (a join), past its ends the neighbouring drive's.
    bool playNext();
    bool playPrevious();
    // A recording lies after (before) the playing one in the list; in drive mode, in the drives.
    bool hasNext() const;
    bool hasPrevious() const;
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
    // One step faster (slower) through kSpeeds; nothing past either end.
    void increaseSpeed();
    void decreaseSpeed();
    // The nearest of kSpeeds to `speed`.
    void setSpeed(double speed);
    static double nearestSpeed(double speed);
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

    // ---- drives
    // The listing's drives, with the lengths of its files.
    void setDrives(std::vector<nura::DriveRecording> recordings, std::vector<nura::DriveTimeline> drives);
    // The slider over the whole drive instead of the recording; true when it switched. On an event
    // file within a drive, or a recording alone in its drive, nothing changes and the status line
    // says why.
    bool toggleDriveMode();
    // The choice without a word (the remembered one, or asked on the command line).
    void setDriveMode(bool wanted);
    bool driveModeWanted() const { return m_drive.wanted(); }
    bool driveModeActive() const { return m_drive.active(); }
    const ORBDrivePlayback& drivePlayback() const { return m_drive; }
    // Plays the drive of `row` from its start in drive mode.
    bool playDriveFrom(int64_t row);
    // Seeks to a drive time: the recording there plays at its moment.
    void seekDriveTo(int64_t driveMs);

    // The player plays, holds a media and has not run to its end.
    static bool isPlaying(const MediaPlayer& player) { return ORBRecordingPlayer::isPlaying(player); }

    int volume() const { return m_volume; }
    void setVolume(int volume);
    int64_t mediaIndex() const { return m_mediaIndex; }
    const std::optional<ORBPlayItem>& item() const { return m_item; }
    ORBRecordingPlayer& recording() const { return m_recording; }
    ORBRecordingState state() const { return m_recording.state(); }
    ORBPlaybackStatus status() const {
        return playbackStatus(state(), advancing(), m_recording.pauseAskedWhileStarting());
    }
    bool waitingForPlayStart() const { return state() == ORBRecordingState::Starting; }
    ORBPlaybackMove move() const { return m_move; }
    bool advancing() const { return m_move == ORBPlaybackMove::Advancing; }
    bool swapping() const { return m_move == ORBPlaybackMove::Swapping; }
    bool loadingVisible() const { return m_recording.loadingVisible(); }
    double loadingProgress() const { return m_recording.loadingProgress(); }
    int timeReportCounter() const { return m_recording.timeReportCounter(); }
    const ORBTelemetry& telemetry() const { return m_telemetry; }
    MediaPlayer* telemetryPlayer() const { return m_recording.telemetryPlayer(); }
    double telemetryPosition() const { return m_recording.telemetryPosition(); }
    int64_t time() const { return m_recording.time(); }
    int64_t length() const { return m_recording.length(); }

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
    // Within a drive the next recording took over: select `row`; nothing else of the window resets.
    void joined(int64_t row, bool mainIsRear, bool hasPartner);
    // Drive mode came on or went off, or the drive changed (its joins move on the slider).
    void driveModeChanged(bool active);

private:
    void wireRecording();
    bool startRow(int64_t row);
    void start(const ORBPlayItem& item, int64_t row, int64_t fromMs, ORBStartKind kind);
    // The drive's recording `segment` at `fromMs`: a join, not a start.
    void join(size_t segment, int64_t fromMs);
    int64_t rowOf(const QString& path) const;
    void recordingStateChanged(ORBRecordingState state, ORBRecordingState previous);
    void reportFailure(MediaPlayer& player);
    void initMediaControlView();
    void didStartPlayer();
    void didFinishPlay();
    void scheduleAdvance();
    // The drive's recording `segment` takes over once the report of this one's end has been heard.
    void joinLater(size_t segment);
    void prepareNext();
    // `announce`: the status it changes is told at once (not when a start follows, which tells its own).
    void cancelAdvance(bool announce = true);
    void chooseAudioAuto();
    void updateAudioUI();
    void updateFollowing();
    void updateIsPlaying();
    void finishTelemetryRead(const ORBTelemetry& telemetry, const std::shared_ptr<std::atomic<bool>>& read);
    void cancelTelemetryRead();
    void showPosition();
    // Runs `task` after `seconds` unless another start has begun by then.
    void later(double seconds, std::function<void()> task);
    std::optional<ORBPlayItem> itemAtRow(int64_t row) const;
    // Next (1) or Previous (-1) in drive mode; false at the card's first or last drive's end.
    bool playDriveNeighbour(int direction);
    // The move on from an ended or unplayable recording in drive mode: the drive's next recording
    // as a join, or the next drive's first as a start.
    bool advanceThroughDrives();

    std::unique_ptr<ORBRecordingPlayer> m_ownRecording;
    ORBRecordingPlayer& m_recording;
    const ORBMediaList& m_list;
    ORBPlayInfo& m_info;
    Scheduler& m_scheduler;
    ORBTelemetryReader m_reader;
    ORBTelemetry m_telemetry;
    // The read under way for the playing recording: set to cancel it; a result whose flag is not
    // this one's is of another recording.
    std::shared_ptr<std::atomic<bool>> m_telemetryRead;

    ORBPlaybackStatus m_status = ORBPlaybackStatus::Stopped;
    std::optional<ORBPlayItem> m_item;
    int64_t m_mediaIndex = -1;
    // Moves on with every start and stop: delays of an earlier recording never act on a later one.
    unsigned m_generation = 0;
    ORBPlaybackMove m_move = ORBPlaybackMove::None;
    // The camera the user has in the main picture: a part of a drive without it shows the other
    // one there, and the part after shows it again.
    bool m_frontInMain = true;
    // An ended recording waits kAdvanceSeconds for the next one; the token drops a cancelled wait.
    unsigned m_advanceToken = 0;
    // Recordings in a row that could not be played since the user last chose one; -1 while the
    // playing recording is the user's choice rather than the move to the next.
    int m_unplayableInARow = -1;
    // What failed in this start, for the status line.
    QStringList m_failures;
    bool m_sliderHeld = false;
    ORBDrivePlayback m_drive;
    int m_volume = kInitialVolume;
};
