// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer with the real players on generated recordings: a front/rear pair plays in both views
// with its telemetry, runs to its end, and the next recording starts on its own; paused, a pair
// whose pictures show their own frame numbers (the rear at 30 or 25 a second) is stepped on and
// back: each step shows the main picture's next (previous) frame, and the rear its frame at or
// before that moment. What the window makes of the players' reports is tested over fake players;
// here only what needs the engine.

#include "DriveScript.h"
#include "FrameNumberClip.h"
#include "H264Encoder.h"
#include "RealViewer.h"
#include "SampleRecording.h"
#include "platform/MediaPlayer.h"
#include "platform/VideoView.h"
#include "ui/app/CustomWindow.h"
#include "ui/app/ORBAppDelegate.h"
#include "ui/app/ORBMainWindowView.h"
#include "ui/app/ORBPlayInfo.h"
#include "ui/app/ORBViewingTools.h"

#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>

namespace {

bool writeRecording(const QString& path, bool rear, int seconds) {
    std::string error;
    auto video = samples::encodeTestPattern(
        {rear ? 320 : 480, rear ? 180 : 270, 30, seconds, rear ? "smptebars" : "testsrc2"}, &error);
    if (!video) {
        qWarning("%s", error.c_str());
        return false;
    }
    const samples::DriveScript drive;
    const auto mp4 = samples::buildCameraMp4(*video, drive.records(30, seconds, 10, '9'));
    return samples::writeFile(path.toStdString(), mp4.bytes);
}

} // namespace

class DualPlaybackTest : public QObject {
    Q_OBJECT
private slots:
    void playsThePairToItsEndThenTheNextRecording() {
        QTemporaryDir card;
        QVERIFY(writeRecording(card.filePath("alwa_20230115_083000_F.MP4"), false, 2));
        QVERIFY(writeRecording(card.filePath("alwa_20230115_083000_R.MP4"), true, 2));
        QVERIFY(writeRecording(card.filePath("alwa_20230115_083100_F.MP4"), false, 2));
        const auto viewer = openRealViewer(card.path());
        QVERIFY(viewer);
        ORBAppDelegate& app = *viewer;

        QVERIFY(app.playback().playAtIndex(0));
        QTRY_VERIFY_WITH_TIMEOUT(app.player1()->isPlaying() && app.player2()->isPlaying(), 8000);
        QCOMPARE(app.player2()->media(), card.filePath("alwa_20230115_083000_R.MP4"));
        QTRY_VERIFY_WITH_TIMEOUT(!app.playback().loadingVisible(), 8000);
        QTRY_VERIFY_WITH_TIMEOUT(!app.video1View()->lastFrame().isNull(), 8000);
        QTRY_VERIFY_WITH_TIMEOUT(!app.video2View()->lastFrame().isNull(), 8000);
        QTRY_VERIFY_WITH_TIMEOUT(app.playInfo().position() > 0, 8000);
        QVERIFY(!app.view().hdopField->text().isEmpty()); // the telemetry follows playback

        // Two seconds of play, the halt, the watch's second and the one-second delay.
        QTRY_COMPARE_WITH_TIMEOUT(app.playback().mediaIndex(), 2, 15000);
        QCOMPARE(app.player1()->media(), card.filePath("alwa_20230115_083100_F.MP4"));
        QVERIFY(!app.player2()->hasMedia());
        QTRY_VERIFY_WITH_TIMEOUT(app.player1()->isPlaying(), 8000);
        app.applicationWillTerminate();
    }

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

QTEST_MAIN(DualPlaybackTest)
#include "DualPlaybackTest.moc"
