// SPDX-License-Identifier: GPL-3.0-or-later
// Frame steps over a join with the real player: two back-to-back clips of one drive whose pictures
// show their own frame numbers, paused in drive mode. "." on the first clip's last frame must show the
// second clip's first frame (opened ahead, it has played a moment before the pause took), and "," there
// the first clip's last frame.

#include "FrameNumberClip.h"
#include "RealViewer.h"
#include "platform/VideoView.h"
#include "ui/app/ORBAppDelegate.h"
#include "ui/app/ORBViewingTools.h"

#include <QTemporaryDir>
#include <QtTest>

class DriveFrameStepTest : public QObject {
    Q_OBJECT
private slots:
    void stepsOverAJoinBothWays() {
        QTemporaryDir card;
        const QString first = card.filePath(QStringLiteral("alwa_20230115_083000_F.MP4"));
        const QString second = card.filePath(QStringLiteral("alwa_20230115_083003_F.MP4"));
        QVERIFY(samples::writeFrameNumberClip(first, 3, 30));
        QVERIFY(samples::writeFrameNumberClip(second, 3, 30));
        const auto viewer = openRealViewer(card.path());
        QVERIFY(viewer);
        ORBPlaybackController& playback = viewer->playback();
        const auto shows = [&] { return samples::frameNumber(viewer->video1View()->lastFrame()); };
        const auto pausedOn = [&](const QString& file) {
            return playback.item() && playback.item()->mainPath == file &&
                   playback.state() == ORBRecordingState::Paused;
        };
        playback.setDriveMode(true);
        QVERIFY(playback.playAtIndex(0));
        QTRY_VERIFY_WITH_TIMEOUT(playback.driveModeActive(), 10000); // once the lengths are read
        QTRY_VERIFY_WITH_TIMEOUT(playback.recording().main().isPlaying(), 8000);
        playback.pause();
        QTRY_VERIFY_WITH_TIMEOUT(pausedOn(first), 8000);
        playback.seekTo(2990);
        QTRY_COMPARE_WITH_TIMEOUT(shows(), 89, 5000); // the last of 3 s at 30 frames a second

        auto& stepper = viewer->viewingTools().stepper();
        QVERIFY(stepper.stepForward());
        QTRY_VERIFY_WITH_TIMEOUT(pausedOn(second), 8000);
        QTRY_COMPARE_WITH_TIMEOUT(shows(), 0, 5000);
        QVERIFY(stepper.stepBackward());
        QTRY_VERIFY_WITH_TIMEOUT(pausedOn(first), 8000);
        QTRY_COMPARE_WITH_TIMEOUT(shows(), 89, 5000);
        viewer->applicationWillTerminate();
    }
};

QTEST_MAIN(DriveFrameStepTest)
#include "DriveFrameStepTest.moc"
