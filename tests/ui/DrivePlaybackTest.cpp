// SPDX-License-Identifier: GPL-3.0-or-later
// Drive mode over fake players: the slider over the whole drive, joins to the recording prepared
// ahead, the camera kept in the main picture, Next, Previous and frame steps across joins, and the
// drive as one track for the desktop.

#include "BusWatch.h"
#include "PlaybackRig.h"
#include "platform/MprisService.h"
#include "platform/VideoView.h"
#include "ui/app/ORBFrameStepper.h"
#include "ui/app/ORBMprisBridge.h"

#include <QDBusConnection>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

using namespace playtest;

class DrivePlaybackTest : public QObject {
    Q_OBJECT
private slots:
    // Three back-to-back minutes (A with a rear, B front only, C with a rear) as one drive.
    void driveModeRunsTheSliderOverTheDriveAndJoinsWithoutAStart() {
        Rig r;
        r.c->playAtIndex(0);
        QVERIFY(!r.c->toggleDriveMode()); // the lengths are not known yet
        r.giveDrives();
        r.c->setSpeed(2.0);
        r.play(15000); // 30 s at 2x
        QVERIFY(r.c->toggleDriveMode());
        QCOMPARE(r.info.position(), 30000.0 / 180000.0);
        QCOMPARE(r.c->drivePlayback().joinPositions(), (std::vector<double>{1.0 / 3.0, 2.0 / 3.0}));

        QSignalSpy resets(r.c.get(), &ORBPlaybackController::controlsReset);
        QSignalSpy loading(r.c.get(), &ORBPlaybackController::loadingShown);
        QSignalSpy status(r.c.get(), &ORBPlaybackController::statusChanged);
        r.toEnd();
        r.scheduler.advance(0); // no second's wait
        QCOMPARE(r.c->item()->mainPath, kB_F);
        QCOMPARE(r.c->state(), ORBRecordingState::Playing);
        QCOMPARE(r.p1.rate(), 2.0f);
        QCOMPARE(resets.count(), 0);
        QCOMPARE(loading.count(), 0);
        for (const auto& args : status) {
            QVERIFY(args.at(0).value<ORBPlaybackStatus>() != ORBPlaybackStatus::Stopped);
        }
        QCOMPARE(r.info.position(), 1.0 / 3.0);

        // A seek anywhere plays the recording there at its moment; Left crosses back over a join.
        r.c->videoPositionSliderMoved(0.9);
        QCOMPARE(r.c->item()->mainPath, kC_F);
        QCOMPARE(r.p1.time(), 42000);
        r.c->seekDriveTo(121000);
        r.c->jumpBackward();
        QCOMPARE(r.c->item()->mainPath, kB_F);
        QCOMPARE(r.p1.time(), 51000);

        // Paused, a seek into another recording comes up paused there, and switching stays paused.
        r.c->pause();
        r.c->videoPositionSliderMoved(0.1);
        QCOMPARE(r.c->item()->mainPath, kA_F);
        QCOMPARE(r.p1.time(), 18000);
        QCOMPARE(r.c->status(), ORBPlaybackStatus::Paused);
        QVERIFY(r.c->toggleDriveMode());
        QCOMPARE(r.info.position(), 18000.0 / 60000.0);
        QCOMPARE(r.c->state(), ORBRecordingState::Paused);
        QCOMPARE(r.p1.time(), 18000);

        // Out of drive mode the end waits its second, as between any two recordings.
        r.c->play();
        r.toEnd();
        r.scheduler.advance(0);
        QCOMPARE(r.c->item()->mainPath, kA_F);
    }

    // The next recording waits paused and unheard on the spare pair and takes the views over at the
    // join; one that cannot be played is passed over at once, named in the status line.
    void aJoinHandsTheViewsToThePreparedRecordingAndPassesOverABrokenOne() {
        Rig r({kA_F, kA_R, kB_F, kC_F, kC_R, kD_R});
        FakeMediaPlayer p3, p4;
        r.c->recording().setSparePlayers(p3, p4);
        VideoView mainView, subView;
        r.p1.setView(&mainView);
        r.p2.setView(&subView);
        r.giveDrives();
        r.c->setDriveMode(true);
        r.c->playAtIndex(0);
        QCOMPARE(p3.media(), kB_F);
        QVERIFY(!p4.hasMedia());
        QCOMPARE(p3.state(), MediaPlayer::Paused);
        QVERIFY(p3.isMuted() && !p3.view());

        r.toEnd();
        r.scheduler.advance(0);
        QCOMPARE(&r.c->recording().main(), &p3);
        QCOMPARE(p3.state(), MediaPlayer::Playing);
        QCOMPARE(p3.view(), &mainView);
        QCOMPARE(p4.view(), &subView); // shows nothing: the part has no rear
        QVERIFY(!r.p1.view() && !r.p2.view());
        // The pair that played now holds the recording after.
        QCOMPARE(r.p1.media(), kC_F);
        QCOMPARE(r.p2.media(), kC_R);

        QSignalSpy message(r.c.get(), &ORBPlaybackController::statusMessage);
        r.p1.fail(MediaPlayer::CannotOpen);
        r.p2.fail(MediaPlayer::NoVideoTrack);
        QVERIFY(message.isEmpty()); // nothing is said before its turn
        p3.advance(p3.mediaLength());
        r.scheduler.advance(0);
        r.scheduler.advance(0);
        QCOMPARE(r.c->item()->mainPath, kD_R);
        QCOMPARE(r.c->state(), ORBRecordingState::Playing);
        QVERIFY(!message.isEmpty());
        const QString said = message.last().at(0).toString();
        QVERIFY2(said.contains(QFileInfo(kC_F).fileName()) && said.contains(QFileInfo(kC_R).fileName()),
                 qPrintable(said));
    }

    // The rear put in the main picture stays there through the drive; a part without it shows
    // the front there, and the part after the rear again.
    void theMainPictureKeepsItsCameraAcrossAPartWithoutIt() {
        Rig r;
        r.giveDrives();
        r.c->setDriveMode(true);
        r.c->playAtIndex(0);
        r.play(1000);
        QVERIFY(r.c->swapPlayer());
        r.scheduler.advance(2.0);
        QCOMPARE(r.c->item()->mainPath, kA_R);
        r.toEnd();
        r.scheduler.advance(0);
        QCOMPARE(r.c->item()->mainPath, kB_F);
        r.toEnd();
        r.scheduler.advance(0);
        QCOMPARE(r.c->item()->mainPath, kC_R);
    }

    // A recording alone in its drive keeps the slider over itself and says why.
    void aLoneRecordingStaysInRecordingMode() {
        Rig r({kA_F, QStringLiteral("/card/alwa_20230115_090000_F.MP4")});
        r.giveDrives();
        r.c->playAtIndex(1);
        QSignalSpy message(r.c.get(), &ORBPlaybackController::statusMessage);
        QVERIFY(!r.c->toggleDriveMode());
        // Remembered on, D still leaves the choice as it is there.
        r.c->setDriveMode(true);
        QVERIFY(!r.c->toggleDriveMode());
        QVERIFY(r.c->driveModeWanted());
        QCOMPARE(message.count(), 2);
    }

    // Two drives: A and C (both cameras), then D and E an hour later. Next and Previous join within a
    // drive and start the neighbouring drive past its ends; a drive's end is followed a second later.
    void nextAndPreviousInDriveModeGoThroughTheDrives() {
        const QString kD = QStringLiteral("/card/alwa_20230115_093000_F.MP4");
        const QString kE = QStringLiteral("/card/alwa_20230115_093100_F.MP4");
        Rig r({kA_F, kA_R, kC_F, kC_R, kD, kE});
        r.giveDrives();
        r.c->setDriveMode(true);
        QVERIFY(r.c->playAtIndex(0));
        QVERIFY(!r.c->hasPrevious());
        r.play(1000);
        QVERIFY(r.c->swapPlayer());
        r.scheduler.advance(2.0);
        r.c->setSpeed(2.0);
        QSignalSpy starting(r.c.get(), &ORBPlaybackController::recordingStarting);
        QVERIFY(r.c->playNext()); // a join: the swap and the speed stay
        QCOMPARE(r.c->item()->mainPath, kC_R);
        QCOMPARE(r.info.speed(), 2.0);
        QCOMPARE(r.info.position(), 0.5);
        r.c->pause();
        QVERIFY(r.c->playPrevious());
        QCOMPARE(r.c->item()->mainPath, kA_R);
        QCOMPARE(r.c->status(), ORBPlaybackStatus::Paused);
        QCOMPARE(starting.count(), 0);

        r.c->play();
        QVERIFY(r.c->playNext());
        QVERIFY(r.c->playNext()); // past the drive's end: the next drive starts as a double-click would
        QCOMPARE(r.c->item()->mainPath, kD);
        QCOMPARE(starting.count(), 1);
        QVERIFY(r.c->playPrevious()); // the previous drive's last recording
        QCOMPARE(r.c->item()->mainPath, kC_F);
        r.toEnd();
        r.scheduler.advance(0.9);
        QCOMPARE(r.c->status(), ORBPlaybackStatus::Playing);
        r.scheduler.advance(0.1);
        QCOMPARE(r.c->item()->mainPath, kD);
        QVERIFY(r.c->playNext());
        QVERIFY(!r.c->hasNext()); // the card's last drive
        r.toEnd();
        r.scheduler.advance(5.0);
        QCOMPARE(r.c->item()->mainPath, kE);
        QCOMPARE(r.c->status(), ORBPlaybackStatus::Stopped);
    }

    // "." on a recording's last frame and "," on its first go on paused in the neighbouring recording.
    void frameStepsCrossJoinsInDriveMode() {
        Rig r({kA_F, kA_R, kC_F, kC_R});
        ORBFrameStepper stepper(*r.c);
        r.giveDrives();
        QVERIFY(r.c->playAtIndex(0));
        r.c->pause();
        r.c->seekTo(59990);              // the last frame of a minute at 30 frames a second
        QVERIFY(!stepper.stepForward()); // out of drive mode the recording ends there
        r.c->setDriveMode(true);
        r.p1.clearCalls();
        QVERIFY(stepper.stepForward());
        QCOMPARE(r.c->item()->mainPath, kC_F);
        QCOMPARE(r.p1.time(), 0);
        QCOMPARE(r.c->state(), ORBRecordingState::Paused);
        // Shown again once paused: a recording opened ahead plays a frame or two before its pause takes.
        QVERIFY(r.p1.calls().contains(QStringLiteral("showFrame:0")));
        QVERIFY(stepper.stepBackward());
        QCOMPARE(r.c->item()->mainPath, kA_F);
        QCOMPARE(r.c->state(), ORBRecordingState::Paused);
        QCOMPARE(r.p1.calls().last(), QStringLiteral("showFrame:1799"));
        QCOMPARE(r.p2.time(), 59967);
        QCOMPARE(r.info.position(), 59967.0 / 120000);
    }

    // What the desktop's media widgets hear on the session bus: the drive as one track, and a length
    // the players learn after playback began (the front failed) told once known.
    void theDesktopHearsADriveAsOneTrack() {
        Rig r({kA_F, kA_R, kC_F, kC_R});
        ORBMprisBridge bridge(*r.c, r.info, {});
        MprisService service(bridge, QDBusConnection::sessionBus());
        QVERIFY2(service.registered(), "a session bus (dbus-run-session)");
        bridge.connectTo(service);
        BusWatch watch;
        r.giveDrives();
        QVERIFY(r.c->playAtIndex(0));
        r.play(1000);
        const QString recording = bridge.track()->trackId;
        QVERIFY(r.c->swapPlayer());
        QCOMPARE(bridge.track()->trackId, recording);
        r.scheduler.advance(2.0);
        watch.take();
        r.c->setDriveMode(true);
        const QString drive = bridge.track()->trackId;
        QCOMPARE(BusWatch::last(watch.take(), QStringLiteral("mpris:trackid")), QVariant(drive));
        QCOMPARE(bridge.track()->lengthUs, 120'000'000);
        r.toEnd();
        r.scheduler.advance(0); // the join
        r.play(5000);
        QCOMPARE(bridge.track()->trackId, drive);
        QCOMPARE(bridge.track()->title, QStringLiteral("alwa_20230115_083200_F"));
        QCOMPARE(bridge.positionUs(), 65'000'000);

        r.c->pause();
        watch.take();
        bridge.setPosition(recording, 10'000'000);
        QCOMPARE(r.c->item()->mainPath, kC_R);
        bridge.setPosition(drive, 10'000'000);
        QCOMPARE(r.c->item()->mainPath, kA_R);
        QCOMPARE(r.p1.time(), 10000);
        for (const auto& change : watch.take()) {
            QVERIFY(!change.contains(QStringLiteral("PlaybackStatus")));
        }

        r.c->setDriveMode(false);
        r.p1.setLengthForPath(kC_F, 0);
        r.p2.setLengthForPath(kC_R, 0);
        QVERIFY(r.c->playAtIndex(2));
        r.p1.fail(MediaPlayer::CannotOpen);
        watch.take();
        r.p2.setLength(60000);
        r.p2.advance(40);
        QCOMPARE(BusWatch::last(watch.take(), QStringLiteral("mpris:length")),
                 QVariant(qlonglong(60'000'000)));
    }
};

QTEST_MAIN(DrivePlaybackTest)
#include "DrivePlaybackTest.moc"
