// SPDX-License-Identifier: GPL-3.0-or-later
// The player's time between engine reports, on a hand-driven wall clock, and the time texts every player
// shows.

#include "platform/PlaybackClock.h"
#include "platform/MediaPlayer.h"

#include <QtTest>

#include <limits>

class PlaybackClockTest : public QObject {
    Q_OBJECT

    // A clock playing from its first engine report `engineMs` at wall time 0.
    static PlaybackClock playingFrom(int64_t engineMs) {
        PlaybackClock clock;
        clock.setTime(engineMs, 0);
        clock.setRunning(true, 0);
        clock.engineReport(engineMs, 0);
        return clock;
    }

private slots:
    void runsAtTheRateBetweenReports() {
        PlaybackClock clock = playingFrom(1000);
        QCOMPARE(clock.time(490), int64_t(1490));
        // The engine a little behind: the time shown holds rather than step back.
        clock.engineReport(1480, 500);
        QCOMPARE(clock.time(510), int64_t(1490));
        QCOMPARE(clock.time(540), int64_t(1520));
        clock.setRate(2.0, 600);
        QCOMPARE(clock.time(800), int64_t(1580 + 400));
    }

    // A slow read stalls the engine and its reports; the time must not run on without the picture.
    void aStalledEngineHoldsTheTimeNearItsLastReport() {
        PlaybackClock clock = playingFrom(5000);
        QCOMPARE(clock.time(3000), int64_t(5000 + PlaybackClock::kMaxLeadMs));
        // The engine comes back where it stalled: the time waits at most one lead for it.
        clock.engineReport(5100, 3100);
        QCOMPARE(clock.time(3400), int64_t(5600));
        QCOMPARE(clock.time(3700), int64_t(5700));

        clock.setRate(2.0, 3700);
        QCOMPARE(clock.time(10'000), int64_t(5700 + 2 * PlaybackClock::kMaxLeadMs));
    }

    void holdsAfterAStartOrSeekUntilTheEngineReports() {
        PlaybackClock clock;
        clock.setTime(2000, 0);
        clock.setRunning(true, 0);
        QCOMPARE(clock.time(500), int64_t(2000)); // the engine is still filling its buffers
        clock.engineReport(2000, 520);
        QCOMPARE(clock.time(720), int64_t(2200));

        // A seek back while playing jumps back and holds again.
        clock.setTime(300, 720);
        QCOMPARE(clock.time(1000), int64_t(300));
        clock.engineReport(310, 1100);
        QCOMPARE(clock.time(1200), int64_t(410));
    }

    void pauseKeepsThePlaceAndResumeRunsOnAtOnce() {
        PlaybackClock clock = playingFrom(0);
        clock.setRunning(false, 400);
        QCOMPARE(clock.time(5000), int64_t(400));
        // While paused, the engine's report is the place, backwards too.
        clock.engineReport(380, 5000);
        QCOMPARE(clock.time(5100), int64_t(380));
        clock.setRunning(true, 6000);
        QCOMPARE(clock.time(6100), int64_t(480));
    }

    void oddInputsDoNotMoveTheTime() {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        QCOMPARE(PlaybackClock::estimate(700, -50, 1.0, false), int64_t(700)); // wall clock stepped back
        QCOMPARE(PlaybackClock::estimate(700, 100, nan, false), int64_t(700));
        QCOMPARE(PlaybackClock::estimate(700, 100, 0.0, false), int64_t(700));
        PlaybackClock clock = playingFrom(100);
        clock.setRate(nan, 0);
        clock.setRate(-1.0, 0);
        QCOMPARE(clock.time(100), int64_t(200));
    }

    void timeStringTruncatesToWholeSeconds_data() {
        QTest::addColumn<qint64>("ms");
        QTest::addColumn<QString>("text");
        QTest::newRow("last partial second") << qint64(999) << "00:00";
        QTest::newRow("under an hour") << qint64(3'599'999) << "59:59";
        QTest::newRow("an hour") << qint64(3'600'000) << "1:00:00";
        QTest::newRow("remaining under a second") << qint64(-999) << "00:00";
        QTest::newRow("remaining second") << qint64(-1000) << "-00:01";
        QTest::newRow("longest") << std::numeric_limits<qint64>::max() << "2562047788015:12:55";
        QTest::newRow("longest remaining") << std::numeric_limits<qint64>::min() << "-2562047788015:12:55";
    }
    void timeStringTruncatesToWholeSeconds() {
        QFETCH(qint64, ms);
        QFETCH(QString, text);
        QCOMPARE(MediaPlayer::timeString(ms), text);
    }
};

QTEST_GUILESS_MAIN(PlaybackClockTest)
#include "PlaybackClockTest.moc"
