// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The state of the recording that plays, and the one function that moves it on. It follows from
// the two players' own states: nothing else changes it.
//
//   Idle      no recording (at launch, after a stop, after opening a folder)
//   Starting  a start is under way: the leading player is opening
//   Playing   the leading player plays
//   Paused    the leading player is paused
//   Ended     both files played to their ends (or one failed and the other ended)
//   Failed    no file of the recording can be played
//
// The main player leads; when it has failed, or ended while the longer sub file plays on, the sub
// player does.

#include "platform/MediaPlayer.h"

enum class ORBRecordingState { Idle, Starting, Playing, Paused, Ended, Failed };

enum class ORBPlaybackEvent {
    Start,          // a recording's players were given their files and told to play
    PlayersChanged, // either player's state changed
    Stop,           // playback was stopped (a stop, a folder opened, the window closed)
};

struct ORBPlayerStates {
    MediaPlayer::State main = MediaPlayer::Idle;
    MediaPlayer::State sub = MediaPlayer::Idle;
    bool hasSub = false;

    bool subLeads() const {
        if (!hasSub || sub == MediaPlayer::Failed) {
            return false;
        }
        // The two files of a pair may differ by seconds: the recording lasts as long as the longer.
        return main == MediaPlayer::Failed ||
               (main == MediaPlayer::Ended && sub != MediaPlayer::Ended && sub != MediaPlayer::Idle);
    }
    MediaPlayer::State lead() const { return subLeads() ? sub : main; }
};

ORBRecordingState nextRecordingState(ORBRecordingState current, ORBPlaybackEvent event,
                                     const ORBPlayerStates& players);

// What the play button and the desktop's media controls show.
enum class ORBPlaybackStatus { Playing, Paused, Stopped };
// `advancing`: an ended (or unplayable) recording whose next one is about to start.
// `pauseAsked`: a starting recording that will come up paused.
ORBPlaybackStatus playbackStatus(ORBRecordingState state, bool advancing, bool pauseAsked = false);

const char* recordingStateName(ORBRecordingState state);
