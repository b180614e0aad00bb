// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer with the real players on generated recordings: a front/rear pair plays in both views
// with its telemetry, runs to its end, and the next recording starts on its own. What the window
// makes of the players' reports is tested over fake players; here only what needs the engine.

#include "DriveScript.h"
#include "H264Encoder.h"
#include "RealViewer.h"
#include "SampleRecording.h"
#include "platform/MediaPlayer.h"
#include "platform/VideoView.h"
#include "ui/app/CustomWindow.h"
#include "ui/app/ORBAppDelegate.h"
#include "ui/app/ORBMainWindowView.h"
#include "ui/app/ORBPlayInfo.h"

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
};

QTEST_MAIN(DualPlaybackTest)
#include "DualPlaybackTest.moc"
