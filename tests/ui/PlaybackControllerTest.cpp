// Playing a recording's two files with fake players and a clock that moves only when told: starts,
// the move to the next recording, seeks and jumps, speed, volume, the heard side, the swap, the
// loading indicator, and keeping the rear picture at the front picture's moment.

#include "core/media/ORBMediaList.h"
#include "platform/FakeMediaPlayer.h"
#include "platform/Scheduler.h"
#include "ui/app/ORBPlayInfo.h"
#include "ui/app/ORBPlaybackController.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kA_F = QStringLiteral("/card/alwa_20230115_083000_F.MP4");
const QString kA_R = QStringLiteral("/card/alwa_20230115_083000_R.MP4");
const QString kB_F = QStringLiteral("/card/alwa_20230115_083100_F.MP4");
const QString kC_F = QStringLiteral("/card/alwa_20230115_083200_F.MP4");
const QString kC_R = QStringLiteral("/card/alwa_20230115_083200_R.MP4");

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
        c = std::make_unique<ORBPlaybackController>(p1, p2, list, info, scheduler, inlineTelemetryReader());
        for (FakeMediaPlayer* p : {&p1, &p2}) {
            QObject::connect(p, &MediaPlayer::stateChanged, c.get(),
                             &ORBPlaybackController::mediaPlayerStateChanged);
            QObject::connect(p, &MediaPlayer::timeChanged, c.get(),
                             &ORBPlaybackController::mediaPlayerTimeChanged);
        }
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
};

} // namespace

class PlaybackControllerTest : public QObject {
    Q_OBJECT
private slots:
    void startsBothSidesAndRefusesASecondStartWhilePending() {
        Rig r;
        r.p1.setQueued(true);
        r.p2.setQueued(true);
        QSignalSpy starting(r.c.get(), &ORBPlaybackController::recordingStarting);
        QVERIFY(r.c->playAtIndex(1)); // the rear row: rear in the main view, front in the sub view
        QCOMPARE(r.p1.media(), kA_R);
        QCOMPARE(r.p2.media(), kA_F);
        QCOMPARE(starting.at(0).at(1).toBool(), true);
        QVERIFY(!r.c->playAtIndex(2));
        QCOMPARE(r.p1.media(), kA_R);

        QTRY_VERIFY(!r.c->waitingForPlayStart());
        QVERIFY(r.c->loadingVisible()); // until the first time report
        r.play(40);
        QVERIFY(!r.c->loadingVisible());
        QVERIFY(r.c->playAtIndex(2));
        QCOMPARE(r.p1.media(), kB_F);
        QVERIFY(!r.p2.hasMedia()); // a lone file plays alone
    }

    void emptyListAndOutOfRangeRows() {
        Rig empty(QStringList{});
        QVERIFY(!empty.c->playAtIndex(0));
        Rig r;
        QVERIFY(r.c->playAtIndex(99));
        QCOMPARE(r.c->mediaIndex(), 4);
        QCOMPARE(r.p1.media(), kC_R);
    }

    void playNextStepsOverPairsAndLoneFiles() {
        Rig r;
        QVERIFY(r.c->playAtIndex(0));
        QVERIFY(r.c->playNext());
        QCOMPARE(r.c->mediaIndex(), 2);
        QVERIFY(r.c->playNext());
        QVERIFY(!r.c->playNext()); // 3 + 2 is past the list
        QCOMPARE(r.c->mediaIndex(), 3);
    }

    void theWatchAdvancesAtTheEndAndWhenPausedLate() {
        Rig r;
        r.c->playAtIndex(0);
        r.toEnd();
        r.scheduler.advance(1.0);
        QVERIFY(r.c->preparingPlayNext());
        QCOMPARE(r.c->mediaIndex(), 0);
        r.scheduler.advance(1.0);
        QCOMPARE(r.c->mediaIndex(), 2);

        // Paused at 96 %: the halted state counts as the end.
        r.p1.advance(57600);
        r.c->clickPlayButton();
        r.scheduler.advance(2.0);
        QCOMPARE(r.c->mediaIndex(), 3);

        // Paused at 90 %: no move.
        r.p1.advance(54000);
        r.c->clickPlayButton();
        r.scheduler.advance(3.0);
        QCOMPARE(r.c->mediaIndex(), 3);
    }

    void theLastRecordingStaysHaltedUntilATimeReport() {
        Rig r;
        r.c->playAtIndex(3);
        r.toEnd();
        r.scheduler.advance(2.0);
        QCOMPARE(r.c->mediaIndex(), 3);
        QVERIFY(r.c->preparingPlayNext());
        r.p1.clearCalls();
        r.scheduler.advance(5.0);
        QVERIFY(!r.p1.calls().contains(QStringLiteral("play")));
        r.p1.reportTime();
        QVERIFY(!r.c->preparingPlayNext());
    }

    void doubleClickReplaysTheHaltedFileAndComparesFilesNotRows() {
        Rig r;
        r.c->playAtIndex(0);
        r.toEnd();
        r.p1.clearCalls();
        r.c->changeAndPlay(0);
        QVERIFY(r.p1.calls().contains(QStringLiteral("setPosition:0.000")));
        QCOMPARE(r.p1.state(), MediaPlayer::Playing);

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
        s.c->changeAndPlay(0);
        QCOMPARE(s.p1.media(), dir.filePath(QStringLiteral("alwa_20230115_082900_F.MP4")));
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

    void playPressedAtTheEnd() {
        Rig r;
        r.c->playAtIndex(0);
        r.toEnd();
        r.p1.clearCalls();
        r.c->clickPlayButton(); // slider at the end too: the recording starts again
        QCOMPARE(r.p1.calls().first(), QStringLiteral("setMedia:"));
        QCOMPARE(r.p1.media(), kA_F);

        r.toEnd();
        r.info.setPosition(0.5);
        r.info.setIsPlaying(false);
        r.p1.clearCalls();
        r.c->clickPlayButton();
        QCOMPARE(r.p1.calls(), QStringList{QStringLiteral("setTime:30000")});
        QVERIFY(r.p2.calls().contains(QStringLiteral("setTime:30000")));
        r.scheduler.advance(0.1);
        QCOMPARE(r.p1.state(), MediaPlayer::Playing);
    }

    void jumpsNearBothEndsAndInTheMiddle() {
        Rig r;
        r.c->playAtIndex(0);
        r.play(5000);
        r.p1.clearCalls();
        r.c->jumpBackward();
        QVERIFY(r.p1.calls().contains(QStringLiteral("setTime:0")));
        QVERIFY(!r.c->moving());

        r.play(30000);
        r.c->jumpForward();
        QVERIFY(r.c->moving());
        QCOMPARE(r.p1.time(), 40000);
        r.c->jumpForward(); // ignored while moving
        QCOMPARE(r.p1.time(), 40000);
        r.scheduler.advance(0.3);
        QCOMPARE(r.p2.time(), 40000);

        r.c->jumpBackward();
        QCOMPARE(r.p1.time(), 30000);
        QCOMPARE(static_cast<float>(r.info.position()), 0.5f); // where the jump lands
        r.scheduler.advance(0.3);

        r.play(25000); // 55 s of 60: less than 10 s remain
        r.c->jumpForward();
        QCOMPARE(r.p2.time(), 60000);
    }

    void speedHasTwoStepsAndResetsOnANewRecording() {
        Rig r;
        r.c->playAtIndex(0);
        r.c->decreaseSpeed();
        QCOMPARE(r.info.speed(), 1.0);
        r.c->increaseSpeed();
        r.c->increaseSpeed();
        QCOMPARE(r.p2.rate(), 2.0f);
        r.c->playAtIndex(2);
        QCOMPARE(r.p1.rate(), 1.0f);
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

    void swapOnlyWhileBothPlayAndMutedDuringIt() {
        Rig r;
        r.c->playAtIndex(0);
        r.play(20000);
        QVERIFY(r.c->swapPlayer());
        QVERIFY(!r.c->swapPlayer()); // while a swap runs
        QCOMPARE(r.p1.media(), kA_R);
        r.play(40); // a report during the swap keeps both muted
        QVERIFY(r.p1.isMuted() && r.p2.isMuted());
        r.scheduler.advance(0.8);
        QCOMPARE(r.p2.time(), 20000);
        r.scheduler.advance(0.9);
        QVERIFY(r.p1.isMuted()); // the front side chosen before is heard, now in the sub player
        QVERIFY(!r.p2.isMuted());

        r.c->clickPlayButton();
        QVERIFY(!r.c->swapPlayer()); // paused
    }

    void scaleStepsIntoAndOutOfFullScreen() {
        const QRect screen(0, 0, 1440, 900);
        const QRect start(100, 50, 1020, 640);
        auto step = ORBPlaybackController::scaleStep(start, screen, false, 1);
        QCOMPARE(step.action, ORBScaleStep::Resize);
        QCOMPARE(step.frame, QRect(100, 50, 1224, 768));
        QCOMPARE(ORBPlaybackController::scaleStep(step.frame, screen, false, 1).action,
                 ORBScaleStep::EnterFullscreen);
        QCOMPARE(ORBPlaybackController::scaleStep(screen, screen, true, -1).action,
                 ORBScaleStep::LeaveFullscreen);
        step = ORBPlaybackController::scaleStep(QRect(100, 50, 1224, 768), screen, false, -1);
        QCOMPARE(step.frame, start);
        QCOMPARE(ORBPlaybackController::scaleStep(QRect(0, 0, 900, 600), screen, false, 0).frame,
                 QRect(0, 0, 1020, 640));
    }

    void positionFollowsEveryThirdMainReport() {
        Rig r;
        r.c->playAtIndex(0);
        QSignalSpy position(&r.info, &ORBPlayInfo::positionChanged);
        for (int i = 0; i < 6; ++i) {
            r.p2.advance(600);
            r.p1.advance(600);
        }
        QCOMPARE(position.count(), 2);
        QCOMPARE(static_cast<float>(position.at(0).at(0).toDouble()), 0.01f);
        QCOMPARE(static_cast<float>(position.at(1).at(0).toDouble()), 0.04f);
    }

    void isPlayingIsFalseInTheLastPartialSecond() {
        FakeMediaPlayer p;
        p.setMedia(kA_F);
        p.play();
        p.advance(58999);
        QVERIFY(ORBPlaybackController::isPlaying(p));
        p.advance(200); // 800 ms remain: "00:00"
        QVERIFY(!ORBPlaybackController::isPlaying(p));
    }

    void anErrorDuringStartClearsItAndSaysSo() {
        Rig r;
        r.p1.setHoldInOpening(true);
        QSignalSpy status(r.c.get(), &ORBPlaybackController::statusMessage);
        QVERIFY(r.c->playAtIndex(0));
        r.p1.fail(MediaPlayer::EngineError);
        QVERIFY(!r.c->loadingVisible());
        QVERIFY(status.at(0).at(0).toString().contains(QStringLiteral("alwa_20230115_083000_F.MP4")));
        QVERIFY(r.c->playAtIndex(2));
    }

    void theIndicatorGivesUpAfterFifteenSeconds() {
        Rig r;
        r.p1.setHoldInOpening(true); // the start never comes
        QSignalSpy status(r.c.get(), &ORBPlaybackController::statusMessage);
        QSignalSpy progress(r.c.get(), &ORBPlaybackController::loadingProgressChanged);
        QVERIFY(r.c->playAtIndex(0));
        r.scheduler.advance(14.9);
        QVERIFY(r.c->loadingVisible());
        QCOMPARE(progress.last().at(0).toDouble(), 98.0);
        r.scheduler.advance(0.1);
        QVERIFY(!r.c->loadingVisible());
        QCOMPARE(status.count(), 1);
        QVERIFY(r.c->playAtIndex(2));
    }

    void theSubPlayerIsAlignedByTimeAndFollowsTheMain() {
        Rig r;
        r.p2.setLengthForPath(kA_R, 58000); // the rear file is two seconds shorter
        r.c->playAtIndex(0);
        r.c->videoPositionSliderMoved(0.5);
        QCOMPARE(r.p2.time(), 30000); // the same moment, not the same fraction (29000)
        r.scheduler.advance(0.3);

        // The sub player lags 100 ms: it runs a little faster until it has caught up.
        r.p1.advance(1000);
        r.p2.advance(900);
        r.scheduler.advance(1.0);
        QCOMPARE(r.p2.rate(), 1.1f);
        r.p1.advance(1000);
        r.p2.advance(1000);
        r.scheduler.advance(1.0);
        QCOMPARE(r.p2.time(), r.p1.time());
        QCOMPARE(r.p2.rate(), 1.0f);

        // Far off: a seek.
        r.p1.advance(2000);
        r.scheduler.advance(1.0);
        QCOMPARE(r.p2.time(), r.p1.time());
    }

    void stopPlayClearsBothAndThePendingStart() {
        Rig r;
        r.p1.setHoldInOpening(true);
        QVERIFY(r.c->playAtIndex(0));
        r.c->stopPlay();
        QVERIFY(!r.p2.hasMedia());
        QVERIFY(r.c->playAtIndex(0)); // the pending start is gone
    }
};

QTEST_MAIN(PlaybackControllerTest)
#include "PlaybackControllerTest.moc"
