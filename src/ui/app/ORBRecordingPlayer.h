// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One recording on its two players: the main picture's player and the sub picture's, holding the
// recording's front and rear files. The recording's state follows from its players' states through
// one function (nextRecordingState), as a bin's follows from its children's. It hears its players
// itself, keeps the sub player at the main picture's moment, watches the start for pictures, and
// says where playback stands in time and in the telemetry.
//
// Every question of which player is which goes here: the main and sub players are fixed to their
// views; the front and rear follow the files; the lead is the main player, or the sub player when
// the main one failed.

#include "platform/MediaPlayer.h"
#include "platform/Scheduler.h"
#include "ui/app/ORBPlayItem.h"
#include "ui/app/ORBPlaybackState.h"

#include <QObject>

#include <memory>
#include <optional>
#include <vector>

class ORBRecordingPlayer : public QObject {
    Q_OBJECT
public:
    // The loading indicator: one step every 0.3 s. A player that has shown no picture after
    // kLoadingGiveUpSeconds has failed.
    static constexpr double kLoadingStepSeconds = 0.3, kLoadingGiveUpSeconds = 15.0;
    // Sub-player following: trailing by up to a frame or leading by up to kLeadToleranceMs nothing,
    // up to kSeekDriftMs a rate correction of at most kMaxRateCorrection, beyond it a seek. The
    // check runs every kFollowSeconds and sizes the correction to close the gap in kCatchUpSeconds.
    // After a change of rate the sub player is aligned once the engines have taken it up.
    static constexpr int64_t kFrameMs = 40, kLeadToleranceMs = 10, kSeekDriftMs = 500;
    static constexpr double kRateSettleSeconds = 0.3;
    static constexpr double kMaxRateCorrection = 0.1, kFollowSeconds = 0.25, kCatchUpSeconds = 0.5;

    ORBRecordingPlayer(MediaPlayer& main, MediaPlayer& sub, Scheduler& scheduler, QObject* parent = nullptr);
    // Takes the players over: they live as long as the recording player.
    ORBRecordingPlayer(std::unique_ptr<MediaPlayer> main, std::unique_ptr<MediaPlayer> sub,
                       Scheduler& scheduler, QObject* parent = nullptr);
    ~ORBRecordingPlayer() override;

    // A second pair of players, drawing nowhere, on which the next recording is prepared.
    void setSparePlayers(MediaPlayer& main, MediaPlayer& sub);
    void setSparePlayers(std::unique_ptr<MediaPlayer> main, std::unique_ptr<MediaPlayer> sub);

    // ---- who is who
    MediaPlayer& main() const { return *m_main; }
    MediaPlayer& sub() const { return *m_sub; }
    // The player whose time is the recording's: the main one, or the sub one when the main one failed
    // or ended before it.
    MediaPlayer& lead() const { return players().subLeads() ? *m_sub : *m_main; }
    MediaPlayer& follower() const { return &lead() == m_main ? *m_sub : *m_main; }
    // The players holding the front and the rear file of the recording, or none.
    MediaPlayer* front() const;
    MediaPlayer* rear() const;
    // The player of a side: 0 front, 1 rear.
    MediaPlayer* side(unsigned direction) const { return direction == 1 ? rear() : front(); }
    // The player showing the telemetry's file (the front one, or a lone rear one), or none.
    MediaPlayer* telemetryPlayer() const;
    ORBPlayerStates players() const { return {m_main->state(), m_sub->state(), m_sub->hasMedia()}; }
    const std::optional<ORBPlayItem>& item() const { return m_item; }

    // ---- the recording
    // Gives the players the item's files, at `fromMs` when above 0: the state becomes Starting.
    // Nothing plays until start().
    void open(const ORBPlayItem& item, int64_t fromMs);
    // Opens `item` on the spare pair, unheard and paused on its first pictures: an open() of the
    // same item then hands the views over to it at once, with no black picture between. Nothing
    // happens without a spare pair.
    void prepare(const ORBPlayItem& item);
    void dropPrepared();
    const std::optional<ORBPlayItem>& prepared() const { return m_prepared; }
    // Plays what open() gave; the loading watch begins, with its indicator unless the recording
    // goes on from the one before (a join within a drive).
    void start(bool showIndicator = true);
    // Stops both players; `forget` also takes their files away.
    void stop(bool forget);
    // Plays (resumes) every player that holds a file and has neither failed nor, while the other
    // plays on, ended.
    void play();
    // Pauses the players that play; one still opening keeps the pause and comes up paused.
    void pause();
    // Both players to `ms` (each clamped to its own file); the end sends both to their ends. While
    // the recording plays, a file that had ended plays again from there.
    void seek(int64_t ms);
    void seekToEnd();
    void setRate(float rate);
    // Moves the sub player to the lead's moment after `seconds`.
    void alignLater(double seconds);
    // While off, the sub player is left alone (a slider held, a swap under way).
    void setFollowing(bool following) { m_following = following; }

    ORBRecordingState state() const { return m_state; }
    // A pause was asked while the players open: they come up paused unless play() takes it back.
    bool pauseAskedWhileStarting() const { return m_state == ORBRecordingState::Starting && m_pauseAsked; }
    // The leading player's time, and the longer file's length, in milliseconds.
    int64_t time() const { return lead().time(); }
    int64_t length() const;
    // The time over the length, 0 to 1.
    double position() const;
    // The lead's time over the telemetry file's length, 0 to 1: the same moment is the same time in
    // both files, not the same fraction of two lengths.
    double telemetryPosition() const;
    // Tells where playback stands (positionChanged), as every third time report does.
    void publishPosition();
    void restartTimeReports() { m_timeReportCounter = -1; }
    int timeReportCounter() const { return m_timeReportCounter; }
    bool loadingVisible() const { return m_loadingVisible; }
    double loadingProgress() const { return m_progress; }

    // The player plays, holds a media and has not run to its end.
    static bool isPlaying(const MediaPlayer& player);

signals:
    void stateChanged(ORBRecordingState state, ORBRecordingState previous);
    // Where playback stands: the lead's time and the telemetry position.
    void positionChanged(int64_t milliseconds, double telemetryFraction);
    // A player of the recording failed (before the state follows).
    void playerFailed(MediaPlayer* player);
    // Either player reported a change of state or time.
    void playersReported();
    // The lead's first time report after a start: its picture is out.
    void firstPicture();
    void loadingShown();
    void loadingProgressChanged(double percent);
    void loadingHidden();

private:
    void connectPlayers();
    bool isSpare(const MediaPlayer* player) const;
    void takePrepared();
    void playerStateChanged(MediaPlayer* player);
    void playerTimeChanged(MediaPlayer* player);
    void transition(ORBPlaybackEvent event);
    void enterState(ORBRecordingState previous);
    void align();
    void follow();
    void showLoading();
    void stepLoading(unsigned generation);
    void hideLoading();
    void giveUpSilentPlayers();
    void later(double seconds, std::function<void()> task);

    std::vector<std::unique_ptr<MediaPlayer>> m_owned;
    // The pair playing the recording, fixed to the views while it plays, and the spare pair.
    MediaPlayer* m_main;
    MediaPlayer* m_sub;
    MediaPlayer* m_spareMain = nullptr;
    MediaPlayer* m_spareSub = nullptr;
    std::optional<ORBPlayItem> m_prepared;
    Scheduler& m_scheduler;
    RepeatingTask m_followTimer;
    std::optional<ORBPlayItem> m_item;
    ORBRecordingState m_state = ORBRecordingState::Idle;
    // Moves on with every start and stop: delays of an earlier start never act on a later one.
    unsigned m_generation = 0;
    bool m_following = true;
    bool m_pauseAsked = false;
    bool m_subRateCorrected = false;
    int m_timeReportCounter = -1;
    double m_progress = 0;
    bool m_loadingVisible = false;
    unsigned m_loadingGeneration = 0;
};
