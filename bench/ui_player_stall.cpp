// SPDX-License-Identifier: GPL-3.0-or-later
// The longest stall of the UI thread while two real players start, seek and stop recordings
// whose every read takes 2 s (a slow or failing card), next to the same run at full speed.
// The slow card is bench/slow_read_shim.c, loaded with LD_PRELOAD into a second run of this
// program; a 10 ms timer on the UI thread records how late it fires.
// Runs offscreen; needs ffmpeg for the clips.

#include "platform/MediaPlayer.h"
#include "platform/VideoView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr int kSlowReadMs = 2000;
constexpr int kTickMs = 10;
constexpr int kRounds = 6;
constexpr int kRepeats = 5;
constexpr double kTargetMs = 50;

bool ffmpeg(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("ffmpeg"), QStringList{"-v", "error", "-y"} + args);
    return p.waitForFinished(120000) && p.exitCode() == 0;
}

void runEventLoop(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// One run in this process: prints "stall <ms> call <ms>".
int measure(const QString& folder) {
    initMediaPlayerLibrary(MediaPlayerOptions{.silent = true});
    VideoView frontView, rearView;
    auto front = createMediaPlayer(&frontView);
    auto rear = createMediaPlayer(&rearView);

    QElapsedTimer wall;
    wall.start();
    qint64 lastTick = 0;
    qint64 worstStall = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(kTickMs);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = wall.elapsed();
        worstStall = std::max(worstStall, now - lastTick - kTickMs);
        lastTick = now;
    });

    qint64 worstCall = 0;
    const auto timed = [&](const std::function<void()>& call) {
        QElapsedTimer t;
        t.start();
        call();
        worstCall = std::max(worstCall, t.elapsed());
    };

    lastTick = wall.elapsed();
    ticker.start();
    for (int round = 0; round < kRounds; ++round) {
        const QString stem = folder + QStringLiteral("/slowread_%1_").arg(round % 2);
        // As the viewer starts a recording: both files set, both players started.
        timed([&] { front->setMedia(stem + "F.mp4"); });
        timed([&] { rear->setMedia(stem + "R.mp4"); });
        timed([&] { front->play(); });
        timed([&] { rear->play(); });
        runEventLoop(500);
        timed([&] { front->setTime(1000); });
        timed([&] { rear->setTime(1000); });
        runEventLoop(300);
        timed([&] { front->pause(); });
        timed([&] { rear->pause(); });
        timed([&] { front->stop(); });
        timed([&] { rear->stop(); });
        runEventLoop(200);
    }
    ticker.stop();
    std::printf("stall %lld call %lld\n", static_cast<long long>(worstStall),
                static_cast<long long>(worstCall));
    std::fflush(stdout);
    // Quitting waits a bounded time for engines still held by the card; not part of the figure.
    return 0;
}

struct Run {
    bool ok = false;
    double stallMs = 0;
    double callMs = 0;
    double worstStallMs = 0;
};

Run runChild(const QString& self, const QString& folder, int slowReadMs) {
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(NURA_SLOW_READ_SHIM));
    env.insert(QStringLiteral("NURA_SLOW_READ_MS"), QString::number(slowReadMs));
    env.insert(QStringLiteral("NURA_STALL_FOLDER"), folder);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(self, {});
    Run run;
    if (!child.waitForFinished(300000) || child.exitCode() != 0) {
        return run;
    }
    const QList<QByteArray> words = child.readAllStandardOutput().trimmed().split(' ');
    if (words.size() == 4 && words[0] == "stall" && words[2] == "call") {
        run.ok = true;
        run.stallMs = words[1].toDouble();
        run.callMs = words[3].toDouble();
    }
    return run;
}

} // namespace

int main(int argc, char** argv) {
    const QString folder = qEnvironmentVariable("NURA_STALL_FOLDER");
    if (!folder.isEmpty()) {
        QApplication app(argc, argv);
        return measure(folder);
    }
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    for (int pair = 0; pair < 2; ++pair) {
        for (const char* side : {"F", "R"}) {
            const QString path = dir.filePath(QStringLiteral("slowread_%1_%2.mp4").arg(pair).arg(side));
            if (!ffmpeg({"-f", "lavfi", "-i", "testsrc=size=640x360:rate=30:duration=4", "-c:v", "libx264",
                         "-g", "30", "-pix_fmt", "yuv420p", path})) {
                std::fprintf(stderr, "ffmpeg could not make the clips\n");
                return 1;
            }
        }
    }
    // Two cores shared with other work make single runs noisy: each figure is the median of a few.
    const QString self = QCoreApplication::applicationFilePath();
    const auto medianOf = [&](int slowReadMs, Run* result) {
        std::vector<Run> runs;
        for (int i = 0; i < kRepeats; ++i) {
            const Run run = runChild(self, dir.path(), slowReadMs);
            if (!run.ok) {
                return false;
            }
            runs.push_back(run);
        }
        std::sort(runs.begin(), runs.end(), [](const Run& a, const Run& b) { return a.stallMs < b.stallMs; });
        *result = runs[runs.size() / 2];
        result->worstStallMs = runs.back().stallMs;
        for (const Run& run : runs) {
            result->callMs = std::max(result->callMs, run.callMs);
        }
        return true;
    };
    Run fast, slow;
    if (!medianOf(0, &fast) || !medianOf(kSlowReadMs, &slow)) {
        std::fprintf(stderr, "a measuring run failed\n");
        return 1;
    }
    std::printf(
        "Longest UI-thread stall while two players start, seek and stop recordings (%d rounds; median "
        "of %d runs, worst run, longest player call):\n",
        kRounds, kRepeats);
    std::printf("  reads at full speed:      %6.0f ms, worst %6.0f ms, call %5.0f ms\n", fast.stallMs,
                fast.worstStallMs, fast.callMs);
    std::printf("  every read held %d ms: %6.0f ms, worst %6.0f ms, call %5.0f ms\n", kSlowReadMs,
                slow.stallMs, slow.worstStallMs, slow.callMs);
    std::printf("  ratio held/full speed: %.2f; target under %.0f ms: %s\n",
                slow.stallMs / std::max(fast.stallMs, 1.0), kTargetMs,
                slow.stallMs < kTargetMs ? "met" : "MISSED");
    return 0;
}
