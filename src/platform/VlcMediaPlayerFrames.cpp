// SPDX-License-Identifier: GPL-3.0-or-later
// The frame hand-off of VlcMediaPlayer: libVLC's video callbacks write pictures into the shared
// sink on the engine's threads; the UI thread shows the latest one.

#include "platform/VideoView.h"
#include "platform/VlcFrameSink.h"

#include <QFileInfo>
#include <QMetaObject>
#include <QMutexLocker>
#include <QTimer>

#include <vlc/vlc.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace {

// `read` of the first video track that `accept`s, or `none`.
template <typename T, typename Read> T firstVideoTrack(libvlc_media_t* media, T none, Read read) {
    T value = none;
    libvlc_media_track_t** tracks = nullptr;
    const unsigned count = libvlc_media_tracks_get(media, &tracks);
    for (unsigned i = 0; i < count; ++i) {
        if (tracks[i]->i_type == libvlc_track_video && tracks[i]->video != nullptr) {
            if (const auto v = read(*tracks[i]->video); v) {
                value = *v;
                break;
            }
        }
    }
    if (tracks != nullptr) {
        libvlc_media_tracks_release(tracks, count);
    }
    return value;
}

} // namespace

QSize vlcVideoTrackSize(libvlc_media_t* media) {
    return firstVideoTrack(media, QSize(), [](const libvlc_video_track_t& video) -> std::optional<QSize> {
        if (video.i_width == 0 || video.i_height == 0) {
            return std::nullopt;
        }
        return QSize(static_cast<int>(video.i_width), static_cast<int>(video.i_height));
    });
}

double vlcVideoFrameRate(libvlc_media_t* media) {
    return firstVideoTrack(media, 0.0, [](const libvlc_video_track_t& video) -> std::optional<double> {
        if (video.i_frame_rate_num == 0 || video.i_frame_rate_den == 0) {
            return std::nullopt;
        }
        return static_cast<double>(video.i_frame_rate_num) / video.i_frame_rate_den;
    });
}

unsigned VlcMediaPlayer::setupFormat(void** opaque, char* chroma, unsigned* width, unsigned* height,
                                     unsigned* pitches, unsigned* lines) {
    auto* sink = static_cast<FrameSink*>(*opaque);
    QMutexLocker lock(&sink->mutex);
    // The proposed height can be the decoder's padded one, which the engine would stretch the
    // picture into; ask for the track's own size instead.
    if (sink->media != nullptr) {
        const QSize visible = vlcVideoTrackSize(sink->media);
        if (visible.isValid()) {
            *width = static_cast<unsigned>(visible.width());
            *height = static_cast<unsigned>(visible.height());
        }
    }
    if (*width == 0 || *height == 0 || *width > 16384 || *height > 16384) {
        return 0;
    }
    std::memcpy(chroma, "RV32", 4);
    const unsigned pitch = (*width * 4 + 63) & ~63u;
    std::free(sink->pixels);
    // A few spare lines: converters may write whole macroblock rows.
    sink->pixels = static_cast<uchar*>(std::aligned_alloc(64, static_cast<size_t>(pitch) * (*height + 16)));
    if (sink->pixels == nullptr) {
        return 0;
    }
    sink->width = *width;
    sink->height = *height;
    sink->pitch = pitch;
    pitches[0] = pitch;
    lines[0] = *height;
    return 1;
}

void VlcMediaPlayer::cleanupFormat(void* opaque) {
    auto* sink = static_cast<FrameSink*>(opaque);
    QMutexLocker lock(&sink->mutex);
    std::free(sink->pixels);
    sink->pixels = nullptr;
    sink->width = sink->height = sink->pitch = 0;
}

void* VlcMediaPlayer::lockFrame(void* opaque, void** planes) {
    auto* sink = static_cast<FrameSink*>(opaque);
    QMutexLocker lock(&sink->mutex);
    planes[0] = sink->pixels;
    return nullptr;
}

void VlcMediaPlayer::displayFrame(void* opaque, void*) {
    auto* sink = static_cast<FrameSink*>(opaque);
    {
        QMutexLocker lock(&sink->mutex);
        if (sink->pixels == nullptr) {
            return;
        }
        // RV32 is B, G, R, X in memory: Qt's RGB32 on a little-endian machine.
        sink->lastFrame = QImage(sink->pixels, static_cast<int>(sink->width), static_cast<int>(sink->height),
                                 static_cast<qsizetype>(sink->pitch), QImage::Format_RGB32)
                              .copy();
        sink->frameMedia = sink->acceptMedia;
        ++sink->framesDelivered;
    }
    // One queued hand-over at a time; the UI thread shows whichever frame is the latest by then.
    if (!sink->framePending.exchange(true)) {
        sink->engine->report([](VlcMediaPlayer& player) { player.showLatestFrame(); });
    }
}

// ---------------------------------------------------------------- UI thread

void VlcMediaPlayer::showLatestFrame() {
    m_engine->sink.framePending = false;
    QImage frame;
    // A picture of an earlier media, still on its way when the media changed, is not shown.
    if (!currentFrame(&frame)) {
        return;
    }
    m_hasVideoOut = true;
    if (m_view) {
        m_view->presentFrame(frame);
    }
}

VideoView* VlcMediaPlayer::view() const {
    return m_view;
}

void VlcMediaPlayer::setView(VideoView* view) {
    if (view == m_view) {
        return;
    }
    m_view = view;
    QImage frame;
    if (m_view && currentFrame(&frame)) {
        m_view->presentFrame(frame);
    } else if (m_view && !hasMedia()) {
        m_view->clearFrame(); // not another player's picture
    }
    // Still opening its file, the player's first picture replaces the one the view shows.
}

QString VlcMediaPlayer::pictureCounts() const {
    int decoded = 0;
    int late = 0;
    quint64 delivered = 0;
    {
        QMutexLocker lock(&m_engine->sink.mutex);
        decoded = m_engine->sink.decoded;
        late = m_engine->sink.late;
        delivered = m_engine->sink.framesDelivered;
    }
    return QStringLiteral("%1: decoded %2, late %3, handed over %4, presented %5, painted %6")
        .arg(QFileInfo(m_path).fileName())
        .arg(decoded)
        .arg(late)
        .arg(delivered)
        .arg(m_view ? m_view->framesPresented() : 0)
        .arg(m_view ? m_view->framesPainted() : 0);
}

// ---------------------------------------------------------------- frame by frame

// The engine steps forward on its own (next_frame), but right after a seek its first step may show
// the same frame again, and it cannot step back. A seek to the middle of the wanted frame, while
// paused, shows exactly that frame in both directions.
bool VlcMediaPlayer::showFrame(int64_t index) {
    if (!hasMedia() || !isHalted() || m_pendingTime >= 0 || m_pendingPosition >= 0 || index < 0 ||
        index > lastFrameIndex()) {
        return false;
    }
    if (m_machine.state == Ended) {
        // The engine at its end cannot seek: it starts again, paused on that frame.
        m_restartFrame = index;
        m_pendingTime = frameStart(index);
        play();
        pause();
        return true;
    }
    rebase(frameStart(index));
    m_seeking = false;
    m_onFrame = true;
    seekWhenSettled(frameMiddle(index));
    return true;
}

// Just after a halt the engine may still put up pictures it had queued, after the one a seek shows;
// a seek asked that early waits until the halt has settled, counted from the engine's own report of
// the pause when it comes later. The latest one wins, and a resume takes it at once.
void VlcMediaPlayer::seekWhenSettled(int64_t engineMs) {
    m_settleSeekMs = engineMs;
    seekOnceSettled(++m_haltedSeekSerial);
}

void VlcMediaPlayer::seekOnceSettled(int serial) {
    if (serial != m_haltedSeekSerial || m_settleSeekMs < 0 || !isHalted()) {
        return;
    }
    const int64_t wait = kPauseSettleMs - (wallMs() - m_haltedAtMs);
    if (wait > 0) {
        QTimer::singleShot(static_cast<int>(wait), this, [this, serial, run = m_machine.run] {
            if (run == m_machine.run) {
                seekOnceSettled(serial);
            }
        });
        return;
    }
    seekEngine(m_settleSeekMs);
    m_settleSeekMs = -1;
}
