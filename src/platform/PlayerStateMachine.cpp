// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/PlayerStateMachine.h"

namespace {

using State = MediaPlayer::State;

bool engineBusy(State state) {
    return state == MediaPlayer::Opening || state == MediaPlayer::Playing || state == MediaPlayer::Paused;
}

void enter(PlayerMachine& m, State state, MediaPlayer::Failure failure = MediaPlayer::NoFailure) {
    m.state = state;
    m.failure = state == MediaPlayer::Failed ? failure : MediaPlayer::NoFailure;
    m.pauseWanted = false;
}

} // namespace

PlayerStep playerStep(const PlayerMachine& machine, const PlayerEvent& event) {
    PlayerStep step{machine};
    PlayerMachine& m = step.next;
    switch (event.kind) {
    case PlayerEvent::SetMedia:
        ++m.media;
        ++m.run;
        m.hasMedia = event.hasMedia;
        m.mediaFault = MediaPlayer::NoFailure;
        enter(m, MediaPlayer::Idle);
        step.actions = kLoadMedia | kClockHalts | kClockToStart;
        break;

    case PlayerEvent::Play:
        if (!m.hasMedia) {
            break;
        }
        switch (m.state) {
        case MediaPlayer::Paused:
            enter(m, MediaPlayer::Playing);
            step.actions = kResumeEngine | kClockRuns;
            break;
        case MediaPlayer::Opening:
            m.pauseWanted = false; // a play after a pause asked while opening cancels it
            break;
        case MediaPlayer::Playing:
            break;
        case MediaPlayer::Idle:
        case MediaPlayer::Ended:
        case MediaPlayer::Failed:
            if (m.mediaFault != MediaPlayer::NoFailure) {
                enter(m, MediaPlayer::Failed, m.mediaFault);
                break;
            }
            ++m.run;
            enter(m, MediaPlayer::Opening);
            step.actions = kStartEngine | kClockHalts;
            break;
        }
        break;

    case PlayerEvent::Pause:
        if (m.state == MediaPlayer::Playing) {
            enter(m, MediaPlayer::Paused);
            step.actions = kPauseEngine | kClockHalts;
        } else if (m.state == MediaPlayer::Opening) {
            m.pauseWanted = true;
        }
        break;

    case PlayerEvent::Stop:
        if (!m.hasMedia) {
            break;
        }
        step.actions = kClockHalts | kClockToStart;
        if (m.state != MediaPlayer::Idle) {
            ++m.run;
            enter(m, MediaPlayer::Idle);
            step.actions |= kStopEngine;
        }
        break;

    case PlayerEvent::GiveUp:
        if (!m.hasMedia) {
            break;
        }
        ++m.run;
        enter(m, MediaPlayer::Failed, event.reason);
        step.actions = kStopEngine | kClockHalts;
        break;

    case PlayerEvent::EnginePlaying:
    case PlayerEvent::EnginePaused:
    case PlayerEvent::EngineStopped:
    case PlayerEvent::EngineEnded:
    case PlayerEvent::EngineError:
        if (event.tag != m.run) {
            step.dropped = true;
            break;
        }
        // Pauses and resumes are the user's and already taken; the engine's reports of them
        // change nothing. It only opens, ends, fails, or stops on its own.
        if (event.kind == PlayerEvent::EnginePlaying && m.state == MediaPlayer::Opening) {
            const bool pause = m.pauseWanted;
            enter(m, pause ? MediaPlayer::Paused : MediaPlayer::Playing);
            step.actions = kApplySeek | kApplyAudio | (pause ? kPauseEngine : kClockRuns);
        } else if (event.kind == PlayerEvent::EngineEnded && engineBusy(m.state)) {
            enter(m, MediaPlayer::Ended);
            step.actions = kClockHalts | kClockToEnd;
        } else if (event.kind == PlayerEvent::EngineError && engineBusy(m.state)) {
            enter(m, MediaPlayer::Failed, MediaPlayer::EngineError);
            step.actions = kClockHalts;
        } else if (event.kind == PlayerEvent::EngineStopped && engineBusy(m.state)) {
            enter(m, MediaPlayer::Idle);
            step.actions = kClockHalts | kClockToStart;
        }
        break;

    case PlayerEvent::MediaFault:
        if (event.tag != m.media) {
            step.dropped = true;
            break;
        }
        m.mediaFault = event.reason;
        // A file found unplayable after the engine ran through it (noise it read to the end) has
        // not ended as a recording does: it failed.
        if (engineBusy(m.state) || m.state == MediaPlayer::Ended) {
            ++m.run;
            enter(m, MediaPlayer::Failed, event.reason);
            step.actions = kStopEngine | kClockHalts;
        }
        break;
    }
    return step;
}
