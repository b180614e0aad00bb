// SPDX-License-Identifier: GPL-3.0-or-later
// The paused picture with the real player: an 8 s clip at 30 frames a second with a key frame every
// second, whose pictures show their own frame numbers. Whatever order the seeks, pauses and frame
// steps come in, once the player has halted the view must end on the frame of the last time asked,
// also past the last key frame, and a snapshot must save that frame.

#include "FrameNumberClip.h"
#include "platform/MediaPlayer.h"
#include "platform/VideoView.h"

#include <QImageReader>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

constexpr int kTimeout = 8000;

struct Rig {
    std::unique_ptr<VideoView> view = std::make_unique<VideoView>();
    std::unique_ptr<MediaPlayer> player = createMediaPlayer(view.get());
    int shown() const { return samples::frameNumber(view->lastFrame()); }
};

} // namespace

class PausedPictureTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_clip;

    // The view shows `frame`, and still does once the engine's queued pictures have had their time.
    static bool settlesOn(const Rig& rig, int frame) {
        if (!QTest::qWaitFor([&] { return rig.shown() == frame; }, kTimeout)) {
            return false;
        }
        QTest::qWait(600);
        return rig.shown() == frame;
    }

    static QByteArray describe(const Rig& rig, int wanted) {
        return QStringLiteral("shows frame %1, wanted %2 (time %3 ms)")
            .arg(rig.shown())
            .arg(wanted)
            .arg(rig.player->time())
            .toUtf8();
    }

    void playThenPause(Rig& rig) {
        rig.player->setMedia(m_clip);
        rig.player->play();
        QTRY_COMPARE_WITH_TIMEOUT(rig.player->state(), MediaPlayer::Playing, kTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(rig.shown() >= 0, kTimeout);
        rig.player->pause();
        QTRY_COMPARE_WITH_TIMEOUT(rig.player->state(), MediaPlayer::Paused, kTimeout);
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        m_clip = m_dir.filePath(QStringLiteral("clip_F.mp4"));
        QVERIFY(samples::writeFrameNumberClip(m_clip, 8, 30));
        initMediaPlayerLibrary(MediaPlayerOptions{.silent = true});
    }

    void stepsAndSeeksPastTheLastKeyFrame() {
        Rig rig;
        playThenPause(rig);
        rig.player->setTime(7000);
        QVERIFY2(settlesOn(rig, 210), describe(rig, 210));
        for (const int frame : {211, 212, 213, 212}) {
            QVERIFY(rig.player->showFrame(frame));
            QVERIFY2(settlesOn(rig, frame), describe(rig, frame));
        }
        const QString snapshot = m_dir.filePath(QStringLiteral("step.jpg"));
        QVERIFY(rig.player->saveVideoSnapshotAt(snapshot, 0, 0));
        QCOMPARE(samples::frameNumber(QImageReader(snapshot).read()), 212);

        // Seeks elsewhere after the steps, into the last second and before it, and to the very end.
        const struct {
            int ms, frame;
        } seeks[] = {{7500, 225}, {3000, 90}, {7980, 239}, {1000, 30}, {8000, 239}};
        for (const auto& seek : seeks) {
            rig.player->setTime(seek.ms);
            QVERIFY2(settlesOn(rig, seek.frame), describe(rig, seek.frame));
            QCOMPARE(rig.player->state(), MediaPlayer::Paused);
        }
    }

    void aSeekAndAPauseWhileOpeningEndOnTheSeekFrame() {
        Rig rig;
        rig.player->setMedia(m_clip);
        rig.player->setTime(4000);
        rig.player->play();
        rig.player->pause();
        QTRY_COMPARE_WITH_TIMEOUT(rig.player->state(), MediaPlayer::Paused, kTimeout);
        QVERIFY2(settlesOn(rig, 120), describe(rig, 120));
    }

    void aSeekJustAfterAPauseEndsOnTheSeekFrame() {
        for (const int delayMs : {0, 20, 40}) {
            Rig rig;
            rig.player->setMedia(m_clip);
            rig.player->play();
            QTRY_VERIFY_WITH_TIMEOUT(rig.player->isPlaying() && rig.shown() >= 15, kTimeout);
            rig.player->pause();
            QTest::qWait(delayMs);
            rig.player->setTime(5000);
            QVERIFY2(settlesOn(rig, 150),
                     describe(rig, 150) + " after " + QByteArray::number(delayMs) + " ms");
            QCOMPARE(rig.player->state(), MediaPlayer::Paused);
        }
    }
};

QTEST_MAIN(PausedPictureTest)
#include "PausedPictureTest.moc"
