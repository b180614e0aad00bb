// SPDX-License-Identifier: GPL-3.0-or-later
// Playing a recording's two files on fake players: starts, the move on, seeks, speed, sound, the swap,
// the loading watch and broken files.

#include "DriveScript.h"
#include "PlaybackRig.h"
#include "SampleRecording.h"
#include "core/telemetry/ORBByteSource.h"

#include <QFile>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>

using namespace playtest;

class PlaybackControllerTest : public QObject {
    Q_OBJECT
private slots:
    void startsBothSidesAtOnceAndTheLatestStartWins() {
        Rig r;
        r.p1.setHoldInOpening(true);
        r.p2.setHoldInOpening(true);
        QSignalSpy starting(r.c.get(), &ORBPlaybackController::recordingStarting);
        QVERIFY(r.c->playAtIndex(1)); // the rear row: rear in the main view, front in the sub view
        QCOMPARE(r.p1.media(), kA_R);
        QCOMPARE(r.p2.media(), kA_F);
        QCOMPARE(starting.at(0).at(1).toBool(), true);
        QCOMPARE(r.c->state(), ORBRecordingState::Starting);
        // A double-click while the first start is opening supersedes it.
        QVERIFY(r.c->playAtIndex(2));
        QCOMPARE(r.p1.media(), kB_F);
        QVERIFY(!r.p2.hasMedia()); // a lone file plays alone
        r.p1.finishOpening();
        QCOMPARE(r.c->state(), ORBRecordingState::Playing);
        QVERIFY(r.c->loadingVisible()); // until the first time report
        r.p1.advance(40);
        QVERIFY(!r.c->loadingVisible());
    }

    void playersStartWithoutWaitingForTheTelemetryRead() {
        Rig r;
        r.holdReads = true;
        QSignalSpy telemetry(r.c.get(), &ORBPlaybackController::telemetryChanged);
        QVERIFY(r.c->playAtIndex(0));
        QCOMPARE(r.p1.state(), MediaPlayer::Playing);
        QCOMPARE(r.p2.state(), MediaPlayer::Playing);
        QCOMPARE(r.c->state(), ORBRecordingState::Playing);
        QCOMPARE(r.c->telemetry()->gSensors().size(), size_t(0)); // placeholders until the read ends
        // A read slower than the give-up time still arrives: the give-up is about the players.
        r.scheduler.advance(20);
        QCOMPARE(r.pendingReads.size(), size_t(1));
        const int before = static_cast<int>(telemetry.count());
        r.pendingReads.front()();
        QCOMPARE(static_cast<int>(telemetry.count()), before + 1);
        QCOMPARE(r.c->state(), ORBRecordingState::Playing);
        // A read of a superseded start goes nowhere.
        r.c->playAtIndex(2);
        r.c->playAtIndex(3);
        const int now = static_cast<int>(telemetry.count());
        r.pendingReads[1]();
        QCOMPARE(static_cast<int>(telemetry.count()), now);
    }

    void aStalledReadLeavesTheSharedThreadsFree() {
        // Qt converts and scales pictures on its shared pool: a card read that stalls there held up
        // the first pictures of playback by most of a second.
        QSemaphore release;
        QObject context;
        bool done = false;
        backgroundTelemetryReader()(
            &context,
            [&release] {
                release.acquire();
                return ORBTelemetry(std::make_shared<nura::ORBBlackBoxData>());
            },
            [&done](ORBTelemetry) { done = true; });
        QTest::qWait(50);
        const int shared = QThreadPool::globalInstance()->activeThreadCount();
        release.release();
        QTRY_VERIFY(done);
        QCOMPARE(shared, 0);
    }

    // On a slow card every quick start left a read behind that held a reader thread, and a swap
    // while the read ran threw its result away: the graph stayed empty.
    void aSupersededReadStopsAndASwapKeepsTheRead() {
        QTemporaryDir dir;
        const QString a = dir.filePath(QStringLiteral("alwa_20230115_083000_F.MP4"));
        const QString b = dir.filePath(QStringLiteral("alwa_20230115_083100_F.MP4"));
        const auto records = samples::DriveScript().records(0, 6);
        for (const QString& path : {a, b}) {
            QVERIFY(samples::writeCameraMp4(path.toStdString(), samples::placeholderVideo(64, 36, 10, 60),
                                            records));
        }
        Rig r({a, dir.filePath(QStringLiteral("alwa_20230115_083000_R.MP4")), b});
        r.holdReads = true;
        QVERIFY(r.c->playAtIndex(0));
        r.play(1000);
        QVERIFY(r.c->swapPlayer());
        r.pendingReads.at(0)();
        QVERIFY(!r.c->telemetry()->gSensors().empty());

        QVERIFY(r.c->playAtIndex(0));
        QVERIFY(r.c->playAtIndex(2)); // the read of the first is superseded
        QVERIFY(r.heldReads.at(1)()->gSensors().empty());
        QVERIFY(!r.heldReads.at(2)()->gSensors().empty());
        r.c->stopPlay(); // a folder opened, or the window closed
        QVERIFY(r.heldReads.at(2)()->gSensors().empty());
    }

    void emptyListAndOutOfRangeRows() {
        Rig empty(QStringList{});
        QVERIFY(!empty.c->playAtIndex(0));
        Rig r;
        QVERIFY(r.c->playAtIndex(99));
        QCOMPARE(r.c->mediaIndex(), 4);
        QCOMPARE(r.p1.media(), kC_R);
    }

    void nextAndPreviousPassOverBothRowsOfAPairWhicheverWasPlayed() {
        Rig r({kA_F, kA_R, kD_R, kC_F, kC_R});
        QVERIFY(r.c->playAtIndex(1)); // the rear row of the first pair
        QVERIFY(r.c->playNext());
        QCOMPARE(r.p1.media(), kD_R); // the lone rear recording is not skipped
        QVERIFY(r.c->playNext());
        QCOMPARE(r.c->mediaIndex(), 3);
        QVERIFY(!r.c->playNext());
        QCOMPARE(r.c->mediaIndex(), 3);
        r.c->playAtIndex(4);
        QVERIFY(r.c->playPrevious());
        QCOMPARE(r.p1.media(), kD_R);
        QVERIFY(r.c->playPrevious());
        QCOMPARE(r.c->mediaIndex(), 0);
        QVERIFY(!r.c->playPrevious());
    }

    void theEndComesFromTheEndOfMediaAndAPauseNearItStaysPaused() {
        Rig r;
        r.c->playAtIndex(0);
        r.p2.advance(58200);
        r.p1.advance(58200); // 97 %
        r.c->clickPlayButton();
        QCOMPARE(r.c->state(), ORBRecordingState::Paused);
        QCOMPARE(r.c->status(), ORBPlaybackStatus::Paused);
        r.scheduler.advance(5.0);
        QCOMPARE(r.c->mediaIndex(), 0);
        QCOMPARE(r.c->state(), ORBRecordingState::Paused);

        r.c->clickPlayButton();
        r.toEnd();
        QCOMPARE(r.c->state(), ORBRecordingState::Ended);
        QCOMPARE(r.c->status(), ORBPlaybackStatus::Playing); // the next one is on its way
        r.scheduler.advance(0.9);
        QCOMPARE(r.c->mediaIndex(), 0);
        r.scheduler.advance(0.1);
        QCOMPARE(r.c->mediaIndex(), 2);
    }

    // Desktop widgets flickered: each change of recording said Stopped, then Playing.
    void aChangeOfRecordingStaysPlaying() {
        Rig r;
        r.c->playAtIndex(0);
        QSignalSpy status(r.c.get(), &ORBPlaybackController::statusChanged);
        QVERIFY(status.isValid());
        r.c->playAtIndex(2); // a double-click while playing
        r.toEnd();
        r.scheduler.advance(1.0); // the move on to the next
        QCOMPARE(r.c->mediaIndex(), 3);
        for (const auto& args : status) {
            QVERIFY(args.at(0).value<ORBPlaybackStatus>() != ORBPlaybackStatus::Stopped);
        }
    }

    // A pause asked while the files open shows at once and can be taken back before they play.
    void aPauseWhileOpeningShowsAndCanBeTakenBack() {
        Rig r;
        r.p1.setHoldInOpening(true);
        r.p2.setHoldInOpening(true);
        r.c->playAtIndex(0);
        r.c->clickPlayButton();
        QCOMPARE(r.c->status(), ORBPlaybackStatus::Paused);
        r.c->clickPlayButton();
        QCOMPARE(r.c->status(), ORBPlaybackStatus::Playing);
        r.p1.finishOpening();
        r.p2.finishOpening();
        QCOMPARE(r.c->state(), ORBRecordingState::Playing);

        r.c->playAtIndex(2);
        r.c->clickPlayButton();
        r.p1.finishOpening();
        QCOMPARE(r.c->state(), ORBRecordingState::Paused);
        QCOMPARE(r.c->status(), ORBPlaybackStatus::Paused);
    }

    void theLastRecordingStaysAtItsEndAndPlaysAgainFromTheSliderOrTheStart() {
        Rig r;
        r.c->playAtIndex(3);
        r.toEnd();
        r.p1.clearCalls();
        r.scheduler.advance(5.0);
        QCOMPARE(r.c->mediaIndex(), 3);
        QCOMPARE(r.c->status(), ORBPlaybackStatus::Stopped);
        QVERIFY(!r.p1.calls().contains(QStringLiteral("play")));
        // The slider still moves the picture: it shows paused at the moment, and Play goes on there.
        r.c->videoPositionSliderMoved(0.5);
        QCOMPARE(r.c->state(), ORBRecordingState::Paused);
        QCOMPARE(r.p1.state(), MediaPlayer::Paused);
        QCOMPARE(r.p1.time(), 30000);
        r.c->clickPlayButton();
        QCOMPARE(r.p1.time(), 30000);
        QCOMPARE(r.c->state(), ORBRecordingState::Playing);

        r.toEnd();
        r.c->clickPlayButton(); // slider at the end too: the recording starts again
        QCOMPARE(r.p1.state(), MediaPlayer::Playing);
        QCOMPARE(r.p1.time(), 0);
        QCOMPARE(r.c->state(), ORBRecordingState::Playing);

        r.toEnd();
        r.c->changeAndPlay(3); // a double-click replays the ended file
        QCOMPARE(r.p1.state(), MediaPlayer::Playing);
        QCOMPARE(r.p1.time(), 0);
    }

    void aDoubleClickComparesFilesNotRows() {
        // A rescan puts another file on row 0: the same row number now starts that file.
        QTemporaryDir dir;
        for (const char* name : {"alwa_20230115_082900_F.MP4", "alwa_20230115_083000_F.MP4"}) {
            QFile f(dir.filePath(QLatin1String(name)));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        Rig s(QStringList{});
        const QString playing = dir.filePath(QStringLiteral("alwa_20230115_083000_F.MP4"));
        s.list.addMedia(ORBMedia::mediaWithPath(playing.toStdString()));
        QVERIFY(s.c->playAtIndex(0));
        s.list.scanNow(dir.path().toStdString());
        s.c->mediaListReloaded();
        QCOMPARE(s.c->mediaIndex(), 1);
        // The next recording is found from the playing file's place in the list as it is now.
        QVERIFY(!s.c->playNext());
        s.c->changeAndPlay(0);
        QCOMPARE(s.p1.media(), dir.filePath(QStringLiteral("alwa_20230115_082900_F.MP4")));
        QVERIFY(s.c->playNext());
        QCOMPARE(s.p1.media(), playing);
    }

    void seekToTheEndThenAdvance() {
        Rig r;
        r.c->playAtIndex(0);
        r.c->videoPositionSliderMoved(0.999);
        QVERIFY(r.p1.calls().contains(QStringLiteral("setTime:60000")));
        QVERIFY(r.p2.calls().contains(QStringLiteral("setTime:60000")));
        r.play(1);
        r.scheduler.advance(2.0);
        QCOMPARE(r.c->mediaIndex(), 2);
    }

    // Where a drag lands once released is the window's test; here the reports that come meanwhile.
    void timeReportsDoNotMoveAHeldSlider() {
        Rig r;
        r.c->playAtIndex(0);
        r.play(3000);
        r.c->setSliderHeld(true);
        r.c->videoPositionSliderMoved(0.4);
        for (int i = 0; i < 3; ++i) { // a position is told every third report
            r.play(40);
        }
        QCOMPARE(r.info.position(), 0.4);
    }

    void jumpsGoThroughTheSameSeeks() {
        Rig r;
        r.c->playAtIndex(0);
        r.play(5000);
        r.c->jumpBackward();
        QCOMPARE(r.p1.time(), 0);
        r.play(30000);
        r.c->jumpForward();
        r.c->jumpForward(); // a second jump at once is not lost
        QCOMPARE(r.p1.time(), 50000);
        QCOMPARE(r.p2.time(), 50000);
        r.c->jumpForward(); // past the end: both at their ends
        QCOMPARE(r.p2.time(), 60000);
    }

    void speedStepsFromAQuarterToEightAndResetsOnANewRecording() {
        Rig r;
        r.c->playAtIndex(0);
        for (const double expected : {0.5, 0.25, 0.25}) {
            r.c->decreaseSpeed();
            QCOMPARE(r.info.speed(), expected);
        }
        QCOMPARE(r.p2.rate(), 0.25f);
        for (const double expected : {0.5, 1.0, 2.0, 4.0}) {
            r.c->increaseSpeed();
            QCOMPARE(r.info.speed(), expected);
        }
        QVERIFY(!r.p1.isMuted()); // sound up to 4x
        r.c->increaseSpeed();
        r.c->increaseSpeed();
        QCOMPARE(r.info.speed(), 8.0);
        QCOMPARE(r.p2.rate(), 8.0f);
        QVERIFY(r.p1.isMuted() && r.p2.isMuted()); // the engine has none at 8x
        r.c->decreaseSpeed();
        QVERIFY(!r.p1.isMuted());
        r.c->playAtIndex(2);
        QCOMPARE(r.p1.rate(), 1.0f);
        // A rate between the steps, as the desktop's controls may ask: the nearest by ratio (3x: 4x).
        const std::pair<double, double> snaps[] = {{3.0, 4.0}, {100, 8.0}, {0.01, 0.25}};
        for (const auto& [asked, expected] : snaps) {
            r.c->setSpeed(asked);
            QCOMPARE(r.info.speed(), expected);
        }
    }

    void volumeBoundsAndTheHeardSide() {
        Rig r;
        r.c->playAtIndex(0);
        r.play(40);
        QVERIFY(r.p2.isMuted());

        r.c->volumeSliderMoved(195);
        r.c->volumeUp();
        QCOMPARE(r.p1.volume(), 200);
        r.c->volumeSliderMoved(-40);
        QCOMPARE(r.c->volume(), 0);

        QSignalSpy toggle(r.c.get(), &ORBPlaybackController::audioToggleChanged);
        r.c->toggleAudioSide();
        QVERIFY(!r.p2.isMuted()); // the rear file is in the sub player
        QCOMPARE(toggle.last(), (QList<QVariant>{true, true}));

        // A lone file: its side is heard and the toggle hides.
        r.c->playAtIndex(2);
        r.play(40);
        QCOMPARE(toggle.last().at(0).toBool(), false);
        QVERIFY(!r.p1.isMuted());
    }

    void swapKeepsTheMomentAndTheTelemetryFollowsItsOwnFile() {
        Rig r;
        r.p1.setLengthForPath(kA_R, 50000);
        r.p2.setLengthForPath(kA_R, 50000);
        r.c->playAtIndex(0);
        r.play(20000);
        QVERIFY(r.c->swapPlayer());
        QVERIFY(!r.c->swapPlayer()); // while a swap runs
        QCOMPARE(r.p1.media(), kA_R);
        QCOMPARE(r.p1.time(), 20000);
        QCOMPARE(r.p2.time(), 20000);
        r.play(40); // a report during the swap keeps both muted
        QVERIFY(r.p1.isMuted() && r.p2.isMuted());
        r.scheduler.advance(1.7);
        QVERIFY(r.p1.isMuted()); // the front side chosen before is heard, now in the sub player
        QVERIFY(!r.p2.isMuted());
        // The main picture is the 50 s rear file; the telemetry is the 60 s front file's.
        r.play(9960);
        QCOMPARE(r.c->telemetryPosition(), 0.5);
        QCOMPARE(r.c->telemetryPlayer(), &r.p2);

        r.c->clickPlayButton();
        QVERIFY(!r.c->swapPlayer()); // paused

        // Another recording chosen while a swap is under way ends the swap: it is heard, its sub
        // player follows, and its pictures can be swapped.
        r.c->playAtIndex(3);
        r.play(1000);
        QVERIFY(r.c->swapPlayer());
        r.c->playAtIndex(0);
        r.play(1000);
        r.scheduler.advance(2.0);
        QVERIFY(!r.c->swapping());
        QVERIFY(!r.p1.isMuted());
        QVERIFY(r.c->swapPlayer());
    }

    void aBrokenRearSaysSoAndTheFrontPlaysOnToTheNextRecording() {
        Rig r;
        QSignalSpy status(r.c.get(), &ORBPlaybackController::statusMessage);
        r.c->playAtIndex(0);
        r.p2.fail(MediaPlayer::EngineError);
        QCOMPARE(r.c->state(), ORBRecordingState::Playing);
        QCOMPARE(status.count(), 1);
        QCOMPARE(status.at(0).at(0).toString(),
                 QStringLiteral("Rear camera: engine error (alwa_20230115_083000_R.MP4)."));
        r.p1.advance(60000);
        QCOMPARE(r.c->state(), ORBRecordingState::Ended);
        r.scheduler.advance(1.0);
        QCOMPARE(r.c->mediaIndex(), 2);
    }

    // The card refuses the telemetry's reads (pulled mid-read): the status line says so rather than
    // leaving an empty graph that looks like a recording without data.
    void aRefusedTelemetryReadIsSaid() {
        struct Refusing final : nura::ORBByteSource {
            uint64_t size() const override { return 1 << 20; }
            bool readAt(uint64_t, std::span<std::byte>) override { return false; }
            int readError() const override { return EIO; }
        } refusing;
        auto data = std::make_shared<nura::ORBBlackBoxData>();
        QVERIFY(!data->ExtractStreamInformation(refusing));
        QCOMPARE(data->lastError(), nura::ORBTelemetryError::ReadFailed);
        Rig r;
        r.given = data;
        QSignalSpy status(r.c.get(), &ORBPlaybackController::statusMessage);
        r.c->playAtIndex(0);
        QCOMPARE(status.count(), 1);
        QVERIFY2(status.at(0).at(0).toString().contains(
                     QStringLiteral("alwa_20230115_083000_F.MP4 cannot be read")),
                 qPrintable(status.at(0).at(0).toString()));
        QCOMPARE(r.c->state(), ORBRecordingState::Playing); // the pictures play on if they can
    }

    void aBrokenFrontHandsTheLeadToTheRear() {
        Rig r;
        r.c->playAtIndex(0);
        r.p1.fail(MediaPlayer::CannotOpen);
        QCOMPARE(r.c->state(), ORBRecordingState::Playing);
        r.c->clickPlayButton();
        QCOMPARE(r.p2.state(), MediaPlayer::Paused);
        QCOMPARE(r.c->status(), ORBPlaybackStatus::Paused);
        r.c->clickPlayButton();
        r.p2.advance(60000); // the rear's end is the recording's end
        QCOMPARE(r.c->state(), ORBRecordingState::Ended);
        r.scheduler.advance(1.0);
        QCOMPARE(r.c->mediaIndex(), 2);
        // Both broken: the recording failed, and the next double-click starts afresh.
        r.c->playAtIndex(3);
        r.p1.fail(MediaPlayer::EngineError);
        r.p2.fail(MediaPlayer::NoVideoTrack);
        QCOMPARE(r.c->state(), ORBRecordingState::Failed);
        QCOMPARE(r.c->status(), ORBPlaybackStatus::Stopped);
        QVERIFY(!r.c->loadingVisible());
        QVERIFY(r.c->playAtIndex(3));
        QCOMPARE(r.c->state(), ORBRecordingState::Playing);
    }

    // A drive goes on past a recording whose files both fail; three in a row (a pulled card) end
    // the move, and a recording the user picks that fails stays put.
    void theMoveOnPassesUnplayableRecordingsUpToThreeInARow() {
        Rig r({kA_F, kA_R, kB_F, kC_F, kC_R, kD_R, QStringLiteral("/card/alwa_20230115_083400_F.MP4")});
        QSignalSpy status(r.c.get(), &ORBPlaybackController::statusMessage);
        r.c->playAtIndex(0);
        r.toEnd();
        for (FakeMediaPlayer* p : {&r.p1, &r.p2}) {
            p->setHoldInOpening(true); // from now on no file opens
        }
        r.scheduler.advance(1.0);
        QCOMPARE(r.c->mediaIndex(), 2);
        for (const int64_t next : {3, 5}) {
            r.scheduler.advance(ORBPlaybackController::kLoadingGiveUpSeconds - 0.1);
            QVERIFY(r.c->loadingVisible());
            r.scheduler.advance(0.1);
            QCOMPARE(r.c->state(), ORBRecordingState::Failed);
            QVERIFY(!r.c->loadingVisible());
            QCOMPARE(r.c->status(), ORBPlaybackStatus::Playing); // moving on
            r.scheduler.advance(1.0);
            QCOMPARE(r.c->mediaIndex(), next);
        }
        r.scheduler.advance(ORBPlaybackController::kLoadingGiveUpSeconds + 1.0);
        QCOMPARE(r.c->mediaIndex(), 5);
        QCOMPARE(r.c->status(), ORBPlaybackStatus::Stopped);
        QVERIFY(status.last().at(0).toString().contains(QStringLiteral("3 recordings in a row")));

        r.c->playAtIndex(2);
        r.scheduler.advance(ORBPlaybackController::kLoadingGiveUpSeconds + 1.0);
        QCOMPARE(r.c->mediaIndex(), 2);
    }

    void aSilentPlayerIsGivenUpAfterFifteenSecondsAndNothingSticks() {
        Rig r;
        r.p2.setPictureAvailable(false); // plays but never shows a picture
        QSignalSpy status(r.c.get(), &ORBPlaybackController::statusMessage);
        r.c->playAtIndex(0);
        r.scheduler.advance(14.9);
        QCOMPARE(status.count(), 0);
        r.scheduler.advance(0.1);
        QCOMPARE(r.p2.state(), MediaPlayer::Failed);
        QCOMPARE(status.last().at(0).toString(),
                 QStringLiteral("Rear camera: no picture within 15 seconds (alwa_20230115_083000_R.MP4)."));
        QCOMPARE(r.c->state(), ORBRecordingState::Playing);
    }

    void stopKeepsTheRecordingForPlayAndOpeningAFolderForgetsIt() {
        Rig r;
        r.c->playAtIndex(0);
        r.play(20000);
        r.c->stopPlay(false);
        QCOMPARE(r.c->state(), ORBRecordingState::Idle);
        QCOMPARE(r.c->status(), ORBPlaybackStatus::Stopped);
        r.c->play(); // replays the last recording from its start
        QCOMPARE(r.c->state(), ORBRecordingState::Playing);
        QCOMPARE(r.p1.time(), 0);
        QCOMPARE(r.p1.media(), kA_F);

        r.p1.setHoldInOpening(true);
        r.c->playAtIndex(2);
        r.c->stopPlay(); // a folder is opened
        QVERIFY(!r.p1.hasMedia() && !r.p2.hasMedia());
        r.c->clickPlayButton(); // Space does nothing until a recording is chosen
        QVERIFY(!r.p1.hasMedia());
    }
};

QTEST_MAIN(PlaybackControllerTest)
#include "PlaybackControllerTest.moc"
