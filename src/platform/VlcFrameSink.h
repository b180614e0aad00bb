// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the player shares with the threads that are not the UI thread: the engine's video threads
// write pictures into the sink, and the player's worker owns the engine objects and makes every
// engine call. The UI thread only posts work and reads what comes back.

#include "platform/SerialWorker.h"
#include "platform/VlcMediaPlayer.h"

#include <QImage>
#include <QMutex>
#include <QSize>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>

struct libvlc_media_t;
struct libvlc_media_player_t;
class VlcLibrary;

// Only the callbacks, the worker and the UI thread touch it, always under the mutex, and nobody
// calls into the engine while holding it.
struct VlcMediaPlayer::FrameSink {
    Engine* engine = nullptr;
    QMutex mutex;
    libvlc_media_t* media = nullptr; // the format callback reads the picture's visible size from it
    uchar* pixels = nullptr;
    unsigned width = 0;
    unsigned height = 0;
    unsigned pitch = 0;
    // Pictures are tagged with the media they belong to: the worker sets `acceptMedia` once the
    // engine has let go of the previous one, and the UI thread shows only its current media's.
    int acceptMedia = -1;
    int frameMedia = -1;
    QImage lastFrame;
    quint64 framesDelivered = 0; // pictures the engine handed over for display
    // The engine's own counts, fetched by the worker now and then.
    int decoded = 0;
    int late = 0;
    std::atomic<bool> framePending{false};

    ~FrameSink() { std::free(pixels); }
};

// One player's engine objects and its serial worker. Shared by the player and the worker thread:
// when the engine hangs at quit, the player leaves and the worker keeps this alive on its own.
struct VlcMediaPlayer::Engine {
    using Task = std::function<void(Engine&)>;

    std::shared_ptr<VlcLibrary> library;
    FrameSink sink;
    // Worker thread only (and the engine's callbacks, which get `this` as their context).
    libvlc_media_player_t* player = nullptr;
    libvlc_media_t* media = nullptr;
    // The run and media the engine's reports belong to, set by the worker as it moves on.
    std::atomic<int> run{0};
    std::atomic<int> mediaSerial{0};

    // Runs `task` on the worker after the work posted before it. A seek posted while the previous
    // one still waits in the queue takes its place.
    void post(Task task, bool seek = false);
    // Runs `report` on the UI thread, unless the player has gone.
    void report(std::function<void(VlcMediaPlayer&)> report);

    void start(const std::shared_ptr<Engine>& self);
    // Posts the engine's teardown and waits for it up to `waitMs`; returns false when the worker
    // did not get there (it is left running on its own).
    bool shutDown(int waitMs);

    std::mutex reportMutex;
    VlcMediaPlayer* owner = nullptr;

private:
    SerialWorker m_worker;
};

// The first video track's own size, or an empty size when the media has none (yet).
QSize vlcVideoTrackSize(libvlc_media_t* media);
// The first video track's frames per second, or 0 when the media does not say (yet).
double vlcVideoFrameRate(libvlc_media_t* media);
