// SPDX-License-Identifier: GPL-3.0-or-later
// One recording on two fake players: front, rear and lead, the sub player kept at the lead's moment,
// and a pair of files of unequal length.

#include "platform/FakeMediaPlayer.h"
#include "platform/Scheduler.h"
#include "ui/app/ORBRecordingPlayer.h"

#include <QTest>

namespace {

const QString kFront = QStringLiteral("/card/alwa_20230115_083000_F.MP4");
const QString kRear = QStringLiteral("/card/alwa_20230115_083000_R.MP4");

struct Rig {
    FakeMediaPlayer main, sub;
    ManualScheduler scheduler;
    ORBRecordingPlayer r{main, sub, scheduler};

    void play(const ORBPlayItem& item, int64_t fromMs = 0) {
        r.open(item, fromMs);
        r.start();
    }
};

} // namespace

class RecordingPlayerTest : public QObject {
    Q_OBJECT
private slots:
    void frontRearAndLeadFollowTheFilesAndFailures() {
        Rig g;
        g.play({kFront, kRear, true});
        QCOMPARE(g.r.front(), &g.main);
        QCOMPARE(g.r.rear(), &g.sub);
        QCOMPARE(&g.r.lead(), &g.main);
        QCOMPARE(g.r.telemetryPlayer(), &g.main);

        // Swapped: the rear file in the main view; the telemetry stays the front file's.
        g.play({kRear, kFront, false});
        QCOMPARE(g.r.front(), &g.sub);
        QCOMPARE(g.r.side(1), &g.main);
        QCOMPARE(g.r.telemetryPlayer(), &g.sub);
        // The broken main file hands the lead, and the recording's time, to the sub player.
        g.sub.advance(5000);
        g.main.fail(MediaPlayer::CannotOpen);
        QCOMPARE(&g.r.lead(), &g.sub);
        QCOMPARE(&g.r.follower(), &g.main);
        QCOMPARE(g.r.time(), 5000);
        QCOMPARE(g.r.state(), ORBRecordingState::Playing);

        // A lone rear file carries its own telemetry; there is no front.
        g.play({kRear, QString(), false});
        QCOMPARE(g.r.front(), nullptr);
        QCOMPARE(g.r.rear(), &g.main);
        QCOMPARE(g.r.telemetryPlayer(), &g.main);
        g.r.stop(true);
        QCOMPARE(g.r.telemetryPlayer(), nullptr);
        QCOMPARE(g.r.state(), ORBRecordingState::Idle);
    }

    void theSubPlayerIsAlignedByTimeAndFollowsTheLead() {
        Rig g;
        g.sub.setLengthForPath(kRear, 58000); // the rear file is two seconds shorter
        g.play({kFront, kRear, true});
        g.r.seek(30000);
        QCOMPARE(g.sub.time(), 30000); // the same moment, not the same fraction (29000)
        g.r.seek(59000);
        QCOMPARE(g.sub.time(), 58000); // clamped to its own end
        g.r.seek(30000);
        g.scheduler.advance(0.3);

        // The sub player lags 100 ms: it runs a little faster until it has caught up.
        g.main.advance(1000);
        g.sub.advance(900);
        g.scheduler.advance(1.0);
        QCOMPARE(g.sub.rate(), 1.1f);
        g.main.advance(1000);
        g.sub.advance(1000);
        g.scheduler.advance(1.0);
        QCOMPARE(g.sub.time(), g.main.time());
        QCOMPARE(g.sub.rate(), 1.0f);

        // Trailing by less than a frame is left alone; leading by more than a little is not: the
        // rear must not show a moment the front has not reached.
        g.sub.advance(-30);
        g.scheduler.advance(0.25);
        QCOMPARE(g.sub.rate(), 1.0f);
        g.sub.advance(60);
        g.scheduler.advance(0.25);
        QVERIFY(g.sub.rate() < 1.0f);
        // A change of speed: the engines take it up each at its moment; then the sub is put back.
        g.r.setRate(2.0f);
        QCOMPARE(g.sub.rate(), 2.0f);
        g.sub.advance(150); // 300 ms: below a seek's drift
        g.scheduler.advance(0.3);
        QCOMPARE(g.sub.time(), g.main.time());

        // Far off: a seek; but not while following is off (a slider held).
        g.r.setFollowing(false);
        const int64_t held = g.sub.time();
        g.main.advance(2000);
        g.scheduler.advance(1.0);
        QCOMPARE(g.sub.time(), held);
        g.r.setFollowing(true);
        g.scheduler.advance(0.25);
        QCOMPARE(g.sub.time(), g.main.time());
    }

    // An 8 s front and a 12 s rear: the recording lasts 12 s whichever row was clicked, and the
    // rear's last seconds play on after the front's end.
    void theRecordingEndsWhenTheLongerFileEnds() {
        for (const bool frontInMain : {true, false}) {
            Rig g;
            for (FakeMediaPlayer* p : {&g.main, &g.sub}) {
                p->setLengthForPath(kFront, 8000);
                p->setLengthForPath(kRear, 12000);
            }
            g.play(frontInMain ? ORBPlayItem{kFront, kRear, true} : ORBPlayItem{kRear, kFront, false});
            FakeMediaPlayer& front = frontInMain ? g.main : g.sub;
            FakeMediaPlayer& rear = frontInMain ? g.sub : g.main;
            QCOMPARE(g.r.length(), 12000);
            front.advance(8000);
            rear.advance(8000);
            QCOMPARE(front.state(), MediaPlayer::Ended);
            QCOMPARE(g.r.state(), ORBRecordingState::Playing);
            QCOMPARE(rear.state(), MediaPlayer::Playing);
            rear.advance(2000);
            QCOMPARE(g.r.time(), 10000);
            QCOMPARE(g.r.position(), 10000.0 / 12000.0);

            // Paused and resumed in the rear's tail: the front stays on its last picture.
            g.r.pause();
            g.r.play();
            QCOMPARE(front.state(), MediaPlayer::Ended);
            QCOMPARE(front.time(), 8000);

            // Back before the front's end, both play again from there.
            g.r.seek(3000);
            QCOMPARE(front.state(), MediaPlayer::Playing);
            QCOMPARE(front.time(), 3000);
            QCOMPARE(g.r.state(), ORBRecordingState::Playing);

            front.advance(5000);
            rear.advance(9000);
            QCOMPARE(g.r.state(), ORBRecordingState::Ended);
        }
    }

    void isPlayingIsFalseInTheLastPartialSecond() {
        FakeMediaPlayer p;
        p.setMedia(kFront);
        p.play();
        p.advance(58999);
        QVERIFY(ORBRecordingPlayer::isPlaying(p));
        p.advance(200); // 800 ms remain: "00:00"
        QVERIFY(!ORBRecordingPlayer::isPlaying(p));
    }
};

QTEST_GUILESS_MAIN(RecordingPlayerTest)
#include "RecordingPlayerTest.moc"
