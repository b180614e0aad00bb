// SPDX-License-Identifier: GPL-3.0-or-later
// Drive playback figures of the viewer, each next to its baseline:
// - the longest frozen picture at a back-to-back join, next to the frame interval and to the
//   longest one inside a recording, at 1x and 4x, and what recording mode costs at the same join;
// - the front/rear difference on screen from 0.5 s after each join;
// - a seek across a drive of 60 recordings (3 hours) to the middle of the last one, next to a
//   double-click start of that recording;
// - peak memory while playing a drive (four players) next to recording mode, on 1080p front and
//   720p rear files.
// The pictures carry their frame number, counted on across the drive. Runs offscreen; needs ffmpeg.

#include "BenchWait.h"
#include "FrameNumberClip.h"
#include "platform/MediaPlayer.h"
#include "platform/VideoView.h"
#include "ui/app/ORBAppDelegate.h"
#include "ui/app/ORBPlaybackController.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

using bench::median;
using bench::waitFor;

constexpr int kFps = 30, kSeconds = 5, kFramesEach = kFps * kSeconds, kRecordings = 4;

QString stampAt(int seconds) {
    return QStringLiteral("alwa_20230115_%1%2%3")
        .arg(8 + seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

bool writeDrive(const QString& folder) {
    for (int k = 0; k < kRecordings; ++k) {
        for (const char* side : {"_F.MP4", "_R.MP4"}) {
            if (!samples::writeFrameNumberClip(folder + QLatin1Char('/') + stampAt(k * kSeconds) +
                                                   QLatin1String(side),
                                               kSeconds, kFps, k * kFramesEach)) {
                return false;
            }
        }
    }
    return true;
}

// The same drive at the camera's sizes, for the memory it takes.
bool writeLargeDrive(const QString& folder) {
    for (int k = 0; k < kRecordings; ++k) {
        for (const bool rear : {false, true}) {
            QProcess p;
            p.start(
                QStringLiteral("ffmpeg"),
                {"-v", "error", "-y", "-f", "lavfi", "-i",
                 QStringLiteral("testsrc2=s=%1:r=30:d=%2").arg(rear ? "1280x720" : "1920x1080").arg(kSeconds),
                 "-c:v", "libx264", "-preset", "ultrafast", "-g", "30",
                 folder + QLatin1Char('/') + stampAt(k * kSeconds) + (rear ? "_R.MP4" : "_F.MP4")});
            if (!p.waitForFinished(120000) || p.exitCode() != 0) {
                return false;
            }
        }
    }
    return true;
}

std::unique_ptr<ORBAppDelegate> openViewer(const QString& folder, bool driveMode) {
    auto app = std::make_unique<ORBAppDelegate>(ORBAppServices::real());
    app->launch();
    bool reloaded = false;
    QObject::connect(app.get(), &ORBAppDelegate::mediaListReloaded, [&reloaded] { reloaded = true; });
    app->openMediaDirectory(folder);
    if (!waitFor([&reloaded] { return reloaded; }, 10000)) {
        return nullptr;
    }
    app->playback().setDriveMode(driveMode);
    return app;
}

// When each picture reached the view, and the front/rear difference sampled along the way.
struct Showing {
    std::vector<std::pair<qint64, int>> changes; // ms since the start, frame number
    std::vector<std::pair<qint64, int>> differences;
};

Showing watch(ORBAppDelegate& app, int untilFrame, int timeoutMs) {
    Showing s;
    QElapsedTimer clock;
    clock.start();
    waitFor(
        [&] {
            const int a = samples::frameNumber(app.video1View()->lastFrame());
            const int b = samples::frameNumber(app.video2View()->lastFrame());
            if (a >= 0 && (s.changes.empty() || s.changes.back().second != a)) {
                s.changes.emplace_back(clock.elapsed(), a);
            }
            if (a >= 0 && b >= 0) {
                s.differences.emplace_back(clock.elapsed(), std::abs(a - b));
            }
            return a >= untilFrame;
        },
        timeoutMs);
    return s;
}

// The longest time one picture stayed on screen, among the pictures next to a join and among the
// others (after the first second).
struct Frozen {
    qint64 atJoin = 0, inside = 0, worstDifferenceAfterJoin = 0;
    // Of the join's: the last picture of a recording and the next one's first.
    qint64 lastHeld = 0, firstHeld = 0;
};

Frozen frozen(const Showing& s) {
    Frozen f;
    std::vector<qint64> joinTimes;
    for (size_t i = 1; i < s.changes.size(); ++i) {
        const qint64 held = s.changes[i].first - s.changes[i - 1].first;
        const int before = s.changes[i - 1].second / kFramesEach, after = s.changes[i].second / kFramesEach;
        const bool nearJoin = before != after ||
                              (i >= 2 && s.changes[i - 2].second / kFramesEach != before) ||
                              (i + 1 < s.changes.size() && s.changes[i + 1].second / kFramesEach != after);
        if (before != after) {
            joinTimes.push_back(s.changes[i].first);
            f.lastHeld = std::max(f.lastHeld, held);
        } else if (i >= 2 && s.changes[i - 2].second / kFramesEach != before) {
            f.firstHeld = std::max(f.firstHeld, held);
        }
        if (nearJoin) {
            f.atJoin = std::max(f.atJoin, held);
        } else if (s.changes[i].first > 1000) {
            f.inside = std::max(f.inside, held);
        }
    }
    for (const auto& [at, difference] : s.differences) {
        for (size_t j = 0; j < joinTimes.size(); ++j) {
            const qint64 next = j + 1 < joinTimes.size() ? joinTimes[j + 1] : joinTimes[j] + 1500;
            if (at > joinTimes[j] + 500 && at < std::min(next, joinTimes[j] + 1500)) {
                f.worstDifferenceAfterJoin = std::max<qint64>(f.worstDifferenceAfterJoin, difference);
            }
        }
    }
    return f;
}

void joins(const QString& folder) {
    for (const double speed : {1.0, 4.0}) {
        const auto app = openViewer(folder, true);
        if (!app || !app->playback().playAtIndex(0) ||
            !waitFor([&] { return app->playback().driveModeActive(); }, 10000)) {
            std::printf("joins: the drive did not start\n");
            return;
        }
        app->playback().setSpeed(speed);
        const Frozen f = frozen(watch(*app, kRecordings * kFramesEach - 2, 60000));
        const double interval = 1000.0 / (kFps * speed);
        std::printf("drive mode at %gx: longest frozen picture at a back-to-back join %lld ms (%.1f frame "
                    "intervals of %.0f ms; the last picture %lld ms, the next one's first %lld ms), inside a "
                    "recording %lld ms; front/rear from 0.5 s after a join "
                    "to 1.5 s or the next: "
                    "worst %lld frames (baseline: 2 intervals, 1 frame)\n",
                    speed, static_cast<long long>(f.atJoin), static_cast<double>(f.atJoin) / interval,
                    interval, static_cast<long long>(f.lastHeld), static_cast<long long>(f.firstHeld),
                    static_cast<long long>(f.inside), static_cast<long long>(f.worstDifferenceAfterJoin));
        app->applicationWillTerminate();
    }
    const auto app = openViewer(folder, false);
    if (!app || !app->playback().playAtIndex(0)) {
        return;
    }
    const Frozen f = frozen(watch(*app, kRecordings * kFramesEach - 2, 60000));
    std::printf(
        "recording mode at 1x: the picture at the same joins stays %lld ms (the second's wait and the "
        "start); inside a recording %lld ms\n",
        static_cast<long long>(f.atJoin), static_cast<long long>(f.inside));
    app->applicationWillTerminate();
}

// 59 placeholder recordings of 3 minutes and a numbered last one; the seek goes to its middle.
void longDrive(const QString& folder) {
    constexpr int kLong = 60, kMinutes = 3, kLongFps = 20;
    for (int k = 0; k + 1 < kLong; ++k) {
        QProcess p;
        p.start(QStringLiteral("ffmpeg"),
                {"-v", "error", "-y", "-f", "lavfi", "-i",
                 QStringLiteral("color=c=gray:s=240x32:r=1:d=%1").arg(kMinutes * 60), "-c:v", "libx264", "-g",
                 "600", folder + QLatin1Char('/') + stampAt(k * kMinutes * 60) + QStringLiteral("_F.MP4")});
        if (!p.waitForFinished(60000) || p.exitCode() != 0) {
            std::printf("long drive: ffmpeg failed\n");
            return;
        }
    }
    const QString last =
        folder + QLatin1Char('/') + stampAt((kLong - 1) * kMinutes * 60) + QStringLiteral("_F.MP4");
    if (!samples::writeFrameNumberClip(last, kMinutes * 60, kLongFps)) {
        return;
    }
    const int middle = kMinutes * 60 * kLongFps / 2;
    std::vector<double> seeks, starts;
    for (int run = 0; run < 3; ++run) {
        const auto app = openViewer(folder, true);
        if (!app || !app->playback().playAtIndex(0) ||
            !waitFor([&] { return app->playback().driveModeActive() && app->playback().time() > 0; },
                     20000)) {
            std::printf("long drive: the drive did not start\n");
            return;
        }
        QElapsedTimer t;
        t.start();
        app->playback().seekDriveTo((static_cast<int64_t>(kLong - 1) * kMinutes * 60 + kMinutes * 30) * 1000);
        if (waitFor(
                [&] { return std::abs(samples::frameNumber(app->video1View()->lastFrame()) - middle) < 40; },
                20000)) {
            seeks.push_back(static_cast<double>(t.elapsed()));
        }
        t.restart();
        app->playback().stopPlay();
        app->playback().playAtIndex(kLong - 1);
        if (waitFor([&] { return !app->video1View()->lastFrame().isNull(); }, 20000)) {
            starts.push_back(static_cast<double>(t.elapsed()));
        }
        app->applicationWillTerminate();
    }
    if (seeks.empty() || starts.empty()) {
        return;
    }
    const double seek = median(seeks), start = median(starts);
    std::printf("drive of %d recordings (3 h): seek from the start to the middle of the last one %.0f ms, a "
                "double-click start of that recording %.0f ms (%.2fx; medians of 3)\n",
                kLong, seek, start, seek / start);
}

// Run in a process of its own: plays the drive in one mode for 12 s and prints the peak RSS in KiB.
int peakMemory(const QString& folder, bool driveMode) {
    const auto app = openViewer(folder, driveMode);
    if (!app || !app->playback().playAtIndex(0)) {
        return 1;
    }
    waitFor([] { return false; }, 12000);
    // The peak of this program's own memory: getrusage's would include the parent's at the fork.
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return 1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            std::printf("%ld\n", line.mid(6).trimmed().split(' ').first().toLong());
        }
    }
    app->applicationWillTerminate();
    return 0;
}

void memory(const QString& self, const QString& folder) {
    // The peak moves by a third from run to run (the decoders' threads): medians of three, the modes
    // alternating.
    std::vector<double> peaks[2];
    for (int run = 0; run < 6; ++run) {
        const int mode = run % 2;
        QProcess p;
        p.start(self, {QStringLiteral("--peak-memory"), folder,
                       mode ? QStringLiteral("drive") : QStringLiteral("recording")});
        if (!p.waitForFinished(60000)) {
            return;
        }
        const long kib =
            QString::fromUtf8(p.readAllStandardOutput()).trimmed().split(QLatin1Char('\n')).last().toLong();
        if (kib > 0) {
            peaks[mode].push_back(static_cast<double>(kib) / 1024.0);
        }
    }
    if (peaks[0].empty() || peaks[1].empty()) {
        return;
    }
    const double drive = median(peaks[1]), recording = median(peaks[0]);
    std::printf("peak memory playing a drive (four players): %.0f MiB, recording mode: %.0f MiB (%.2fx; aim "
                "1.6x at most; medians of 3, 1080p front and 720p rear)\n",
                drive, recording, drive / recording);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);
    initMediaPlayerLibrary(MediaPlayerOptions{.silent = true});
    const QStringList args = QCoreApplication::arguments();
    if (args.size() == 4 && args[1] == QLatin1String("--peak-memory")) {
        return peakMemory(args[2], args[3] == QLatin1String("drive"));
    }
    QTemporaryDir drive, large, longOne;
    if (!writeDrive(drive.path()) || !writeLargeDrive(large.path())) {
        std::fprintf(stderr, "bench: ffmpeg could not make the clips\n");
        return 1;
    }
    joins(drive.path());
    memory(args[0], large.path());
    longDrive(longOne.path());
    return 0;
}
