// SPDX-License-Identifier: GPL-3.0-or-later
// What a player does with the user's commands and the engine's reports, without an engine: the
// usual ways through, late reports, and thousands of random orders checked against the rules.

#include "platform/PlayerStateMachine.h"

#include <QtTest>

#include <random>

namespace {

using S = MediaPlayer::State;

struct Driver {
    PlayerMachine m;
    unsigned actions = 0;
    bool dropped = false;

    Driver& on(PlayerEvent event) {
        const PlayerStep step = playerStep(m, event);
        m = step.next;
        actions = step.actions;
        dropped = step.dropped;
        return *this;
    }
    Driver& setMedia(bool has = true) {
        PlayerEvent e{PlayerEvent::SetMedia};
        e.hasMedia = has;
        return on(e);
    }
    Driver& user(PlayerEvent::Kind kind, MediaPlayer::Failure reason = MediaPlayer::NoFailure) {
        return on({kind, 0, reason});
    }
    Driver& engine(PlayerEvent::Kind kind) { return on({kind, m.run}); }
    Driver& fault(MediaPlayer::Failure reason) { return on({PlayerEvent::MediaFault, m.media, reason}); }
};

} // namespace

class PlayerStateMachineTest : public QObject {
    Q_OBJECT

private slots:
    void startsPausesResumesAndEnds() {
        Driver d;
        d.setMedia();
        QCOMPARE(d.m.state, S::Idle);
        QVERIFY(d.actions & kLoadMedia);
        d.user(PlayerEvent::Play);
        QCOMPARE(d.m.state, S::Opening);
        d.engine(PlayerEvent::EnginePlaying);
        QCOMPARE(d.m.state, S::Playing);
        QCOMPARE(d.actions, unsigned(kApplySeek | kApplyAudio | kClockRuns));

        d.user(PlayerEvent::Pause);
        QCOMPARE(d.m.state, S::Paused);
        QVERIFY(d.actions & kPauseEngine);
        // The engine's own report of a pause or a resume changes nothing, whenever it comes.
        d.engine(PlayerEvent::EnginePlaying);
        QCOMPARE(d.m.state, S::Paused);
        d.user(PlayerEvent::Play);
        QCOMPARE(d.m.state, S::Playing);
        QCOMPARE(d.actions, unsigned(kResumeEngine | kClockRuns));

        d.engine(PlayerEvent::EngineEnded);
        QCOMPARE(d.m.state, S::Ended);
        QVERIFY(d.actions & kClockToEnd);
        // The engine's Stopped that follows its end is no stop.
        d.engine(PlayerEvent::EngineStopped);
        QCOMPARE(d.m.state, S::Ended);
        // Played again: through opening.
        d.user(PlayerEvent::Play);
        QCOMPARE(d.m.state, S::Opening);
        d.engine(PlayerEvent::EnginePlaying);
        QCOMPARE(d.m.state, S::Playing);
        // A pause is never an end (the rules below); but media that played out before the pause
        // reached the engine has ended.
        d.user(PlayerEvent::Pause).engine(PlayerEvent::EngineEnded);
        QCOMPARE(d.m.state, S::Ended);
    }

    void aPauseWhileOpeningLandsPausedUnlessPlayFollows() {
        Driver d;
        d.setMedia().user(PlayerEvent::Play).user(PlayerEvent::Pause);
        QCOMPARE(d.m.state, S::Opening);
        d.engine(PlayerEvent::EnginePlaying);
        QCOMPARE(d.m.state, S::Paused);
        QCOMPARE(d.actions, unsigned(kApplySeek | kApplyAudio | kPauseEngine));

        d.setMedia().user(PlayerEvent::Play).user(PlayerEvent::Pause).user(PlayerEvent::Play);
        d.engine(PlayerEvent::EnginePlaying);
        QCOMPARE(d.m.state, S::Playing);
    }

    void failuresSayWhy() {
        // The file check answers before play: play fails at once, without the engine.
        Driver d;
        d.setMedia().fault(MediaPlayer::CannotOpen);
        QCOMPARE(d.m.state, S::Idle);
        d.user(PlayerEvent::Play);
        QCOMPARE(d.m.state, S::Failed);
        QCOMPARE(d.m.failure, MediaPlayer::CannotOpen);
        QCOMPARE(d.actions, unsigned(kNoAction));

        // Found while opening: the engine stops.
        d.setMedia().user(PlayerEvent::Play).fault(MediaPlayer::NoVideoTrack);
        QCOMPARE(d.m.state, S::Failed);
        QCOMPARE(d.m.failure, MediaPlayer::NoVideoTrack);
        QVERIFY(d.actions & kStopEngine);

        // Noise the engine ran through before its header read finished did not end as a recording.
        d.setMedia()
            .user(PlayerEvent::Play)
            .engine(PlayerEvent::EnginePlaying)
            .engine(PlayerEvent::EngineEnded);
        d.fault(MediaPlayer::NoVideoTrack);
        QCOMPARE(d.m.state, S::Failed);

        d.setMedia().user(PlayerEvent::Play).engine(PlayerEvent::EngineError);
        QCOMPARE(d.m.failure, MediaPlayer::EngineError);
        // After an engine error, play tries again.
        d.user(PlayerEvent::Play);
        QCOMPARE(d.m.state, S::Opening);

        d.user(PlayerEvent::GiveUp, MediaPlayer::NoPicture);
        QCOMPARE(d.m.state, S::Failed);
        QCOMPARE(d.m.failure, MediaPlayer::NoPicture);
        QVERIFY(d.actions & kStopEngine);
    }

    // Random users and engines: reports come late, twice or never, tagged with the current run or
    // an earlier one. After each step the rules hold: a report of an earlier media or run (a stop's
    // own among them) is dropped and changes nothing.
    void randomOrdersKeepTheRules() {
        const PlayerEvent::Kind kinds[] = {
            PlayerEvent::SetMedia,     PlayerEvent::Play,          PlayerEvent::Pause,
            PlayerEvent::Stop,         PlayerEvent::GiveUp,        PlayerEvent::EnginePlaying,
            PlayerEvent::EnginePaused, PlayerEvent::EngineStopped, PlayerEvent::EngineEnded,
            PlayerEvent::EngineError,  PlayerEvent::MediaFault,
        };
        const MediaPlayer::Failure faults[] = {MediaPlayer::CannotOpen, MediaPlayer::NoVideoTrack};
        for (unsigned seed = 1; seed <= 3000; ++seed) {
            std::mt19937 random(seed);
            PlayerMachine m;
            for (int i = 0; i < 60; ++i) {
                PlayerEvent e{kinds[random() % std::size(kinds)]};
                const bool late = random() % 3 == 0;
                e.tag = e.kind == PlayerEvent::MediaFault ? m.media - (late ? 1 : 0) : m.run - (late ? 1 : 0);
                e.reason = e.kind == PlayerEvent::GiveUp ? MediaPlayer::NoPicture : faults[random() % 2];
                e.hasMedia = random() % 5 != 0;
                const PlayerStep step = playerStep(m, e);
                const PlayerMachine& n = step.next;
                const QByteArray where = QByteArray("seed ") + QByteArray::number(seed) + " step " +
                                         QByteArray::number(i) + " event " + QByteArray::number(e.kind);
                const bool report = e.kind >= PlayerEvent::EnginePlaying;
                const bool current = e.tag == (e.kind == PlayerEvent::MediaFault ? m.media : m.run);
                QVERIFY2(step.dropped == (report && !current), where);
                if (step.dropped) {
                    QVERIFY2(n == m, where);
                }
                QVERIFY2(n.run >= m.run && n.media >= m.media, where);
                QVERIFY2((n.state == S::Failed) == (n.failure != MediaPlayer::NoFailure), where);
                QVERIFY2(n.hasMedia || n.state == S::Idle, where);
                QVERIFY2(!n.pauseWanted || n.state == S::Opening, where);
                if (n.state != m.state) {
                    // Ended comes only from the current run's end report.
                    if (n.state == S::Ended) {
                        QVERIFY2(e.kind == PlayerEvent::EngineEnded && current, where);
                    }
                    // Out of opening into playing or paused only when the engine plays.
                    if (m.state == S::Opening && (n.state == S::Playing || n.state == S::Paused)) {
                        QVERIFY2(e.kind == PlayerEvent::EnginePlaying, where);
                    }
                    if (n.state == S::Paused) {
                        QVERIFY2(m.state == S::Opening || e.kind == PlayerEvent::Pause, where);
                    }
                    if (n.state == S::Opening) {
                        QVERIFY2(n.run != m.run && (step.actions & kStartEngine), where);
                    }
                }
                if (e.kind == PlayerEvent::SetMedia || e.kind == PlayerEvent::Stop) {
                    QVERIFY2(n.state == S::Idle, where);
                }
                m = n;
                // Never stuck: a play answered by the engine plays, pauses as asked, or fails.
                PlayerStep probe = playerStep(m, {PlayerEvent::Play});
                probe = playerStep(probe.next, {PlayerEvent::EnginePlaying, probe.next.run});
                const S reached = probe.next.state;
                QVERIFY2(!m.hasMedia || reached == S::Playing || reached == S::Failed, where);
            }
        }
    }
};

QTEST_MAIN(PlayerStateMachineTest)
#include "PlayerStateMachineTest.moc"
