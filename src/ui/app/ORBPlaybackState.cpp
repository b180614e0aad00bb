// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/app/ORBPlaybackState.h"

ORBRecordingState nextRecordingState(ORBRecordingState current, ORBPlaybackEvent event,
                                     const ORBPlayerStates& players) {
    switch (event) {
    case ORBPlaybackEvent::Stop:
        return ORBRecordingState::Idle;
    case ORBPlaybackEvent::Start:
        return ORBRecordingState::Starting;
    case ORBPlaybackEvent::PlayersChanged:
        break;
    }
    if (current == ORBRecordingState::Idle) {
        return current; // late reports of players that were stopped
    }
    if (players.main == MediaPlayer::Failed && (!players.hasSub || players.sub == MediaPlayer::Failed)) {
        return ORBRecordingState::Failed;
    }
    switch (players.lead()) {
    case MediaPlayer::Playing:
        return ORBRecordingState::Playing;
    case MediaPlayer::Paused:
        return ORBRecordingState::Paused;
    case MediaPlayer::Ended:
        return ORBRecordingState::Ended;
    case MediaPlayer::Opening:
        return ORBRecordingState::Starting;
    case MediaPlayer::Idle:
        // Between being given a file and opening it a player stands idle; outside a start, an idle
        // leading player was stopped.
        return current == ORBRecordingState::Starting ? current : ORBRecordingState::Idle;
    case MediaPlayer::Failed:
        break;
    }
    return ORBRecordingState::Failed;
}

ORBPlaybackStatus playbackStatus(ORBRecordingState state, bool advancing, bool pauseAsked) {
    switch (state) {
    case ORBRecordingState::Starting:
        return pauseAsked ? ORBPlaybackStatus::Paused : ORBPlaybackStatus::Playing;
    case ORBRecordingState::Playing:
        return ORBPlaybackStatus::Playing;
    case ORBRecordingState::Paused:
        return ORBPlaybackStatus::Paused;
    case ORBRecordingState::Ended:
    case ORBRecordingState::Failed:
        return advancing ? ORBPlaybackStatus::Playing : ORBPlaybackStatus::Stopped;
    case ORBRecordingState::Idle:
        break;
    }
    return ORBPlaybackStatus::Stopped;
}

const char* recordingStateName(ORBRecordingState state) {
    switch (state) {
    case ORBRecordingState::Idle:
        return "idle";
    case ORBRecordingState::Starting:
        return "starting";
    case ORBRecordingState::Playing:
        return "playing";
    case ORBRecordingState::Paused:
        return "paused";
    case ORBRecordingState::Ended:
        return "ended";
    case ORBRecordingState::Failed:
        return "failed";
    }
    return "?";
}
