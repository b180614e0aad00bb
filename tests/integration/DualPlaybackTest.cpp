// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer with the real player on generated recordings: a front/rear pair plays in both views
// with its telemetry, runs to its end, and the next recording starts on its own; a pause near the
// end stays a pause; a broken file of a pair is said while the other plays on to the next recording.

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

#include <QFile>
#include <QLabel>
#include <QSignalSpy>
#include <QSlider>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

namespace {

bool writeGarbage(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    QByteArray bytes(200000, '\0');
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>((i * 7919 + 13) % 251);
    }
    return file.write(bytes) == bytes.size();
}

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

    void aPauseNearTheEndStaysPaused() {
        QTemporaryDir card;
        QVERIFY(writeRecording(card.filePath("alwa_20230115_083000_F.MP4"), false, 4));
        QVERIFY(writeRecording(card.filePath("alwa_20230115_083100_F.MP4"), false, 2));
        const auto viewer = openRealViewer(card.path());
        QVERIFY(viewer);
        ORBAppDelegate& app = *viewer;
        app.window()->activateWindow();
        app.view().mediaListTableView->setFocus();
        QVERIFY(app.playback().playAtIndex(0));
        QTRY_VERIFY_WITH_TIMEOUT(app.player1()->isPlaying() && app.player1()->time() > 500, 8000);
        // Space pauses, then the slider goes to 97 %: the old watch took this halt for the end.
        QTest::keyClick(app.view().mediaListTableView, Qt::Key_Space);
        QTRY_COMPARE_WITH_TIMEOUT(app.player1()->state(), MediaPlayer::Paused, 5000);
        app.view().videoPositionSlider->setValue(
            static_cast<int>(0.97 * app.view().videoPositionSlider->maximum()));
        QTest::qWait(3000);
        QCOMPARE(app.playback().mediaIndex(), 0);
        QCOMPARE(app.player1()->state(), MediaPlayer::Paused);
        QVERIFY(app.player1()->time() > 3700);
        // The last frames can be stepped through while paused.
        const int64_t before = app.player1()->time();
        QTest::keyClick(app.view().mediaListTableView, Qt::Key_Comma);
        QTRY_VERIFY_WITH_TIMEOUT(app.player1()->time() < before, 3000);
        // Played on, it ends and the next recording starts.
        QTest::keyClick(app.view().mediaListTableView, Qt::Key_Space);
        QTRY_COMPARE_WITH_TIMEOUT(app.playback().mediaIndex(), 1, 10000);
        app.applicationWillTerminate();
    }

    void aDragOfTheSliderLandsWhereItIsReleased() {
        QTemporaryDir card;
        QVERIFY(writeRecording(card.filePath("alwa_20230115_083000_F.MP4"), false, 6));
        QVERIFY(writeRecording(card.filePath("alwa_20230115_083000_R.MP4"), true, 6));
        const auto viewer = openRealViewer(card.path());
        QVERIFY(viewer);
        ORBAppDelegate& app = *viewer;
        QVERIFY(app.playback().playAtIndex(0));
        QTRY_VERIFY_WITH_TIMEOUT(app.player1()->isPlaying() && app.player1()->time() > 300, 8000);
        QSlider* slider = app.view().videoPositionSlider;
        const auto at = [slider](double fraction) {
            return QPoint(static_cast<int>(fraction * slider->width()), slider->height() / 2);
        };
        // Grab the handle where it stands and flick it over the groove, as a hand would.
        const QPoint handle = at(static_cast<double>(slider->value()) / slider->maximum());
        QTest::mousePress(slider, Qt::LeftButton, {}, handle);
        for (double f = 0.1; f <= 0.8; f += 0.05) {
            QTest::mouseMove(slider, at(f), 5);
        }
        QTest::mouseMove(slider, at(0.8), 20);
        QTest::qWait(400); // time reports arrive while the handle is held
        QVERIFY(slider->isSliderDown());
        const int held = slider->value();
        QTest::mouseRelease(slider, Qt::LeftButton, {}, at(0.8));
        const double released = static_cast<double>(held) / slider->maximum();
        QVERIFY2(std::abs(released - 0.8) < 0.05, qPrintable(QString::number(released)));
        QTRY_VERIFY_WITH_TIMEOUT(std::abs(app.player1()->time() - released * 6000) < 400, 3000);
        QTRY_VERIFY_WITH_TIMEOUT(std::abs(app.player2()->time() - released * 6000) < 400, 3000);
        QTest::qWait(500);
        QVERIFY2(std::abs(app.playInfo().position() - released) < 0.1,
                 qPrintable(QString::number(app.playInfo().position())));
        app.applicationWillTerminate();
    }

    // Another folder opened mid-play leaves nothing half-stopped: the old pair stops, Space does
    // nothing until a row is chosen, then Enter plays the new folder's row and Space pauses it.
    void openingAFolderWhilePlayingLeavesLiveControls() {
        QTemporaryDir card, other;
        QVERIFY(writeRecording(card.filePath("alwa_20230115_083000_F.MP4"), false, 4));
        QVERIFY(writeRecording(card.filePath("alwa_20230115_083000_R.MP4"), true, 4));
        QVERIFY(writeRecording(other.filePath("alwa_20230116_090000_F.MP4"), false, 4));
        QVERIFY(writeRecording(other.filePath("alwa_20230116_090000_R.MP4"), true, 4));
        const auto viewer = openRealViewer(card.path());
        QVERIFY(viewer);
        ORBAppDelegate& app = *viewer;
        QWidget* window = app.window();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        QVERIFY(app.playback().playAtIndex(0));
        QTRY_VERIFY_WITH_TIMEOUT(app.player1()->isPlaying() && app.player2()->isPlaying(), 8000);

        QSignalSpy reloaded(&app, &ORBAppDelegate::mediaListReloaded);
        app.openMediaDirectory(other.path());
        QVERIFY(reloaded.wait(10000));
        QTRY_VERIFY_WITH_TIMEOUT(!app.player1()->isPlaying() && !app.player2()->isPlaying(), 5000);
        QCOMPARE(app.playback().status(), ORBPlaybackStatus::Stopped);
        QTest::keyClick(window, Qt::Key_Space);
        QTest::qWait(300);
        QVERIFY(!app.player1()->isPlaying());

        auto* table = app.view().mediaListTableView;
        table->setFocus();
        table->selectRow(0);
        QTest::keyClick(table, Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(app.player1()->isPlaying() && app.player1()->time() > 200, 8000);
        QCOMPARE(app.player1()->media(), other.filePath("alwa_20230116_090000_F.MP4"));
        QCOMPARE(app.player2()->media(), other.filePath("alwa_20230116_090000_R.MP4"));
        QTest::keyClick(table, Qt::Key_Space);
        QTRY_COMPARE_WITH_TIMEOUT(app.player1()->state(), MediaPlayer::Paused, 3000);
        QCOMPARE(app.playback().status(), ORBPlaybackStatus::Paused);
        QTest::keyClick(table, Qt::Key_Space);
        QTRY_VERIFY_WITH_TIMEOUT(app.player1()->isPlaying(), 3000);
        app.applicationWillTerminate();
    }

    void aBrokenMainFileHandsOverToItsPartnerAndTheLoneRearIsReached() {
        QTemporaryDir card;
        QVERIFY(writeRecording(card.filePath("alwa_20230115_083000_F.MP4"), false, 2));
        QVERIFY(writeGarbage(card.filePath("alwa_20230115_083000_R.MP4")));
        QVERIFY(writeRecording(card.filePath("alwa_20230115_083100_R.MP4"), true, 2));
        QVERIFY(writeRecording(card.filePath("alwa_20230115_083200_F.MP4"), false, 2));
        const auto viewer = openRealViewer(card.path());
        QVERIFY(viewer);
        ORBAppDelegate& app = *viewer;
        // Started from the broken rear row: the front partner plays on in the small view.
        QVERIFY(app.playback().playAtIndex(1));
        QTRY_COMPARE_WITH_TIMEOUT(app.player1()->state(), MediaPlayer::Failed, 8000);
        QVERIFY2(app.view().statusLabel->text().startsWith(QStringLiteral("Rear camera: ")),
                 qPrintable(app.view().statusLabel->text()));
        QTRY_VERIFY_WITH_TIMEOUT(!app.video2View()->lastFrame().isNull(), 8000);
        QCOMPARE(app.playback().status(), ORBPlaybackStatus::Playing);
        // The front's end is the recording's end; the lone rear recording comes next, with its
        // own telemetry.
        QTRY_COMPARE_WITH_TIMEOUT(app.player1()->media(), card.filePath("alwa_20230115_083100_R.MP4"), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(app.player1()->isPlaying(), 8000);
        QTRY_VERIFY_WITH_TIMEOUT(app.view().hdopField->text() != QStringLiteral("-.-") &&
                                     !app.view().hdopField->text().isEmpty(),
                                 8000);
        QTRY_COMPARE_WITH_TIMEOUT(app.player1()->media(), card.filePath("alwa_20230115_083200_F.MP4"), 10000);
        app.applicationWillTerminate();
    }
};

QTEST_MAIN(DualPlaybackTest)
#include "DualPlaybackTest.moc"
