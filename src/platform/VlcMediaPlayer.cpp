#include "platform/VlcMediaPlayer.h"

#include "platform/VlcFrameSink.h"

#include "core/log.h"
#include "platform/VideoView.h"
#include "platform/VlcLibrary.h"

#include <QFile>
#include <QImageWriter>
#include <QMutex>
#include <QMutexLocker>
#include <QSaveFile>

#include <vlc/vlc.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// An engine time report this far from where a seek should have put us predates the seek.
constexpr int64_t kSeekTolerance = 1000;
// After this long the first report after a seek is believed whatever it says.
constexpr int64_t kSeekGuardMs = 1500;

const libvlc_event_type_t kPlayerEvents[] = {
    libvlc_MediaPlayerOpening,     libvlc_MediaPlayerPlaying,       libvlc_MediaPlayerPaused,
    libvlc_MediaPlayerStopped,     libvlc_MediaPlayerEndReached,    libvlc_MediaPlayerEncounteredError,
    libvlc_MediaPlayerTimeChanged, libvlc_MediaPlayerLengthChanged,
};
const libvlc_event_type_t kMediaEvents[] = {libvlc_MediaParsedChanged, libvlc_MediaDurationChanged};

} // namespace

VlcMediaPlayer::VlcMediaPlayer(std::shared_ptr<VlcLibrary> library, VideoView* view, QObject* parent)
    : MediaPlayer(parent), m_library(std::move(library)), m_sink(std::make_unique<FrameSink>()),
      m_view(view) {
    m_sink->owner = this;
    m_wall.start();
    m_ticker.setInterval(kTimeReportMs);
    connect(&m_ticker, &QTimer::timeout, this, [this] {
        if (m_state == Playing) {
            emit timeChanged(this);
        }
    });
    if (!m_library) {
        return;
    }
    m_player = libvlc_media_player_new(m_library->handle());
    if (m_player == nullptr) {
        nura::logf("media player could not be created");
        return;
    }
    libvlc_video_set_callbacks(m_player, &VlcMediaPlayer::lockFrame, nullptr, &VlcMediaPlayer::displayFrame,
                               m_sink.get());
    libvlc_video_set_format_callbacks(m_player, &VlcMediaPlayer::setupFormat, &VlcMediaPlayer::cleanupFormat);
    libvlc_event_manager_t* events = libvlc_media_player_event_manager(m_player);
    for (const libvlc_event_type_t type : kPlayerEvents) {
        libvlc_event_attach(events, type, &VlcMediaPlayer::onEngineEvent, this);
    }
}

VlcMediaPlayer::~VlcMediaPlayer() {
    m_ticker.stop();
    if (m_player != nullptr) {
        // Detaching waits for a callback in progress; after it no event can reach this object.
        libvlc_event_manager_t* events = libvlc_media_player_event_manager(m_player);
        for (const libvlc_event_type_t type : kPlayerEvents) {
            libvlc_event_detach(events, type, &VlcMediaPlayer::onEngineEvent, this);
        }
        libvlc_media_player_stop(m_player);
        // Tears down the video output, whose last callbacks still use the sink.
        libvlc_media_player_release(m_player);
        m_player = nullptr;
    }
    releaseMedia();
}

// ---------------------------------------------------------------- engine threads

void VlcMediaPlayer::onEngineEvent(const libvlc_event_t* event, void* opaque) {
    auto* self = static_cast<VlcMediaPlayer*>(opaque);
    EngineEvent kind;
    int64_t value = 0;
    switch (event->type) {
    case libvlc_MediaPlayerOpening:
        kind = EngineEvent::Opening;
        break;
    case libvlc_MediaPlayerPlaying:
        kind = EngineEvent::Playing;
        break;
    case libvlc_MediaPlayerPaused:
        kind = EngineEvent::Paused;
        break;
    case libvlc_MediaPlayerStopped: {
        // The engine also says Stopped when an input that ended or failed winds down, while its
        // state stays Ended: that is not a stop, the player stays halted (or in error).
        const libvlc_state_t state = libvlc_media_player_get_state(self->m_player);
        if (self->m_swallowStopped.load() || state == libvlc_Ended || state == libvlc_Error) {
            return;
        }
        kind = EngineEvent::Stopped;
        break;
    }
    case libvlc_MediaPlayerEndReached:
        kind = EngineEvent::Ended;
        break;
    case libvlc_MediaPlayerEncounteredError:
        kind = EngineEvent::Error;
        break;
    case libvlc_MediaPlayerTimeChanged:
        kind = EngineEvent::Time;
        value = event->u.media_player_time_changed.new_time;
        break;
    case libvlc_MediaPlayerLengthChanged:
        kind = EngineEvent::Length;
        value = event->u.media_player_length_changed.new_length;
        break;
    case libvlc_MediaDurationChanged:
        kind = EngineEvent::Length;
        value = event->u.media_duration_changed.new_duration;
        break;
    case libvlc_MediaParsedChanged:
        kind = EngineEvent::Parsed;
        break;
    default:
        return;
    }
    const int generation = self->m_generation.load();
    QMetaObject::invokeMethod(
        self, [self, kind, value, generation] { self->handleEngineEvent(kind, value, generation); },
        Qt::QueuedConnection);
}

void VlcMediaPlayer::handleEngineEvent(EngineEvent event, int64_t value, int generation) {
    const bool current = generation == m_generation.load();
    switch (event) {
    case EngineEvent::Opening:
        setState(Opening);
        break;
    case EngineEvent::Playing:
        m_starting = false;
        if (m_length <= 0 || !m_trackSize.isValid()) {
            readMediaInfo(); // the header read may have timed out; playback knows by now
        }
        applyPendingSeek();
        applyAudio();
        if (m_pausePending) {
            m_pausePending = false;
            libvlc_media_player_set_pause(m_player, 1);
            setState(Paused);
            break;
        }
        m_onFrame = false;
        m_clock.setRunning(true, wallMs());
        setState(Playing);
        emit timeChanged(this);
        break;
    case EngineEvent::Paused:
        m_starting = false;
        m_clock.setRunning(false, wallMs());
        setState(Paused);
        break;
    case EngineEvent::Stopped:
        // Our own stops report with the generation they ended; a start asked since is not undone.
        if (current) {
            m_starting = false;
            m_pausePending = false;
        }
        m_clock.setRunning(false, wallMs());
        if (m_pendingTime < 0 && m_pendingPosition < 0) {
            rebase(0);
        }
        setState(Idle);
        break;
    case EngineEvent::Ended:
        if (!current) {
            break;
        }
        m_starting = false;
        m_pausePending = false;
        m_clock.setRunning(false, wallMs());
        if (m_length > 0) {
            rebase(m_length);
        }
        setState(Ended);
        break;
    case EngineEvent::Error:
        if (!current) {
            break;
        }
        nura::logf("media player error: %s", qUtf8Printable(m_path));
        m_starting = false;
        m_pausePending = false;
        m_clock.setRunning(false, wallMs());
        m_failure = EngineError;
        setState(Failed);
        break;
    case EngineEvent::Time:
        if (!current || m_pendingTime >= 0 || m_pendingPosition >= 0 || m_onFrame) {
            break;
        }
        if (m_seeking) {
            if (m_seekClock.elapsed() < kSeekGuardMs &&
                std::llabs(value - m_clock.estimate(wallMs())) > kSeekTolerance) {
                break;
            }
            m_seeking = false;
        }
        m_clock.engineReport(value, wallMs());
        if (!running() && m_state != Playing) {
            emit timeChanged(this);
        }
        break;
    case EngineEvent::Length:
        if (current && value > 0) {
            m_length = value;
        }
        break;
    case EngineEvent::Parsed:
        if (current) {
            readMediaInfo();
        }
        break;
    }
}

void VlcMediaPlayer::setState(State state) {
    if (state == m_state) {
        return;
    }
    m_state = state;
    if (state != Failed) {
        m_failure = NoFailure;
    }
    m_haltedAtMs = state == Paused || state == Ended ? wallMs() : -1;
    if (state == Playing) {
        m_ticker.start();
    } else {
        m_ticker.stop();
    }
    emit stateChanged(this);
}

void VlcMediaPlayer::readMediaInfo() {
    if (m_media == nullptr) {
        return;
    }
    const libvlc_time_t duration = libvlc_media_get_duration(m_media);
    if (duration > 0) {
        m_length = duration;
    }
    const QSize size = vlcVideoTrackSize(m_media);
    if (size.isValid()) {
        m_trackSize = size;
    }
    if (const double rate = vlcVideoFrameRate(m_media); rate > 0) {
        m_frameRate = rate;
    }
}

void VlcMediaPlayer::releaseMedia() {
    if (m_media == nullptr) {
        return;
    }
    libvlc_media_parse_stop(m_media);
    libvlc_event_manager_t* events = libvlc_media_event_manager(m_media);
    for (const libvlc_event_type_t type : kMediaEvents) {
        libvlc_event_detach(events, type, &VlcMediaPlayer::onEngineEvent, this);
    }
    {
        QMutexLocker lock(&m_sink->mutex);
        m_sink->media = nullptr;
    }
    libvlc_media_release(m_media);
    m_media = nullptr;
}

void VlcMediaPlayer::setMedia(const QString& path) {
    if (m_player != nullptr) {
        libvlc_media_player_stop(m_player);
    }
    ++m_generation;
    releaseMedia();
    m_path = path;
    m_length = 0;
    m_trackSize = QSize();
    m_frameRate = 0;
    m_clock.setRunning(false, wallMs());
    m_starting = false;
    m_pausePending = false;
    m_seeking = false;
    m_pendingTime = -1;
    m_pendingPosition = -1;
    rebase(0);
    {
        QMutexLocker lock(&m_sink->mutex);
        m_sink->lastFrame = QImage();
    }
    if (m_view) {
        m_view->clearFrame();
    }
    if (m_player == nullptr) {
        return;
    }
    if (path.isEmpty()) {
        libvlc_media_player_set_media(m_player, nullptr);
        return;
    }
    m_media = libvlc_media_new_path(m_library->handle(), QFile::encodeName(path).constData());
    if (m_media == nullptr) {
        // The path stays the player's media, so play() can report the failure.
        nura::logf("media could not be opened: %s", qUtf8Printable(path));
        return;
    }
    libvlc_event_manager_t* events = libvlc_media_event_manager(m_media);
    for (const libvlc_event_type_t type : kMediaEvents) {
        libvlc_event_attach(events, type, &VlcMediaPlayer::onEngineEvent, this);
    }
    {
        QMutexLocker lock(&m_sink->mutex);
        m_sink->media = m_media;
    }
    libvlc_media_player_set_media(m_player, m_media);
    // Length and picture size are wanted before playback starts (positions, scale); reading the
    // file's header runs on the engine's own thread.
    libvlc_media_parse_with_options(m_media, libvlc_media_parse_local, -1);
}

void VlcMediaPlayer::play() {
    if (m_path.isEmpty()) {
        return;
    }
    if (m_player == nullptr || m_media == nullptr) {
        failStart();
        return;
    }
    m_pausePending = false;
    const libvlc_state_t state = libvlc_media_player_get_state(m_player);
    if (state == libvlc_Ended || state == libvlc_Error) {
        restartAfterEnd();
    }
    if (libvlc_media_player_play(m_player) != 0) {
        failStart();
        return;
    }
    if (m_state != Playing) {
        m_starting = true;
    }
}

// A media that cannot start is reported as the engine reports a file it cannot read: Error,
// from the event loop, so the caller does not stand waiting for Playing.
void VlcMediaPlayer::failStart() {
    const int generation = m_generation.load();
    QMetaObject::invokeMethod(
        this, [this, generation] { handleEngineEvent(EngineEvent::Error, 0, generation); },
        Qt::QueuedConnection);
}

// An engine at its end ignores play; it needs a stop first. The stop is ours, not the caller's:
// no Stopped state is reported, and the position asked for while halted is applied on Playing.
void VlcMediaPlayer::restartAfterEnd() {
    m_swallowStopped = true;
    libvlc_media_player_stop(m_player);
    m_swallowStopped = false;
    ++m_generation;
    m_clock.setRunning(false, wallMs());
    m_seeking = false;
    if (m_pendingTime < 0 && m_pendingPosition < 0) {
        rebase(0);
    }
}

void VlcMediaPlayer::pause() {
    if (m_player == nullptr) {
        return;
    }
    // Before Playing the engine would take a pause as a stop: keep it for Playing.
    if (m_starting) {
        m_pausePending = true;
        return;
    }
    if (libvlc_media_player_get_state(m_player) != libvlc_Playing) {
        return;
    }
    m_clock.setRunning(false, wallMs());
    libvlc_media_player_set_pause(m_player, 1);
}

void VlcMediaPlayer::giveUp(Failure reason) {
    if (m_path.isEmpty()) {
        return;
    }
    stop();
    m_failure = reason;
    setState(Failed);
}

void VlcMediaPlayer::stop() {
    if (m_player == nullptr) {
        return;
    }
    libvlc_media_player_stop(m_player);
    ++m_generation;
    m_clock.setRunning(false, wallMs());
    m_starting = false;
    m_pausePending = false;
    m_seeking = false;
    m_pendingTime = -1;
    m_pendingPosition = -1;
    rebase(0);
}

void VlcMediaPlayer::applyPendingSeek() {
    if (m_pendingTime >= 0) {
        libvlc_media_player_set_time(m_player, m_pendingTime);
        rebase(m_pendingTime);
    } else if (m_pendingPosition >= 0) {
        libvlc_media_player_set_position(m_player, m_pendingPosition);
        if (m_length > 0) {
            rebase(static_cast<int64_t>(std::llround(static_cast<double>(m_pendingPosition) * m_length)));
        }
    } else {
        return;
    }
    m_pendingTime = -1;
    m_pendingPosition = -1;
    m_seeking = true;
    m_seekClock.restart();
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
    if (m_pendingPosition >= 0) {
        return m_pendingPosition;
    }
    if (m_player == nullptr) {
        return 0;
    }
    return std::clamp(libvlc_media_player_get_position(m_player), 0.0f, 1.0f);
}

void VlcMediaPlayer::setPosition(float position) {
    if (m_player == nullptr || m_media == nullptr) {
        return;
    }
    position = std::isnan(position) ? 0.0f : std::clamp(position, 0.0f, 1.0f);
    if (m_length > 0) {
        setTime(static_cast<int64_t>(std::llround(static_cast<double>(position) * m_length)));
        return;
    }
    const libvlc_state_t state = libvlc_media_player_get_state(m_player);
    if (state == libvlc_Playing || state == libvlc_Paused) {
        libvlc_media_player_set_position(m_player, position);
        m_pendingTime = -1;
        m_pendingPosition = -1;
    } else {
        m_pendingTime = -1;
        m_pendingPosition = position;
    }
}

void VlcMediaPlayer::setTime(int64_t ms) {
    if (m_player == nullptr || m_media == nullptr) {
        return;
    }
    ms = std::max<int64_t>(ms, 0);
    if (m_length > 0) {
        ms = std::min(ms, m_length);
    }
    m_pendingPosition = -1;
    const libvlc_state_t state = libvlc_media_player_get_state(m_player);
    if (state == libvlc_Playing || state == libvlc_Paused) {
        libvlc_media_player_set_time(m_player, ms);
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
    if (!(rate > 0.0f) || !std::isfinite(rate)) {
        return;
    }
    m_clock.setRate(rate, wallMs());
    m_rate = rate;
    if (m_player != nullptr) {
        libvlc_media_player_set_rate(m_player, rate);
    }
}

bool VlcMediaPlayer::hasVideoOut() const {
    return m_player != nullptr && m_media != nullptr && libvlc_media_player_has_vout(m_player) > 0;
}

QSize VlcMediaPlayer::videoSize() const {
    if (m_media == nullptr) {
        return {};
    }
    if (m_trackSize.isValid()) {
        return m_trackSize;
    }
    QMutexLocker lock(&m_sink->mutex);
    return m_sink->lastFrame.size();
}

void VlcMediaPlayer::applyAudio() {
    if (m_player == nullptr) {
        return;
    }
    libvlc_audio_set_mute(m_player, m_muted ? 1 : 0);
    libvlc_audio_set_volume(m_player, m_volume);
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
    {
        QMutexLocker lock(&m_sink->mutex);
        frame = m_sink->lastFrame;
    }
    if (frame.isNull() || path.isEmpty() || m_media == nullptr) {
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
