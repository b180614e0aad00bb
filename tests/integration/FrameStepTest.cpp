// SPDX-License-Identifier: GPL-3.0-or-later
// Frame stepping with the real player: a front clip at 30 frames a second and a rear clip at 30 or
// 25, whose pictures show their own frame numbers, paused and stepped on and back. Each step must show
// the main picture's next (previous) frame, and the rear picture its frame at or before that moment.

#include "FrameNumberClip.h"
#include "RealViewer.h"
#include "platform/MediaPlayer.h"
#include "platform/VideoView.h"
#include "ui/app/CustomWindow.h"
#include "ui/app/ORBAppDelegate.h"
#include "ui/app/ORBViewingTools.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

class FrameStepTest : public QObject {
    Q_OBJECT
private slots:
    void stepsBothPicturesOnAndBack_data() {
        QTest::addColumn<int>("rearRate");
        QTest::newRow("same rate") << 30;
        QTest::newRow("rear at 25") << 25;
    }

    void stepsBothPicturesOnAndBack() {
        QFETCH(int, rearRate);
        QTemporaryDir card;
        QVERIFY(samples::writeFrameNumberClip(card.filePath("alwa_20230115_083000_F.MP4"), 4, 30));
        QVERIFY(samples::writeFrameNumberClip(card.filePath("alwa_20230115_083000_R.MP4"), 4, rearRate));
        const auto viewer = openRealViewer(card.path());
        QVERIFY(viewer);
        ORBAppDelegate& app = *viewer;

        MediaPlayer& main = *app.player1();
        MediaPlayer& sub = *app.player2();
        QVERIFY(app.playback().playAtIndex(0));
        QTRY_VERIFY_WITH_TIMEOUT(main.isPlaying() && sub.isPlaying(), 8000);
        QTRY_VERIFY_WITH_TIMEOUT(main.time() > 1000, 8000);
        auto& stepper = app.viewingTools().stepper();
        QVERIFY(!stepper.stepForward()); // refused while playing
        app.playback().clickPlayButton();
        QTRY_VERIFY_WITH_TIMEOUT(main.state() == MediaPlayer::Paused && sub.state() == MediaPlayer::Paused,
                                 8000);
        QCOMPARE(main.frameRate(), 30.0);
        QCOMPARE(sub.frameRate(), static_cast<double>(rearRate));

        const auto shows = [](VideoView* view) { return samples::frameNumber(view->lastFrame()); };
        int previous = -1;
        double worstMs = 0;
        for (const int step : {1, 1, 1, -1, -1, -1, -1, 1}) {
            QVERIFY(stepper.step(step));
            const int64_t mainFrame = main.frameIndexAt(main.time());
            const int64_t subFrame = sub.frameIndexAt(sub.time());
            if (previous >= 0) {
                QCOMPARE(mainFrame, previous + step);
            }
            previous = static_cast<int>(mainFrame);
            // The picture changes while paused.
            QTRY_COMPARE_WITH_TIMEOUT(shows(app.video1View()), static_cast<int>(mainFrame), 3000);
            QTRY_COMPARE_WITH_TIMEOUT(shows(app.video2View()), static_cast<int>(subFrame), 3000);
            // Moments on screen: the rear frame starts at or before the front frame, within one rear frame.
            const double frontMs = mainFrame * 1000.0 / 30, rearMs = subFrame * 1000.0 / rearRate;
            QVERIFY2(rearMs <= frontMs + 0.5 && frontMs - rearMs < 1000.0 / rearRate,
                     qPrintable(QStringLiteral("front %1 ms, rear %2 ms").arg(frontMs).arg(rearMs)));
            worstMs = std::max(worstMs, frontMs - rearMs);
        }
        qInfo("front/rear difference on screen after a step: at most %.1f ms (one rear frame is %.1f ms)",
              worstMs, 1000.0 / rearRate);
        app.applicationWillTerminate();
    }
};

QTEST_MAIN(FrameStepTest)
#include "FrameStepTest.moc"
