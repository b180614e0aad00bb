// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a media player is doing, as one function of (state, event): the user's commands and the
// engine's reports go in, the new state and the engine work to do come out. No engine and no
// timer here, so every order of events can be checked.
//
// Two counters tell late reports from current ones. `media` moves on with each new media: facts
// about a file (it cannot be opened, it has no video) belong to one media. `run` moves on with each
// start, stop, new media or give-up: the engine's playing, end and error reports belong to one run.
// A report of an earlier media or run is dropped.

#include "platform/MediaPlayer.h"

#include <cstdint>

struct PlayerEvent {
    enum Kind {
        // from the user
        SetMedia, // `hasMedia` says whether a file was given
        Play,
        Pause,
        Stop,
        GiveUp, // `reason`
        // from the engine, tagged with the run they belong to
        EnginePlaying,
        EnginePaused,
        EngineStopped,
        EngineEnded,
        EngineError,
        // from the file check or the engine's header read, tagged with the media
        MediaFault, // `reason`: CannotOpen, NoVideoTrack, or EngineError when there is no engine
    };
    Kind kind;
    int tag = 0; // run (engine reports) or media (MediaFault) it belongs to
    MediaPlayer::Failure reason = MediaPlayer::NoFailure;
    bool hasMedia = false;
};

// Engine work asked for by a step, as bits; the player carries them out in this order.
enum PlayerAction : unsigned {
    kNoAction = 0,
    kLoadMedia = 1u << 0,   // stop the engine and give it the new media (or none)
    kStopEngine = 1u << 1,  // stop the engine, keeping its media
    kStartEngine = 1u << 2, // play from the start, stopping first if the engine sits at an end or error
    kResumeEngine = 1u << 3,
    kPauseEngine = 1u << 4,
    kApplySeek = 1u << 5,  // a time asked before the engine could take it
    kApplyAudio = 1u << 6, // the engine makes its sound output on start: volume and mute again
    kClockRuns = 1u << 7,
    kClockHalts = 1u << 8,
    kClockToStart = 1u << 9, // the time goes back to 0, forgetting a time asked meanwhile
    kClockToEnd = 1u << 10,
};

struct PlayerMachine {
    MediaPlayer::State state = MediaPlayer::Idle;
    MediaPlayer::Failure failure = MediaPlayer::NoFailure;
    int media = 0;
    int run = 0;
    bool hasMedia = false;
    // A pause asked while opening: the engine cannot pause before it plays.
    bool pauseWanted = false;
    // Known about the current media: it cannot be played (see MediaFault).
    MediaPlayer::Failure mediaFault = MediaPlayer::NoFailure;

    bool operator==(const PlayerMachine&) const = default;
};

struct PlayerStep {
    PlayerMachine next;
    unsigned actions = kNoAction;
    bool dropped = false; // a report of an earlier media or run
};

PlayerStep playerStep(const PlayerMachine& machine, const PlayerEvent& event);
