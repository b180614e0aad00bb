// SPDX-License-Identifier: GPL-3.0-or-later
// A drive of three recordings played by the viewer with the real player, the frame numbers counted on
// across the drive: what the views show tells whether a join went back, went black or skipped.

#include "FrameNumberClip.h"
#include "RealViewer.h"
#include "platform/VideoView.h"
#include "ui/app/ORBAppDelegate.h"
#include "ui/app/ORBPlayInfo.h"
#include "ui/app/ORBPlaybackController.h"
#include "ui/app/ORBRecordingPlayer.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

constexpr int kFps = 25, kSeconds = 3, kFramesEach = kFps * kSeconds, kRecordings = 3;

QString stamp(int k) {
    return QStringLiteral("alwa_20230115_0830%1").arg(k * kSeconds, 2, 10, QLatin1Char('0'));
}

// What a view showed, in order: each new frame number, and any moment it showed nothing once it
// had shown a picture.
class ViewWatch {
public:
    explicit ViewWatch(const VideoView* view) : m_view(view) {
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { look(); });
        m_timer.start();
    }
    void look() {
        const int n = samples::frameNumber(m_view->lastFrame());
        if (n < 0) {
            blanks += seen.empty() ? 0 : 1;
        } else if (seen.empty() && n >= kFramesEach) {
            return; // the end of the round before, until the seek to the start shows
        } else if (seen.empty() || n != seen.back()) {
            seen.push_back(n);
        }
    }
    int last() const { return seen.empty() ? -1 : seen.back(); }
    // The first picture seen at or after `n`.
    int firstFrom(int n) const {
        const auto at =
            std::find_if(seen.begin(), seen.end(), [n](int seenNumber) { return seenNumber >= n; });
        return at == seen.end() ? -1 : *at;
    }
    // The first place where the number went back, or -1.
    int wentBackAt() const {
        for (size_t i = 1; i < seen.size(); ++i) {
            if (seen[i] < seen[i - 1]) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }
    QString seenText() const {
        QStringList all;
        for (int n : seen) {
            all << QString::number(n);
        }
        return all.join(QLatin1Char(' '));
    }

    std::vector<int> seen;
    int blanks = 0;

private:
    const VideoView* m_view;
    QTimer m_timer;
};

} // namespace

class DriveJoinTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        for (int k = 0; k < kRecordings; ++k) {
            for (const char* side : {"_F.MP4", "_R.MP4"}) {
                QVERIFY(samples::writeFrameNumberClip(m_card.filePath(stamp(k) + QLatin1String(side)),
                                                      kSeconds, kFps, k * kFramesEach));
            }
        }
        m_viewer = openRealViewer(m_card.path());
        QVERIFY(m_viewer);
    }

    // Each join shows the next recording's first pictures in both views, with nothing black and no
    // earlier picture after them, and without the start's loading indicator; at 1x and at 4x.
    void joinsGoOnFromPictureToPicture() {
        ORBAppDelegate& app = *m_viewer;
        ORBPlaybackController& playback = app.playback();
        playback.setDriveMode(true);
        QVERIFY(playback.playAtIndex(0));
        QTRY_VERIFY_WITH_TIMEOUT(playback.driveModeActive(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(playback.state() == ORBRecordingState::Playing, 10000);

        for (const double speed : {1.0, 4.0}) {
            if (speed != 1.0) {
                playback.setSpeed(speed);
                playback.seekDriveTo(0); // from the drive's end: plays again from its start
            }
            QSignalSpy loading(&playback, &ORBPlaybackController::loadingShown);
            ViewWatch front(app.video1View()), rear(app.video2View());
            const int lastFrame = kRecordings * kFramesEach - 1;
            QTRY_VERIFY2_WITH_TIMEOUT(front.last() >= lastFrame - 2 && rear.last() >= lastFrame - 2,
                                      qPrintable(front.seenText()), 30000);
            for (const ViewWatch* watch : {&front, &rear}) {
                QVERIFY2(watch->wentBackAt() < 0,
                         qPrintable(QString::number(speed) +
                                    (watch == &front ? QStringLiteral(" front ") : QStringLiteral(" rear ")) +
                                    watch->seenText()));
                QCOMPARE(watch->blanks, 0);
                // The prepared recording's paused picture shows at the hand-over: the engine halts
                // on its first or second picture. Faster, the engine drops pictures as it sets off.
                for (int k = 1; k < kRecordings && speed == 1.0; ++k) {
                    QVERIFY2(watch->firstFrom(k * kFramesEach) <= k * kFramesEach + 1,
                             qPrintable(watch->seenText()));
                }
            }
            QCOMPARE(loading.count(), 0);
        }
    }

    // Paused, a seek to the next recording's start shows its first picture exactly, although the
    // recording prepared ahead halted a picture or two later.
    void aPausedSeekIntoThePreparedRecordingLandsOnItsMoment() {
        ORBPlaybackController& playback = m_viewer->playback();
        QVERIFY(playback.playAtIndex(0));
        QTRY_VERIFY_WITH_TIMEOUT(playback.state() == ORBRecordingState::Playing, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(playback.recording().prepared().has_value(), 10000);
        playback.pause();
        QTRY_VERIFY_WITH_TIMEOUT(playback.state() == ORBRecordingState::Paused, 10000);
        playback.seekDriveTo(kSeconds * 1000);
        QTRY_COMPARE_WITH_TIMEOUT(samples::frameNumber(m_viewer->video1View()->lastFrame()), kFramesEach,
                                  10000);
        QTRY_COMPARE_WITH_TIMEOUT(samples::frameNumber(m_viewer->video2View()->lastFrame()), kFramesEach,
                                  10000);
        QCOMPARE(playback.status(), ORBPlaybackStatus::Paused);
    }

    void cleanupTestCase() {
        if (m_viewer) {
            m_viewer->applicationWillTerminate();
        }
    }

private:
    QTemporaryDir m_card;
    std::unique_ptr<ORBAppDelegate> m_viewer;
};

QTEST_MAIN(DriveJoinTest)
#include "DriveJoinTest.moc"
