// A frame saved from the real player: a clip made with ffmpeg (red left half, blue right half),
// captured while it plays and saved under a ".png" name as a user would, then read back.

#include "platform/MediaPlayer.h"
#include "platform/VideoView.h"
#include "ui/app/ORBSnapshotController.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

class SnapshotCaptureTest : public QObject {
    Q_OBJECT
private slots:
    void savedFrameIsThePlayingPicture() {
        QTemporaryDir dir;
        const QString clip = dir.filePath(QStringLiteral("clip_F.mp4"));
        const QString ffmpeg = QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
        QVERIFY2(!ffmpeg.isEmpty(), "ffmpeg is needed to make the test recording");
        QCOMPARE(QProcess::execute(ffmpeg, {"-v", "error", "-y", "-f", "lavfi", "-i",
                                            "color=c=blue:size=480x270:rate=25:duration=4,"
                                            "drawbox=x=0:y=0:w=240:h=270:color=red:t=fill",
                                            "-c:v", "libx264", "-pix_fmt", "yuv420p", clip}),
                 0);

        initMediaPlayerLibrary({true});
        VideoView view;
        view.resize(480, 270);
        const std::unique_ptr<MediaPlayer> player = createMediaPlayer(&view);
        const QString output = qEnvironmentVariable("NURA_TEST_OUTPUT", dir.path());
        QDir().mkpath(output);
        const QString target = QDir(output).filePath(QStringLiteral("nura_capture.png"));
        QFile::remove(target);
        QStringList opened;
        ORBSnapshotServices services;
        services.chooseSnapshotPath = [&](QWidget*, const QString&, const QString& name) {
            return QDir(output).filePath(name);
        };
        services.openInViewer = [&](const QString& path) { opened << path; };
        services.temporaryFolder = [&] { return dir.path(); };
        ORBSnapshotController snapshots(*player, nullptr, services);

        player->setMedia(clip);
        player->play();
        QTRY_VERIFY_WITH_TIMEOUT(player->isPlaying() && !view.lastFrame().isNull(), 10000);
        snapshots.captureVideo();
        QCOMPARE(opened, QStringList{target});

        QFile file(target);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.read(8), QByteArray("\x89PNG\r\n\x1a\n", 8));
        const QImage saved(target);
        QCOMPARE(saved.size(), QSize(480, 270));
        const QRgb left = saved.pixel(60, 135);
        const QRgb right = saved.pixel(420, 135);
        QVERIFY2(qRed(left) > 200 && qBlue(left) < 60, qPrintable(QString::number(left, 16)));
        QVERIFY2(qBlue(right) > 200 && qRed(right) < 60, qPrintable(QString::number(right, 16)));
        player->stop();
    }
};

QTEST_MAIN(SnapshotCaptureTest)
#include "SnapshotCaptureTest.moc"
