// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/VlcMediaPlayer.h"

#include "platform/VlcFrameSink.h"

#include "core/log.h"
#include "platform/VideoView.h"
#include "platform/VlcLibrary.h"

#include <QFile>
#include <QImageWriter>
#include <QMutexLocker>
#include <QSaveFile>

#include <vlc/vlc.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// An engine time report this far from where a seek should have put us predates the seek.
constexpr int64_t kSeekTolerance = 1000;
// After this long the first report after a seek is believed whatever it says.
constexpr int64_t kSeekGuardMs = 1500;
// The engine's picture counts are fetched every this many time reports while playing.
constexpr int kStatsEveryTicks = 5;

const char* failureText(MediaPlayer::Failure failure) {
    switch (failure) {
    case MediaPlayer::CannotOpen:
        return "cannot open the file";
    case MediaPlayer::NoVideoTrack:
        return "no video track";
    case MediaPlayer::EngineError:
        return "engine error";
    case MediaPlayer::NoPicture:
        return "no picture in time";
    case MediaPlayer::NoFailure:
        break;
    }
    return "no failure";
}

} // namespace

// ---------------------------------------------------------------- UI thread

VlcMediaPlayer::VlcMediaPlayer(std::shared_ptr<VlcLibrary> library, VideoView* view, QObject* parent)
    : MediaPlayer(parent), m_engine(std::make_shared<Engine>()), m_view(view) {
    m_engine->library = std::move(library);
    m_engine->sink.engine = m_engine.get();
    m_engine->owner = this;
    m_wall.start();
    m_ticker.setInterval(kTimeReportMs);
    connect(&m_ticker, &QTimer::timeout, this, [this] {
        if (m_machine.state == Playing) {
            emit timeChanged(this);
        }
        if (++m_ticks % kStatsEveryTicks == 0) {
            m_engine->post([](Engine& e) { readStats(e); });
        }
    });
    m_engine->start(m_engine);
    m_engine->post([](Engine& e) { createEngine(e); });
}

VlcMediaPlayer::~VlcMediaPlayer() {
    m_ticker.stop();
    if (!m_engine->shutDown(kShutdownWaitMs)) {
        nura::logf("media engine did not stop in time, left behind: %s", qUtf8Printable(m_path));
    }
}

void VlcMediaPlayer::apply(const PlayerEvent& event) {
    const PlayerStep step = playerStep(m_machine, event);
    if (step.dropped) {
        return;
    }
    const PlayerMachine before = m_machine;
    m_machine = step.next;
    const unsigned actions = step.actions;
    const int run = m_machine.run;

    if (actions & (kLoadMedia | kStopEngine | kClockToStart)) {
        m_settleSeekMs = -1;
    }
    if (actions & kLoadMedia) {
        m_engine->post([path = QByteArray::fromStdString(nura::pathBytes(m_path)), media = m_machine.media,
                        run](Engine& e) { loadMedia(e, path, media, run); });
    }
    if (actions & kStopEngine) {
        m_engine->post([run](Engine& e) { stopEngine(e, run); });
    }
    if (actions & kClockHalts) {
        m_clock.setRunning(false, wallMs());
    }
    if (actions & kClockToStart) {
        m_seeking = false;
        m_pendingTime = -1;
        m_pendingPosition = -1;
        m_restartFrame = -1;
        rebase(0);
    }
    if (actions & kClockToEnd && m_length > 0) {
        rebase(m_length);
    }
    if (actions & kStartEngine) {
        m_seeking = false;
        if (m_pendingTime < 0 && m_pendingPosition < 0) {
            rebase(0);
        }
        m_engine->post([run](Engine& e) { startEngine(e, run); });
    }
    if (actions & kResumeEngine) {
        // A seek still waiting for the halt to settle is where playback goes on from.
        if (m_settleSeekMs >= 0) {
            seekEngine(m_settleSeekMs);
            m_settleSeekMs = -1;
        }
        setEnginePause(false);
    }
    bool timedSeek = false;
    if (actions & kApplySeek) {
        // A position without a length gives no frame to settle on.
        const bool timed = m_restartFrame >= 0 || m_pendingTime >= 0 || m_length > 0;
        timedSeek = applyPendingSeek((actions & kPauseEngine) != 0) && timed;
    }
    if (actions & kApplyAudio) {
        applyAudio();
    }
    if (actions & kPauseEngine) {
        setEnginePause(true);
    }
    if (actions & kClockRuns) {
        m_onFrame = false;
        m_clock.setRunning(true, wallMs());
    }

    const State state = m_machine.state;
    if (state == before.state && m_machine.failure == before.failure) {
        return;
    }
    if (state == Failed) {
        nura::logf("media player failed (%s): %s", failureText(m_machine.failure), qUtf8Printable(m_path));
    }
    m_haltedAtMs = state == Paused || state == Ended ? wallMs() : -1;
    if (state == Playing) {
        m_ticker.start();
    } else {
        m_ticker.stop();
        m_engine->post([](Engine& e) { readStats(e); });
    }
    emit stateChanged(this);
    if (state == Playing) {
        emit timeChanged(this);
    }
    // A time asked while opening (or a frame asked at the end), then a pause: the engine goes there
    // once the halt has settled.
    if (state == Paused && before.state == Opening && (timedSeek || m_onFrame)) {
        m_onFrame = true;
        seekWhenSettled(frameMiddle(frameIndexAt(time())));
    }
}

void VlcMediaPlayer::onEngineState(PlayerEvent::Kind kind, int run) {
    // The engine's pause lands after ours, later still on a busy machine: the halt settles from it.
    if (kind == PlayerEvent::EnginePaused && run == m_machine.run && m_machine.state == Paused) {
        m_haltedAtMs = wallMs();
    }
    apply({kind, run});
}

void VlcMediaPlayer::onEngineTime(int64_t ms, int run) {
    if (run != m_machine.run || m_pendingTime >= 0 || m_pendingPosition >= 0 || m_onFrame) {
        return;
    }
    if (m_seeking) {
        if (m_seekClock.elapsed() < kSeekGuardMs &&
            std::llabs(ms - m_clock.estimate(wallMs())) > kSeekTolerance) {
            return;
        }
        m_seeking = false;
    }
    m_clock.engineReport(ms, wallMs());
    if (!running() && m_machine.state != Playing) {
        emit timeChanged(this);
    }
}

void VlcMediaPlayer::onMediaInfo(const MediaInfo& info, int media) {
    if (media != m_machine.media) {
        return;
    }
    if (info.length > 0) {
        m_length = info.length;
    }
    if (info.size.isValid()) {
        m_trackSize = info.size;
    }
    if (info.frameRate > 0) {
        m_frameRate = info.frameRate;
    }
    if (info.tracksKnown && !info.hasVideo) {
        apply({PlayerEvent::MediaFault, media, NoVideoTrack});
    }
}

void VlcMediaPlayer::setMedia(const QString& path) {
    m_path = path;
    m_length = 0;
    m_trackSize = QSize();
    m_frameRate = 0;
    m_hasVideoOut = false;
    {
        QMutexLocker lock(&m_engine->sink.mutex);
        m_engine->sink.acceptMedia = -1;
        m_engine->sink.frameMedia = -1;
        m_engine->sink.lastFrame = QImage();
    }
    if (m_view) {
        m_view->clearFrame();
    }
    PlayerEvent event{PlayerEvent::SetMedia};
    event.hasMedia = !path.isEmpty();
    apply(event);
}

void VlcMediaPlayer::play() {
    apply({PlayerEvent::Play});
}

void VlcMediaPlayer::pause() {
    apply({PlayerEvent::Pause});
}

void VlcMediaPlayer::stop() {
    apply({PlayerEvent::Stop});
}

void VlcMediaPlayer::giveUp(Failure reason) {
    apply({PlayerEvent::GiveUp, 0, reason});
}

void VlcMediaPlayer::postToPlayer(std::function<void(libvlc_media_player_t*)> call, bool seek) {
    m_engine->post(
        [call = std::move(call)](Engine& e) {
            if (e.player != nullptr) {
                call(e.player);
            }
        },
        seek);
}

void VlcMediaPlayer::seekEngine(int64_t ms) {
    postToPlayer([ms](libvlc_media_player_t* p) { libvlc_media_player_set_time(p, ms); }, true);
}

void VlcMediaPlayer::setEnginePosition(float position) {
    postToPlayer([position](libvlc_media_player_t* p) { libvlc_media_player_set_position(p, position); },
                 true);
}

void VlcMediaPlayer::setEnginePause(bool pause) {
    postToPlayer([pause](libvlc_media_player_t* p) { libvlc_media_player_set_pause(p, pause ? 1 : 0); });
}

bool VlcMediaPlayer::applyPendingSeek(bool halting) {
    // Halting, the engine is sent there once the pause has settled (seekWhenSettled): a seek taken
    // while it plays may be lost to the pause right after it.
    if (m_restartFrame >= 0) {
        // Shown exactly by a seek to the frame's middle; its start is the time.
        if (!halting) {
            seekEngine(frameMiddle(m_restartFrame));
        }
        rebase(frameStart(m_restartFrame));
        m_onFrame = true;
        m_restartFrame = -1;
        m_pendingTime = -1;
        m_pendingPosition = -1;
        return true;
    }
    if (m_pendingTime >= 0) {
        if (!halting) {
            seekEngine(m_pendingTime);
        }
        rebase(m_pendingTime);
    } else if (m_pendingPosition >= 0) {
        const float position = m_pendingPosition;
        setEnginePosition(position);
        if (m_length > 0) {
            rebase(static_cast<int64_t>(std::llround(static_cast<double>(m_pendingPosition) * m_length)));
        }
    } else {
        return false;
    }
    m_pendingTime = -1;
    m_pendingPosition = -1;
    m_seeking = true;
    m_seekClock.restart();
    return true;
}

int64_t VlcMediaPlayer::time() const {
    if (m_pendingTime >= 0) {
        return m_pendingTime;
    }
    if (m_pendingPosition >= 0 && m_length > 0) {
        return static_cast<int64_t>(std::llround(static_cast<double>(m_pendingPosition) * m_length));
    }
    int64_t t = m_clock.time(wallMs());
    if (m_length > 0) {
        t = std::min(t, m_length);
    }
    return std::max<int64_t>(t, 0);
}

float VlcMediaPlayer::position() const {
    if (m_length > 0) {
        return static_cast<float>(static_cast<double>(time()) / static_cast<double>(m_length));
    }
    return m_pendingPosition >= 0 ? m_pendingPosition : 0.0f;
}

void VlcMediaPlayer::setPosition(float position) {
    if (!hasMedia()) {
        return;
    }
    position = std::isnan(position) ? 0.0f : std::clamp(position, 0.0f, 1.0f);
    if (m_length > 0) {
        setTime(static_cast<int64_t>(std::llround(static_cast<double>(position) * m_length)));
        return;
    }
    m_restartFrame = -1;
    m_pendingTime = -1;
    m_settleSeekMs = -1;
    ++m_haltedSeekSerial;
    if (isPlaying() || m_machine.state == Paused) {
        m_pendingPosition = -1;
        setEnginePosition(position);
    } else {
        m_pendingPosition = position;
    }
}

void VlcMediaPlayer::setTime(int64_t ms) {
    if (!hasMedia()) {
        return;
    }
    ms = std::max<int64_t>(ms, 0);
    if (m_length > 0) {
        ms = std::min(ms, m_length);
    }
    m_restartFrame = -1;
    m_pendingPosition = -1;
    if (m_machine.state == Paused) {
        // Paused, the picture is the frame at that time, put up exactly by a seek to its middle;
        // the time asked stands.
        m_pendingTime = -1;
        m_seeking = false;
        rebase(ms);
        m_onFrame = true;
        // At the very end that is the last frame: the engine would run out past it.
        int64_t index = frameIndexAt(ms);
        if (lastFrameIndex() >= 0) {
            index = std::min(index, lastFrameIndex());
        }
        seekWhenSettled(frameMiddle(index));
        return;
    }
    m_settleSeekMs = -1;
    ++m_haltedSeekSerial;
    if (isPlaying()) {
        seekEngine(ms);
        m_pendingTime = -1;
        m_seeking = true;
        m_seekClock.restart();
    } else {
        m_pendingTime = ms;
    }
    rebase(ms);
}

void VlcMediaPlayer::jumpForward(int seconds) {
    setTime(time() + static_cast<int64_t>(seconds) * 1000);
}

void VlcMediaPlayer::jumpBackward(int seconds) {
    setTime(time() - static_cast<int64_t>(seconds) * 1000);
}

void VlcMediaPlayer::setRate(float rate) {
    if (!(rate > 0.0f) || !std::isfinite(rate) || rate == m_rate) {
        return; // the same rate again would only make the engine resynchronise its clock
    }
    m_clock.setRate(rate, wallMs());
    m_rate = rate;
    postToPlayer([rate](libvlc_media_player_t* p) { libvlc_media_player_set_rate(p, rate); });
}

bool VlcMediaPlayer::hasVideoOut() const {
    return m_hasVideoOut;
}

bool VlcMediaPlayer::currentFrame(QImage* frame) const {
    QMutexLocker lock(&m_engine->sink.mutex);
    if (m_engine->sink.frameMedia != m_machine.media || m_engine->sink.lastFrame.isNull()) {
        return false;
    }
    *frame = m_engine->sink.lastFrame;
    return true;
}

QSize VlcMediaPlayer::videoSize() const {
    if (!hasMedia()) {
        return {};
    }
    if (m_trackSize.isValid()) {
        return m_trackSize;
    }
    QImage frame;
    return currentFrame(&frame) ? frame.size() : QSize();
}

void VlcMediaPlayer::applyAudio() {
    postToPlayer([muted = m_muted, volume = m_volume](libvlc_media_player_t* p) {
        libvlc_audio_set_mute(p, muted ? 1 : 0);
        libvlc_audio_set_volume(p, volume);
    });
}

void VlcMediaPlayer::setMute(bool mute) {
    m_muted = mute;
    applyAudio();
}

void VlcMediaPlayer::setVolume(int volume) {
    m_volume = std::clamp(volume, 0, 200);
    applyAudio();
}

bool VlcMediaPlayer::saveVideoSnapshotAt(const QString& path, int width, int height) {
    QImage frame;
    if (!hasMedia() || path.isEmpty() || !currentFrame(&frame)) {
        return false;
    }
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (width > 0 && height > 0) {
        frame = frame.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    } else if (width > 0) {
        frame = frame.scaledToWidth(width, Qt::SmoothTransformation);
    } else if (height > 0) {
        frame = frame.scaledToHeight(height, Qt::SmoothTransformation);
    }
    // Written aside and renamed, so a reader never sees half a picture.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    QImageWriter writer(&file, "jpeg");
    writer.setQuality(90);
    if (!writer.write(frame)) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
