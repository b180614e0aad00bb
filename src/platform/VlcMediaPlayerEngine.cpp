// SPDX-License-Identifier: GPL-3.0-or-later
// VlcMediaPlayer's engine side: the player's worker thread, which alone calls libVLC (creating and
// tearing down the engine, loading a media, starting, stopping, reading its length and tracks), and
// the engine's own threads, whose events are only handed on to the UI thread.

#include "platform/VlcMediaPlayer.h"

#include "platform/VlcFrameSink.h"

#include "core/log.h"
#include "core/util/SafeFile.h"
#include "platform/VlcLibrary.h"

#include <QFile>
#include <QMutexLocker>

#include <vlc/vlc.h>

#include <algorithm>

namespace {

const libvlc_event_type_t kPlayerEvents[] = {
    libvlc_MediaPlayerPlaying,       libvlc_MediaPlayerPaused,           libvlc_MediaPlayerStopped,
    libvlc_MediaPlayerEndReached,    libvlc_MediaPlayerEncounteredError, libvlc_MediaPlayerTimeChanged,
    libvlc_MediaPlayerLengthChanged,
};
const libvlc_event_type_t kMediaEvents[] = {libvlc_MediaParsedChanged, libvlc_MediaDurationChanged};

// A path the engine may be given: a regular file we can open for reading, checked the project's one
// way, so a FIFO or a device answers at once instead of holding the worker.
// An empty file (a recording the camera never wrote to) cannot be opened either: the engine would
// only call it an error of its own.
bool readableRegularFile(const QByteArray& path) {
    const auto file = nura::ReadableFile::open(path.toStdString());
    return file.ok() && file.size() > 0;
}

} // namespace

// ---------------------------------------------------------------- the worker

void VlcMediaPlayer::Engine::start(const std::shared_ptr<Engine>& self) {
    m_worker.start(self);
}

void VlcMediaPlayer::Engine::post(Task task, bool seek) {
    m_worker.post([this, task = std::move(task)] { task(*this); }, seek);
}

void VlcMediaPlayer::Engine::report(std::function<void(VlcMediaPlayer&)> report) {
    std::lock_guard lock(reportMutex);
    if (owner == nullptr) {
        return;
    }
    VlcMediaPlayer* player = owner;
    // Posted to the player: dropped with it if it goes first.
    QMetaObject::invokeMethod(
        player, [player, report = std::move(report)] { report(*player); }, Qt::QueuedConnection);
}

bool VlcMediaPlayer::Engine::shutDown(int waitMs) {
    {
        std::lock_guard lock(reportMutex);
        owner = nullptr;
    }
    // Work still waiting is moot; only the engine's teardown remains.
    return m_worker.finish([this] { destroyEngine(*this); }, waitMs);
}

void VlcMediaPlayer::createEngine(Engine& engine) {
    if (!engine.library) {
        return;
    }
    engine.player = libvlc_media_player_new(engine.library->handle());
    if (engine.player == nullptr) {
        nura::logf("media player could not be created");
        return;
    }
    libvlc_video_set_callbacks(engine.player, &VlcMediaPlayer::lockFrame, nullptr,
                               &VlcMediaPlayer::displayFrame, &engine.sink);
    libvlc_video_set_format_callbacks(engine.player, &VlcMediaPlayer::setupFormat,
                                      &VlcMediaPlayer::cleanupFormat);
    libvlc_event_manager_t* events = libvlc_media_player_event_manager(engine.player);
    for (const libvlc_event_type_t type : kPlayerEvents) {
        libvlc_event_attach(events, type, &VlcMediaPlayer::onEngineEvent, &engine);
    }
}

void VlcMediaPlayer::destroyEngine(Engine& engine) {
    if (engine.player != nullptr) {
        // Detaching waits for a callback in progress; after it no event arrives.
        libvlc_event_manager_t* events = libvlc_media_player_event_manager(engine.player);
        for (const libvlc_event_type_t type : kPlayerEvents) {
            libvlc_event_detach(events, type, &VlcMediaPlayer::onEngineEvent, &engine);
        }
        libvlc_media_player_stop(engine.player);
        // Tears down the video output, whose last callbacks still use the sink.
        libvlc_media_player_release(engine.player);
        engine.player = nullptr;
    }
    releaseMedia(engine);
}

void VlcMediaPlayer::releaseMedia(Engine& engine) {
    if (engine.media == nullptr) {
        return;
    }
    libvlc_media_parse_stop(engine.media);
    libvlc_event_manager_t* events = libvlc_media_event_manager(engine.media);
    for (const libvlc_event_type_t type : kMediaEvents) {
        libvlc_event_detach(events, type, &VlcMediaPlayer::onEngineEvent, &engine);
    }
    {
        QMutexLocker lock(&engine.sink.mutex);
        engine.sink.media = nullptr;
    }
    libvlc_media_release(engine.media);
    engine.media = nullptr;
}

void VlcMediaPlayer::loadMedia(Engine& engine, const QByteArray& path, int media, int run) {
    if (engine.player == nullptr) {
        // No engine to play it: every start of this media fails at once.
        if (!path.isEmpty()) {
            engine.report([media](VlcMediaPlayer& p) {
                p.apply({PlayerEvent::MediaFault, media, EngineError});
            });
        }
        return;
    }
    // The stop's own report carries the run it ends.
    libvlc_media_player_stop(engine.player);
    engine.run = run;
    releaseMedia(engine);
    engine.mediaSerial = media;
    {
        QMutexLocker lock(&engine.sink.mutex);
        engine.sink.acceptMedia = media;
        engine.sink.decoded = engine.sink.late = 0;
    }
    if (path.isEmpty()) {
        libvlc_media_player_set_media(engine.player, nullptr);
        return;
    }
    const auto cannotOpen = [&engine, media] {
        engine.report([media](VlcMediaPlayer& p) { p.apply({PlayerEvent::MediaFault, media, CannotOpen}); });
    };
    if (!readableRegularFile(path)) {
        libvlc_media_player_set_media(engine.player, nullptr);
        cannotOpen();
        return;
    }
    engine.media = libvlc_media_new_path(engine.library->handle(), path.constData());
    if (engine.media == nullptr) {
        libvlc_media_player_set_media(engine.player, nullptr);
        cannotOpen();
        return;
    }
    // Paused, the engine shows no new frame for a seek that the file's end follows within about
    // its file caching: its default of a second left the last second without a picture to step or
    // seek to.
    libvlc_media_add_option(engine.media, ":file-caching=200");
    libvlc_event_manager_t* events = libvlc_media_event_manager(engine.media);
    for (const libvlc_event_type_t type : kMediaEvents) {
        libvlc_event_attach(events, type, &VlcMediaPlayer::onEngineEvent, &engine);
    }
    {
        QMutexLocker lock(&engine.sink.mutex);
        engine.sink.media = engine.media;
    }
    libvlc_media_player_set_media(engine.player, engine.media);
    // Length and picture size are wanted before playback starts (positions, scale); reading the
    // file's header runs on the engine's own thread.
    libvlc_media_parse_with_options(engine.media, libvlc_media_parse_local, -1);
}

void VlcMediaPlayer::startEngine(Engine& engine, int run) {
    if (engine.player == nullptr || engine.media == nullptr) {
        return; // the media's fault has been reported already
    }
    // An engine at its end or after an error ignores play; it needs a stop first. That stop
    // reports with the run it ends, so nobody takes it for a stop of the new run.
    const libvlc_state_t state = libvlc_media_player_get_state(engine.player);
    if (state == libvlc_Ended || state == libvlc_Error) {
        libvlc_media_player_stop(engine.player);
    }
    engine.run = run;
    if (libvlc_media_player_play(engine.player) != 0) {
        engine.report([run](VlcMediaPlayer& p) { p.onEngineState(PlayerEvent::EngineError, run); });
    }
}

void VlcMediaPlayer::stopEngine(Engine& engine, int run) {
    if (engine.player != nullptr) {
        libvlc_media_player_stop(engine.player);
    }
    engine.run = run;
}

void VlcMediaPlayer::readMediaInfo(Engine& engine, int media) {
    if (engine.media == nullptr || media != engine.mediaSerial) {
        return;
    }
    MediaInfo info;
    info.length = libvlc_media_get_duration(engine.media);
    info.size = vlcVideoTrackSize(engine.media);
    info.frameRate = vlcVideoFrameRate(engine.media);
    // The tracks count as known once the header has been read, even when it found none (a file of
    // noise); an unfinished or timed-out read says nothing about them.
    if (libvlc_media_get_parsed_status(engine.media) == libvlc_media_parsed_status_done) {
        libvlc_media_track_t** tracks = nullptr;
        const unsigned count = libvlc_media_tracks_get(engine.media, &tracks);
        info.tracksKnown = true;
        for (unsigned i = 0; i < count; ++i) {
            info.hasVideo = info.hasVideo || tracks[i]->i_type == libvlc_track_video;
        }
        if (tracks != nullptr) {
            libvlc_media_tracks_release(tracks, count);
        }
    }
    engine.report([info, media](VlcMediaPlayer& p) { p.onMediaInfo(info, media); });
}

void VlcMediaPlayer::readStats(Engine& engine) {
    libvlc_media_stats_t stats{};
    if (engine.media == nullptr || !libvlc_media_get_stats(engine.media, &stats)) {
        return;
    }
    QMutexLocker lock(&engine.sink.mutex);
    engine.sink.decoded = stats.i_decoded_video;
    engine.sink.late = stats.i_lost_pictures;
}

// ---------------------------------------------------------------- engine threads

void VlcMediaPlayer::onEngineEvent(const libvlc_event_t* event, void* opaque) {
    auto& engine = *static_cast<Engine*>(opaque);
    const int run = engine.run.load();
    const int media = engine.mediaSerial.load();
    const auto state = [&engine, run](PlayerEvent::Kind kind) {
        engine.report([kind, run](VlcMediaPlayer& p) { p.onEngineState(kind, run); });
    };
    switch (event->type) {
    case libvlc_MediaPlayerPlaying:
        state(PlayerEvent::EnginePlaying);
        // The header read may have timed out; playback knows by now.
        engine.post([media](Engine& e) { readMediaInfo(e, media); });
        break;
    case libvlc_MediaPlayerPaused:
        state(PlayerEvent::EnginePaused);
        break;
    case libvlc_MediaPlayerStopped:
        state(PlayerEvent::EngineStopped);
        break;
    case libvlc_MediaPlayerEndReached:
        state(PlayerEvent::EngineEnded);
        break;
    case libvlc_MediaPlayerEncounteredError:
        state(PlayerEvent::EngineError);
        break;
    case libvlc_MediaPlayerTimeChanged: {
        const int64_t ms = event->u.media_player_time_changed.new_time;
        engine.report([ms, run](VlcMediaPlayer& p) { p.onEngineTime(ms, run); });
        break;
    }
    case libvlc_MediaPlayerLengthChanged:
    case libvlc_MediaDurationChanged: {
        MediaInfo info;
        info.length = event->type == libvlc_MediaDurationChanged
                          ? event->u.media_duration_changed.new_duration
                          : event->u.media_player_length_changed.new_length;
        engine.report([info, media](VlcMediaPlayer& p) { p.onMediaInfo(info, media); });
        break;
    }
    case libvlc_MediaParsedChanged:
        engine.post([media](Engine& e) { readMediaInfo(e, media); });
        break;
    default:
        break;
    }
}
