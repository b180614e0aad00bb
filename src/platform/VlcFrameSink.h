#pragma once
// Shared by the player and its frame hand-off (VlcMediaPlayerFrames.cpp): what the engine's video
// threads and the UI thread exchange.

#include "platform/VlcMediaPlayer.h"

#include <QImage>
#include <QMutex>
#include <QSize>

#include <cstdlib>

struct libvlc_media_t;

// What the engine's video threads share with the player. Only the callbacks and the UI thread
// touch it, always under the mutex, and the UI thread never calls into the engine while holding it.
struct VlcMediaPlayer::FrameSink {
    VlcMediaPlayer* owner = nullptr;
    QMutex mutex;
    libvlc_media_t* media = nullptr; // the format callback reads the picture's visible size from it
    uchar* pixels = nullptr;
    unsigned width = 0;
    unsigned height = 0;
    unsigned pitch = 0;
    QImage lastFrame;
    quint64 framesDelivered = 0; // pictures the engine handed over for display

    ~FrameSink() { std::free(pixels); }
};

// The first video track's own size, or an empty size when the media has none (yet).
QSize vlcVideoTrackSize(libvlc_media_t* media);
// The first video track's frames per second, or 0 when the media does not say (yet).
double vlcVideoFrameRate(libvlc_media_t* media);
