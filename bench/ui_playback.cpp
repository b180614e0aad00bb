// SPDX-License-Identifier: GPL-3.0-or-later
// Playback figures of the viewer, each next to its baseline:
// - the G-sensor graph's full redraw for a 3-minute recording at 1000 points wide;
// - double-click to both views showing a frame, next to one bare player's first frame;
// - the front/rear difference on screen, in frames, during 40 s of playback and after seeks, on a
//   pair whose pictures carry their frame number as bits (the rear file one second longer);
// - the longest stall of the UI thread while playing.
// The CPU of playback is measured on whole processes by bench/playback_cpu.py.
// Runs offscreen; needs ffmpeg for the clips.

#include "BenchWait.h"
#include "FrameNumberClip.h"
#include "H264Encoder.h"
#include "platform/MediaPlayer.h"
#include "platform/VideoView.h"
#include "ui/app/CustomWindow.h"
#include "ui/app/ORBAppDelegate.h"
#include "ui/app/ORBPlayInfo.h"
#include "ui/views/GraphView.h"

#include <vlc/vlc.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>
#include <vector>

namespace {

using bench::median;
using bench::waitFor;

void spin(int ms) {
    waitFor([] { return false; }, ms);
}

bool ffmpeg(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("ffmpeg"), QStringList{"-v", "error", "-y"} + args);
    return p.waitForFinished(300000) && p.exitCode() == 0;
}

bool frameNumberClip(const QString& path, int seconds) {
    return samples::writeFrameNumberClip(path, seconds);
}

int frameNumber(const QImage& frame) {
    return samples::frameNumber(frame);
}

// The application's services; with `slowTelemetry` every telemetry read takes 2 s more, as on a slow card.
ORBAppServices viewerServices(bool slowTelemetry) {
    ORBAppServices services = ORBAppServices::real();
    if (slowTelemetry) {
        services.readTelemetry =
            [inner = backgroundTelemetryReader()](QObject* context, std::function<ORBTelemetry()> read,
                                                  std::function<void(ORBTelemetry)> done) {
                inner(
                    context,
                    [read] {
                        std::this_thread::sleep_for(std::chrono::seconds(2));
                        return read();
                    },
                    std::move(done));
            };
    }
    return services;
}

struct Viewer {
    ORBAppDelegate app;
    explicit Viewer(const QString& folder, bool slowTelemetry = false) : app(viewerServices(slowTelemetry)) {
        app.launch();
        bool listed = false;
        QObject::connect(&app, &ORBAppDelegate::mediaListReloaded, [&listed] { listed = true; });
        app.openMediaDirectory(folder);
        waitFor([&listed] { return listed; }, 20000);
    }
    ~Viewer() { app.applicationWillTerminate(); }
};

void graphRedraw() {
    GraphView graph;
    graph.resize(1040, 130);
    auto samples = std::make_shared<std::vector<nura::ORBGSensor>>();
    for (int i = 0; i < 1800; ++i) {
        samples->emplace_back(std::sin(i * 0.05f), std::cos(i * 0.03f), 1.0f + 0.2f * std::sin(i * 0.2f));
    }
    std::vector<double> full, bar;
    for (int run = 0; run < 9; ++run) {
        graph.setGraphData(samples);
        QElapsedTimer t;
        t.start();
        graph.grab();
        full.push_back(t.nsecsElapsed() / 1e6);
        graph.updateTimePosition(run / 9.0);
        t.restart();
        graph.grab();
        bar.push_back(t.nsecsElapsed() / 1e6);
    }
    std::printf("graph, 3-minute recording, 1000 points wide: full redraw %.2f ms; bar move (cached traces) "
                "%.2f ms\n",
                median(full), median(bar));
}

void firstFrames(const QString& folder, const QString& front) {
    std::vector<double> bare, viewer, slowRead;
    for (int run = 0; run < 6; ++run) {
        {
            VideoView view;
            view.resize(640, 360);
            auto player = createMediaPlayer(&view);
            QElapsedTimer t;
            t.start();
            player->setMedia(front);
            player->play();
            if (waitFor([&] { return !view.lastFrame().isNull(); }, 10000)) {
                bare.push_back(t.elapsed());
            }
            player->stop();
        }
        // Alternating which goes first, so that neither pays alone for what the other left running.
        for (bool slow : {run % 2 == 0, run % 2 != 0}) {
            Viewer v(folder, slow);
            QElapsedTimer t;
            t.start();
            v.app.playback().changeAndPlay(0);
            if (waitFor(
                    [&] {
                        return !v.app.video1View()->lastFrame().isNull() &&
                               !v.app.video2View()->lastFrame().isNull();
                    },
                    10000)) {
                (slow ? slowRead : viewer).push_back(t.elapsed());
            }
        }
    }
    std::printf("double-click to both views' first frame (1080p + 720p): %.0f ms; with a telemetry read "
                "of 2 s: %.0f ms (%.2fx); one bare player's first frame: %.0f ms (medians of 6)\n",
                median(viewer), median(slowRead), median(slowRead) / median(viewer), median(bare));
}

void sync(const QString& folder) {
    Viewer v(folder);
    auto& app = v.app;
    // The longest gap between 5 ms ticks of the UI thread's event loop while playing.
    QElapsedTimer tick;
    qint64 longest = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { longest = std::max(longest, tick.restart()); });
    app.playback().changeAndPlay(0);
    if (!waitFor([&] { return app.player1()->isPlaying() && app.player2()->isPlaying(); }, 10000)) {
        std::printf("sync: the pair did not start\n");
        return;
    }
    tick.start();
    timer.start(5);
    QElapsedTimer clock;
    clock.start();
    int worst = 0, samples = 0;
    std::vector<int> diffs;
    while (clock.elapsed() < 39000 && app.player1()->isPlaying()) {
        spin(100);
        const int a = frameNumber(app.video1View()->lastFrame());
        const int b = frameNumber(app.video2View()->lastFrame());
        if (a < 0 || b < 0 || clock.elapsed() < 1000) {
            continue;
        }
        worst = std::max(worst, std::abs(a - b));
        diffs.push_back(std::abs(a - b));
        ++samples;
    }
    const qint64 stall = longest;
    // The worst difference at each of these delays after a seek, over three seeks.
    const int delays[] = {500, 1000, 1500, 2500};
    int afterSeek[4] = {0, 0, 0, 0};
    for (double to : {0.2, 0.7, 0.4}) {
        app.playback().videoPositionSliderMoved(to);
        QElapsedTimer since;
        since.start();
        for (int i = 0; i < 4; ++i) {
            spin(static_cast<int>(delays[i] - since.elapsed()));
            const int a = frameNumber(app.video1View()->lastFrame());
            const int b = frameNumber(app.video2View()->lastFrame());
            if (a >= 0 && b >= 0) {
                afterSeek[i] = std::max(afterSeek[i], std::abs(a - b));
            }
        }
    }
    timer.stop();
    std::printf(
        "front/rear difference on screen over 40 s (%d samples after the first second): worst %d frames, "
        "median %.0f; after 3 seeks, worst at 0.5/1/1.5/2.5 s: %d/%d/%d/%d frames (baseline: 1 frame)\n",
        samples, worst, median(std::vector<double>(diffs.begin(), diffs.end())), afterSeek[0], afterSeek[1],
        afterSeek[2], afterSeek[3]);
    std::printf("longest UI-thread stall while playing: %lld ms (baseline: 50 ms)\n",
                static_cast<long long>(stall));
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    initMediaPlayerLibrary(MediaPlayerOptions{.silent = true});
    graphRedraw();

    QTemporaryDir dir;
    const QString card = dir.filePath(QStringLiteral("card")), bits = dir.filePath(QStringLiteral("bits"));
    QDir().mkpath(card);
    QDir().mkpath(bits);
    const QString front = card + QStringLiteral("/alwa_20230115_083000_F.MP4");
    const QString rear = card + QStringLiteral("/alwa_20230115_083000_R.MP4");
    if (!ffmpeg(
            {"-f", "lavfi", "-i", "testsrc2=s=1920x1080:r=30:d=3", "-c:v", "libx264", "-g", "30", front}) ||
        !ffmpeg(
            {"-f", "lavfi", "-i", "smptebars=s=1280x720:r=30:d=3", "-c:v", "libx264", "-g", "30", rear})) {
        std::fprintf(stderr, "bench: ffmpeg could not make the clips\n");
        return 1;
    }
    firstFrames(card, front);

    if (!frameNumberClip(bits + QStringLiteral("/alwa_20230115_083000_F.MP4"), 40) ||
        !frameNumberClip(bits + QStringLiteral("/alwa_20230115_083000_R.MP4"), 41)) {
        std::fprintf(stderr, "bench: ffmpeg could not make the numbered clips\n");
        return 1;
    }
    sync(bits);
    return 0;
}
