// SPDX-License-Identifier: GPL-3.0-or-later
// The real player on clips made here: a picture of known colours and geometry (640 x 360, so the
// decoder pads its buffer), and pictures that show their own frame numbers, so that the view tells
// where seeks, pauses and frame steps landed.

#include "platform/VlcMediaPlayer.h"
#include "FrameNumberClip.h"
#include "platform/MediaPlayer.h"
#include "platform/PlaybackClock.h"
#include "platform/VideoView.h"
#include "platform/VlcLibrary.h"

#include <QImageReader>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

#include <limits>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr int kTimeout = 8000;

bool near(QRgb pixel, QColor expected) {
    const int tolerance = 60;
    return std::abs(qRed(pixel) - expected.red()) < tolerance &&
           std::abs(qGreen(pixel) - expected.green()) < tolerance &&
           std::abs(qBlue(pixel) - expected.blue()) < tolerance;
}

QString describe(QRgb pixel) {
    return QStringLiteral("rgb(%1,%2,%3)").arg(qRed(pixel)).arg(qGreen(pixel)).arg(qBlue(pixel));
}

// A view, its player and the states the player reported, in order.
struct Rig {
    std::unique_ptr<VideoView> view = std::make_unique<VideoView>();
    std::unique_ptr<MediaPlayer> player = createMediaPlayer(view.get());
    std::vector<MediaPlayer::State> states;
    int timeReports = 0;

    Rig() {
        view->resize(640, 360);
        QObject::connect(player.get(), &MediaPlayer::stateChanged, player.get(),
                         [this](MediaPlayer* p) { states.push_back(p->state()); });
        QObject::connect(player.get(), &MediaPlayer::timeChanged, player.get(), [this] { ++timeReports; });
    }
    bool sawState(MediaPlayer::State state) const {
        return std::find(states.begin(), states.end(), state) != states.end();
    }
    int shown() const { return samples::frameNumber(view->lastFrame()); }
};

} // namespace

class VlcMediaPlayerTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_clip;
    QString m_ramp; // grey level 81.5 per second of media time: the picture tells its own time
    QString m_numbered;

    void checkPicture(const QImage& frame) {
        QCOMPARE(frame.size(), QSize(640, 360));
        QVERIFY2(near(frame.pixel(40, 40), Qt::red), qPrintable(describe(frame.pixel(40, 40))));
        QVERIFY2(near(frame.pixel(600, 40), Qt::blue), qPrintable(describe(frame.pixel(600, 40))));
        // The band starts at row 300: a picture stretched into a padded buffer would move it down.
        QVERIFY2(near(frame.pixel(320, 310), QColor(0, 128, 0)), qPrintable(describe(frame.pixel(320, 310))));
        QVERIFY2(near(frame.pixel(480, 280), Qt::blue), qPrintable(describe(frame.pixel(480, 280))));
        QVERIFY2(near(frame.pixel(320, 358), QColor(0, 128, 0)), qPrintable(describe(frame.pixel(320, 358))));
    }

    static bool makeClip(const QStringList& args) {
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel); // ffmpeg's reason, when it fails
        process.start(QStandardPaths::findExecutable(QStringLiteral("ffmpeg")),
                      QStringList{"-v", "error", "-y"} + args);
        return process.waitForFinished(60000) && process.exitCode() == 0;
    }

    // The view shows `frame`, and still does once the engine's queued pictures have had their time.
    static bool settlesOn(const Rig& rig, int frame) {
        if (!QTest::qWaitFor([&] { return rig.shown() == frame; }, kTimeout)) {
            return false;
        }
        QTest::qWait(600);
        return rig.shown() == frame;
    }

    static QByteArray describeFrame(const Rig& rig, int wanted) {
        return QStringLiteral("shows frame %1, wanted %2 (time %3 ms)")
            .arg(rig.shown())
            .arg(wanted)
            .arg(rig.player->time())
            .toUtf8();
    }

    void startPlaying(Rig& rig) {
        rig.player->setMedia(m_clip);
        rig.player->play();
        QTRY_COMPARE_WITH_TIMEOUT(rig.player->state(), MediaPlayer::Playing, kTimeout);
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        m_clip = m_dir.filePath(QStringLiteral("clip_F.mp4"));
        QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty(),
                 "ffmpeg is needed to make the test recording");
        QVERIFY(makeClip({"-f", "lavfi", "-i",
                          "color=c=blue:size=640x360:rate=30:duration=3,"
                          "drawbox=x=0:y=0:w=320:h=300:color=red:t=fill,"
                          "drawbox=x=0:y=300:w=640:h=60:color=green:t=fill",
                          "-f", "lavfi", "-i", "sine=frequency=440:duration=3", "-c:v", "libx264", "-g", "30",
                          "-pix_fmt", "yuv420p", "-c:a", "aac", "-shortest", m_clip}));
        m_ramp = m_dir.filePath(QStringLiteral("ramp_F.mp4"));
        QVERIFY(makeClip({"-f", "lavfi", "-i", "nullsrc=s=160x90:r=30:d=3,geq=lum='16+70*T':cb=128:cr=128",
                          "-c:v", "libx264", "-qp", "0", "-g", "30", m_ramp}));
        m_numbered = m_dir.filePath(QStringLiteral("numbered_F.mp4"));
        QVERIFY(samples::writeFrameNumberClip(m_numbered, 8, 30));
        initMediaPlayerLibrary(MediaPlayerOptions{.silent = true});
    }

    void engineArgumentsFollowTheOptions() {
        QVERIFY(!VlcLibrary::arguments({}).contains("--aout=adummy"));
        qputenv("NURA_VLC_ARGS", "--verbose=2 \"--sub-source=a b\"");
        const QStringList args = VlcLibrary::arguments({.silent = true});
        qunsetenv("NURA_VLC_ARGS");
        QCOMPARE(args, (QStringList{"--no-video-title-show", "--quiet", "--aout=adummy", "--verbose=2",
                                    "--sub-source=a b"}));
    }

    void showsFramesAndSnapshots() {
        Rig rig;
        startPlaying(rig);
        QTRY_VERIFY_WITH_TIMEOUT(!rig.view->lastFrame().isNull(), kTimeout);
        checkPicture(rig.view->lastFrame());

        // Paused, a snapshot is a JPEG of the whole frame.
        rig.player->pause();
        QTRY_COMPARE_WITH_TIMEOUT(rig.player->state(), MediaPlayer::Paused, kTimeout);

        const QString full = m_dir.filePath("full.jpg");
        QVERIFY(rig.player->saveVideoSnapshotAt(full, 0, 0));
        QImageReader reader(full);
        QCOMPARE(reader.format(), QByteArray("jpeg"));
        checkPicture(reader.read());
        QVERIFY(!rig.player->saveVideoSnapshotAt(m_dir.filePath("missing/dir/x.jpg"), 0, 0));
    }

    // The time told between engine reports stays close to the picture on the screen, from the
    // start on (the engine's clock starts well after it says Playing).
    void timeKeepsNearThePicture() {
        Rig rig;
        int64_t lead = std::numeric_limits<int64_t>::min();
        int samples = 0;
        QObject::connect(rig.player.get(), &MediaPlayer::timeChanged, [&](MediaPlayer* p) {
            const QImage frame = rig.view->lastFrame();
            if (p->isPlaying() && !frame.isNull() && p->time() < 2500) {
                const auto shown = static_cast<int64_t>(qGray(frame.pixel(80, 45)) * 1000 / 81.5);
                lead = std::max(lead, p->time() - shown);
                ++samples;
            }
        });
        rig.player->setMedia(m_ramp);
        rig.player->play();
        QTRY_COMPARE_WITH_TIMEOUT(rig.player->state(), MediaPlayer::Ended, kTimeout);
        QVERIFY2(samples > 20, qPrintable(QString::number(samples)));
        QVERIFY2(lead < PlaybackClock::kMaxLeadMs, qPrintable(QString::number(lead)));
    }

    void seeksLandPausedOrPlaying() {
        Rig rig;
        startPlaying(rig);
        rig.player->pause();
        QTRY_COMPARE_WITH_TIMEOUT(rig.player->state(), MediaPlayer::Paused, kTimeout);

        // Seeks and jumps while paused move the time at once.
        rig.player->setTime(2000);
        QCOMPARE(rig.player->time(), int64_t(2000));
        rig.player->jumpBackward(10);
        QCOMPARE(rig.player->time(), int64_t(0));
        rig.player->jumpForward(60);
        QCOMPARE(rig.player->time(), rig.player->mediaLength());
        rig.player->setPosition(0.5f);

        rig.player->play();
        QTRY_COMPARE_WITH_TIMEOUT(rig.player->state(), MediaPlayer::Playing, kTimeout);
        QVERIFY(rig.player->time() >= 1400);

        // While playing, a seek lands where it was sent; sent to the length, the player halts at
        // the end as a recording that ran out does.
        rig.player->setTime(2000);
        QTest::qWait(300);
        QVERIFY2(rig.player->time() >= 2000 && rig.player->time() < 2900,
                 qPrintable(QString::number(rig.player->time())));
        rig.player->setTime(rig.player->mediaLength());
        QTRY_COMPARE_WITH_TIMEOUT(rig.player->state(), MediaPlayer::Ended, kTimeout);
        QVERIFY(rig.player->position() >= 0.95f);
    }

    void runsToTheEndThenRestartsFromAPositionSetWhileHalted() {
        Rig rig;
        startPlaying(rig);
        QTRY_COMPARE_WITH_TIMEOUT(rig.player->state(), MediaPlayer::Ended, kTimeout);
        QCOMPARE(MediaPlayer::timeString(rig.player->remainingTime()), QStringLiteral("00:00"));
        QVERIFY(!rig.sawState(MediaPlayer::Idle));

        // Resume from a time set at the end: playback starts there, not at the beginning.
        rig.player->setTime(2000);
        rig.player->play();
        QTRY_COMPARE_WITH_TIMEOUT(rig.player->state(), MediaPlayer::Playing, kTimeout);
        QTest::qWait(300);
        QVERIFY2(rig.player->time() >= 2000, qPrintable(QString::number(rig.player->time())));
        QTRY_COMPARE_WITH_TIMEOUT(rig.player->state(), MediaPlayer::Ended, kTimeout);
    }

    // libVLC cannot make a media of a relative path once the working folder is gone.
    void mediaThatCannotBeMadeReportsAnError() {
        const QString home = QDir::currentPath();
        QTemporaryDir gone;
        QVERIFY(QDir::setCurrent(gone.path()));
        QVERIFY(gone.remove());
        Rig rig;
        rig.player->setMedia(QStringLiteral("lost_F.mp4"));
        QVERIFY(QDir::setCurrent(home));

        rig.player->play();
        QCOMPARE(rig.player->state(), MediaPlayer::Opening); // the file is checked on the worker
        QTRY_COMPARE_WITH_TIMEOUT(rig.player->state(), MediaPlayer::Failed, kTimeout);
        QCOMPARE(rig.player->failure(), MediaPlayer::CannotOpen);
        QCOMPARE(rig.states, (std::vector<MediaPlayer::State>{MediaPlayer::Opening, MediaPlayer::Failed}));
        startPlaying(rig);
    }

    // A pause in the last seconds is a pause: it holds, it can be stepped, and nothing ends it.
    void aPauseNearTheEndStaysPaused() {
        Rig rig;
        startPlaying(rig);
        QTRY_VERIFY_WITH_TIMEOUT(rig.player->mediaLength() > 0, kTimeout);
        const int64_t nearEnd = rig.player->mediaLength() * 95 / 100;
        auto watch = QObject::connect(rig.player.get(), &MediaPlayer::timeChanged, [&](MediaPlayer* p) {
            if (p->isPlaying() && p->time() >= nearEnd) {
                p->pause();
            }
        });
        QTRY_COMPARE_WITH_TIMEOUT(rig.player->state(), MediaPlayer::Paused, kTimeout);
        QObject::disconnect(watch);
        const int64_t held = rig.player->time();
        QTest::qWait(1500);
        QCOMPARE(rig.player->state(), MediaPlayer::Paused);
        QVERIFY(!rig.sawState(MediaPlayer::Ended));
        QVERIFY(std::abs(rig.player->time() - held) < 100);
        QVERIFY(rig.player->stepFrame(-1));

        // Played on, it ends. (Seeks near the end while paused: stepsAndSeeksPastTheLastKeyFrame.)
        rig.player->play();
        QTRY_COMPARE_WITH_TIMEOUT(rig.player->state(), MediaPlayer::Ended, kTimeout);

        // A step back from the end pauses on the frame before the last, without playing on.
        rig.states.clear();
        const int64_t last = rig.player->lastFrameIndex();
        QVERIFY(rig.player->showFrame(last - 1));
        QCOMPARE(rig.player->time(), rig.player->frameStart(last - 1));
        QTRY_COMPARE_WITH_TIMEOUT(rig.player->state(), MediaPlayer::Paused, kTimeout);
        QTest::qWait(500);
        QCOMPARE(rig.player->state(), MediaPlayer::Paused);
        QCOMPARE(rig.player->time(), rig.player->frameStart(last - 1));
        QVERIFY(!rig.sawState(MediaPlayer::Playing));
    }

    // Files that cannot be played fail with a reason, and the player takes the next file.
    void filesThatAreNoVideoFailWithAReason() {
        const QString noise = m_dir.filePath("noise_F.MP4");
        {
            QFile file(noise);
            QVERIFY(file.open(QIODevice::WriteOnly));
            std::mt19937 random(7);
            QByteArray bytes(256 * 1024, '\0');
            for (char& b : bytes) {
                b = static_cast<char>(random());
            }
            file.write(bytes);
        }
        const QString sound = m_dir.filePath("sound_F.MP4");
        QVERIFY(makeClip({"-f", "lavfi", "-i", "sine=frequency=440:duration=2", "-c:a", "aac", sound}));
        const QString fifo = m_dir.filePath("fifo_F.MP4");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const QString empty = m_dir.filePath("empty_F.MP4");
        QVERIFY(QFile(empty).open(QIODevice::WriteOnly));

        struct Case {
            QString path;
            std::vector<MediaPlayer::Failure> reasons;
            int withinMs;
        };
        const std::vector<Case> cases = {
            {noise, {MediaPlayer::EngineError, MediaPlayer::NoVideoTrack}, kTimeout},
            {sound, {MediaPlayer::NoVideoTrack}, kTimeout},
            // The file check before the engine: a FIFO without a writer must not hold the player.
            {fifo, {MediaPlayer::CannotOpen}, 1000},
            {empty, {MediaPlayer::CannotOpen}, 1000},
        };
        Rig rig;
        for (const Case& c : cases) {
            rig.player->setMedia(c.path);
            rig.player->play();
            QTRY_VERIFY2_WITH_TIMEOUT(
                rig.player->state() == MediaPlayer::Failed,
                qPrintable(c.path + QStringLiteral(": state %1").arg(rig.player->state())), c.withinMs);
            const MediaPlayer::Failure reason = rig.player->failure();
            QVERIFY2(std::find(c.reasons.begin(), c.reasons.end(), reason) != c.reasons.end(),
                     qPrintable(c.path + QStringLiteral(": reason %1").arg(reason)));
            QVERIFY(!rig.player->hasVideoOut());
        }
        startPlaying(rig);
        QTRY_VERIFY_WITH_TIMEOUT(rig.player->hasVideoOut(), kTimeout);
    }

    void stepsAndSeeksPastTheLastKeyFrame() {
        Rig rig;
        rig.player->setMedia(m_numbered);
        rig.player->play();
        QTRY_COMPARE_WITH_TIMEOUT(rig.player->state(), MediaPlayer::Playing, kTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(rig.shown() >= 0, kTimeout);
        rig.player->pause();
        QTRY_COMPARE_WITH_TIMEOUT(rig.player->state(), MediaPlayer::Paused, kTimeout);
        rig.player->setTime(7000);
        QVERIFY2(settlesOn(rig, 210), describeFrame(rig, 210));
        for (const int frame : {211, 212, 213, 212}) {
            QVERIFY(rig.player->showFrame(frame));
            QVERIFY2(settlesOn(rig, frame), describeFrame(rig, frame));
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
            QVERIFY2(settlesOn(rig, seek.frame), describeFrame(rig, seek.frame));
            QCOMPARE(rig.player->state(), MediaPlayer::Paused);
        }
    }

    // A seek asked with a pause still on its way, whether the file is still opening or the pause was
    // asked a moment before, lands on its frame and stays paused there.
    void aSeekWithAPauseOnItsWayEndsOnTheSeekFrame() {
        for (const int delayMs : {-1, 0, 20, 40}) { // -1: asked while opening
            Rig rig;
            rig.player->setMedia(m_numbered);
            if (delayMs < 0) {
                rig.player->setTime(4000);
                rig.player->play();
                rig.player->pause();
            } else {
                rig.player->play();
                QTRY_VERIFY_WITH_TIMEOUT(rig.player->isPlaying() && rig.shown() >= 15, kTimeout);
                rig.player->pause();
                QTest::qWait(delayMs);
                rig.player->setTime(4000);
            }
            QVERIFY2(settlesOn(rig, 120),
                     describeFrame(rig, 120) + " after " + QByteArray::number(delayMs) + " ms");
            QCOMPARE(rig.player->state(), MediaPlayer::Paused);
        }
    }

    // Without an engine (it could not start), a start fails instead of opening for ever.
    void withoutAnEngineAStartFails() {
        VideoView view;
        VlcMediaPlayer player(nullptr, &view);
        player.setMedia(m_clip);
        player.play();
        QTRY_COMPARE_WITH_TIMEOUT(player.state(), MediaPlayer::Failed, kTimeout);
        QCOMPARE(player.failure(), MediaPlayer::EngineError);
        player.setTime(1000);
        player.setRate(2.0f);
        player.stop();
        QCOMPARE(player.state(), MediaPlayer::Idle);
    }

    // Reports and pictures of the previous file that were still on their way are dropped.
    void aNewMediaHearsNothingOfThePreviousOne() {
        Rig rig;
        startPlaying(rig);
        QTRY_VERIFY_WITH_TIMEOUT(rig.player->hasVideoOut(), kTimeout);
        QTest::qWait(300);
        rig.player->setMedia(m_ramp);
        rig.states.clear();
        const int reports = rig.timeReports;
        QTest::qWait(1000);
        QCOMPARE(rig.player->state(), MediaPlayer::Idle);
        QVERIFY(rig.states.empty());
        QCOMPARE(rig.timeReports, reports);
        QCOMPARE(rig.player->time(), int64_t(0));
        QVERIFY(rig.view->lastFrame().isNull());
        QVERIFY(!rig.player->hasVideoOut());
        QVERIFY(!rig.player->saveVideoSnapshotAt(m_dir.filePath("stale.jpg"), 0, 0));
        // Length and size are known before playing: the ramp's own (3 s, 160 x 90), not the clip's.
        QTRY_VERIFY_WITH_TIMEOUT(rig.player->mediaLength() > 0, kTimeout);
        QVERIFY2(std::abs(rig.player->mediaLength() - 3000) <= 100,
                 qPrintable(QString::number(rig.player->mediaLength())));
        QCOMPARE(rig.player->videoSize(), QSize(160, 90));

        // Stopped while playing, or its media cleared: idle at the start, the picture gone.
        startPlaying(rig);
        rig.player->stop();
        QTRY_COMPARE_WITH_TIMEOUT(rig.player->state(), MediaPlayer::Idle, kTimeout);
        QCOMPARE(rig.player->time(), int64_t(0));
        startPlaying(rig);
        QTRY_VERIFY_WITH_TIMEOUT(!rig.view->lastFrame().isNull(), kTimeout);
        rig.player->setMedia(QString());
        QTRY_COMPARE_WITH_TIMEOUT(rig.player->state(), MediaPlayer::Idle, kTimeout);
        QVERIFY(rig.view->lastFrame().isNull());
    }

    void viewOrPlayerMayGoFirstWhilePlaying() {
        {
            Rig rig;
            startPlaying(rig);
            rig.view.reset();
            QTest::qWait(300);
            QVERIFY(rig.player->isPlaying());
        }
        {
            Rig rig;
            startPlaying(rig);
            rig.player.reset();
            QTest::qWait(100);
        }
    }
};

QTEST_MAIN(VlcMediaPlayerTest)
#include "VlcMediaPlayerTest.moc"
