// SPDX-License-Identifier: GPL-3.0-or-later
// What the playback tests run on: two fake players, a card listing and a clock that moves only when
// told, around the controller that plays them.
#pragma once

#include "core/media/DriveTimeline.h"
#include "core/media/ORBMediaList.h"
#include "platform/FakeMediaPlayer.h"
#include "platform/Scheduler.h"
#include "ui/app/ORBPlayInfo.h"
#include "ui/app/ORBPlaybackController.h"

#include <functional>
#include <memory>
#include <vector>

namespace playtest {

inline const QString kA_F = QStringLiteral("/card/alwa_20230115_083000_F.MP4");
inline const QString kA_R = QStringLiteral("/card/alwa_20230115_083000_R.MP4");
inline const QString kB_F = QStringLiteral("/card/alwa_20230115_083100_F.MP4");
inline const QString kC_F = QStringLiteral("/card/alwa_20230115_083200_F.MP4");
inline const QString kC_R = QStringLiteral("/card/alwa_20230115_083200_R.MP4");
inline const QString kD_R = QStringLiteral("/card/alwa_20230115_083300_R.MP4");

// The listing's drives, every file lasting `fileMs`, as the headers' reads would tell.
inline void giveDrives(ORBPlaybackController& c, const ORBMediaList& list, int64_t fileMs = 60000) {
    auto recordings = nura::driveRecordings({list.medias(), list.mediaPairDic()});
    for (auto& r : recordings) {
        r.frontMs = r.front ? std::optional<int64_t>(fileMs) : std::nullopt;
        r.rearMs = r.rear ? std::optional<int64_t>(fileMs) : std::nullopt;
    }
    auto drives = nura::splitIntoDrives(recordings);
    c.setDrives(std::move(recordings), std::move(drives));
}

struct Rig {
    FakeMediaPlayer p1, p2;
    ORBMediaList list;
    ORBPlayInfo info;
    ManualScheduler scheduler;
    std::unique_ptr<ORBPlaybackController> c;

    explicit Rig(const QStringList& paths = {kA_F, kA_R, kB_F, kC_F, kC_R}) {
        for (const QString& path : paths) {
            list.addMedia(ORBMedia::mediaWithPath(path.toStdString()));
        }
        c = std::make_unique<ORBPlaybackController>(p1, p2, list, info, scheduler, reader());
    }

    // Reads inline unless `held`: then each read waits in `pendingReads` until the test finishes it.
    bool holdReads = false;
    std::vector<std::function<void()>> pendingReads;
    std::vector<std::function<ORBTelemetry()>> heldReads; // the reads themselves, to run without `done`
    ORBTelemetry given; // what every read gives instead of reading the path, when set
    ORBTelemetryReader reader() {
        return [this](QObject*, std::function<ORBTelemetry()> read, std::function<void(ORBTelemetry)> done) {
            if (given) {
                done(given);
                return;
            }
            if (!holdReads) {
                done(read());
                return;
            }
            heldReads.push_back(read);
            pendingReads.push_back([read, done] { done(read()); });
        };
    }

    // Both players move on by `ms` and report, as during playback.
    void play(int64_t ms) {
        p1.advance(ms);
        p2.advance(ms);
    }
    void toEnd() {
        p2.advance(p2.mediaLength());
        p1.advance(p1.mediaLength());
    }
    void giveDrives(int64_t fileMs = 60000) { playtest::giveDrives(*c, list, fileMs); }
};

} // namespace playtest
