// The fake player's clock and states, which the playback tests build on, and the shared helpers
// of every player: time texts and the side of the media.

#include "platform/FakeMediaPlayer.h"

#include <QImageReader>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <limits>

class FakeMediaPlayerTest : public QObject {
    Q_OBJECT

private slots:
    void timeStringTruncatesToWholeSeconds_data() {
        QTest::addColumn<qint64>("ms");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << qint64(0) << "00:00";
        QTest::newRow("last partial second") << qint64(999) << "00:00";
        QTest::newRow("one second") << qint64(1000) << "00:01";
        QTest::newRow("minute") << qint64(61'500) << "01:01";
        QTest::newRow("under an hour") << qint64(3'599'999) << "59:59";
        QTest::newRow("an hour") << qint64(3'600'000) << "1:00:00";
        QTest::newRow("hours") << qint64(36'610'000) << "10:10:10";
        QTest::newRow("remaining under a second") << qint64(-999) << "00:00";
        QTest::newRow("remaining second") << qint64(-1000) << "-00:01";
        QTest::newRow("remaining hour") << qint64(-3'661'000) << "-1:01:01";
    }
    void timeStringTruncatesToWholeSeconds() {
        QFETCH(qint64, ms);
        QFETCH(QString, text);
        QCOMPARE(MediaPlayer::timeString(ms), text);
    }

    void timeStringSurvivesExtremes() {
        QVERIFY(!MediaPlayer::timeString(std::numeric_limits<int64_t>::min()).isEmpty());
        QVERIFY(!MediaPlayer::timeString(std::numeric_limits<int64_t>::max()).isEmpty());
    }

    void sideComesFromTheMediaPath() {
        FakeMediaPlayer player;
        QCOMPARE(player.mediaDirection(), 2);
        player.setMedia(QString::fromUtf8("/card/\xc3\xa9t\xc3\xa9_r.mp4"));
        QVERIFY(player.isRearMedia());
        player.setMedia("/card/A_20240101_120000_F.MP4");
        QVERIFY(player.isFrontMedia());
    }

    void clockMovesAtTheRateAndHaltsAtTheEnd() {
        FakeMediaPlayer player;
        QSignalSpy states(&player, &MediaPlayer::stateChanged);
        QSignalSpy times(&player, &MediaPlayer::timeChanged);
        player.setLengthForPath("a_F.mp4", 10'000);
        player.setMedia("a_F.mp4");
        QCOMPARE(player.mediaLength(), int64_t(10'000));

        player.advance(1000); // not playing: nothing moves
        QCOMPARE(player.time(), int64_t(0));
        QCOMPARE(times.count(), 0);

        player.play();
        QCOMPARE(player.state(), MediaPlayer::Playing);
        QCOMPARE(states.count(), 1);
        player.advance(1000);
        player.setRate(2.0f);
        player.advance(1000);
        QCOMPARE(player.time(), int64_t(3000));
        QCOMPARE(player.position(), 0.3f);
        QCOMPARE(player.remainingTime(), int64_t(-7000));
        QCOMPARE(times.count(), 2);

        player.advance(60'000);
        QCOMPARE(player.state(), MediaPlayer::Halted);
        QCOMPARE(player.time(), int64_t(10'000));
        QCOMPARE(player.position(), 1.0f);
        QCOMPARE(times.count(), 2); // the end is a state change, not a time report
        QCOMPARE(states.count(), 2);

        // Played again from the end it starts over; a time set at the end is kept.
        player.play();
        QCOMPARE(player.time(), int64_t(0));
        player.advance(60'000);
        player.setTime(4000);
        player.play();
        QCOMPARE(player.time(), int64_t(4000));
        QCOMPARE(player.state(), MediaPlayer::Playing);
    }

    void pauseStopAndSeeksKeepToTheMedia() {
        FakeMediaPlayer player;
        player.setDefaultLength(20'000);
        player.play();
        player.setTime(5000);
        QCOMPARE(player.state(), MediaPlayer::Stopped); // no media: idle
        QCOMPARE(player.time(), int64_t(0));

        player.setMedia("b_R.mp4");
        player.play();
        player.pause();
        QCOMPARE(player.state(), MediaPlayer::Halted);
        player.jumpForward(30);
        QCOMPARE(player.time(), int64_t(20'000));
        player.jumpBackward(25);
        QCOMPARE(player.time(), int64_t(0));
        player.setPosition(0.25f);
        QCOMPARE(player.time(), int64_t(5000));
        player.setPosition(std::numeric_limits<float>::quiet_NaN());
        QCOMPARE(player.time(), int64_t(0));
        player.stop();
        QCOMPARE(player.state(), MediaPlayer::Stopped);

        QStringList expected{"play",
                             "setTime:5000",
                             "setMedia:b_R.mp4",
                             "play",
                             "pause",
                             "jumpForward:30",
                             "jumpBackward:25",
                             "setPosition:0.250",
                             "setPosition:nan",
                             "stop"};
        QCOMPARE(player.calls(), expected);
        QCOMPARE(player.callCount("play"), 2);
    }

    void queuedStateChangesArriveFromTheEventLoop() {
        FakeMediaPlayer player;
        player.setQueued(true);
        QSignalSpy states(&player, &MediaPlayer::stateChanged);
        player.setMedia("c_F.mp4");
        player.play();
        QCOMPARE(player.state(), MediaPlayer::Stopped);
        QCOMPARE(states.count(), 0);
        QTRY_COMPARE(player.state(), MediaPlayer::Playing);
        QCOMPARE(states.count(), 1);
    }

    void snapshotNeedsAPicture() {
        QTemporaryDir dir;
        FakeMediaPlayer player;
        const QString path = dir.filePath("snap.jpg");
        QVERIFY(!player.saveVideoSnapshotAt(path, 0, 0));
        player.setMedia("d_F.mp4");
        player.setVideoSize(QSize(320, 180));
        QVERIFY(!player.saveVideoSnapshotAt(path, 0, 0)); // stopped: no picture shown
        player.play();
        QVERIFY(player.saveVideoSnapshotAt(path, 0, 0));
        QCOMPARE(QImageReader(path).format(), QByteArray("jpeg"));
        QCOMPARE(QImageReader(path).size(), QSize(320, 180));
    }
};

QTEST_MAIN(FakeMediaPlayerTest)
#include "FakeMediaPlayerTest.moc"
