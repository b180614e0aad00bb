// SPDX-License-Identifier: GPL-3.0-or-later
// Looking closely at a recording with fake players: event markers on the sliders and the graph and
// the jumps to them, frame stepping on both cameras, the mirrored rear view and the zoom of a swap.

#include "DriveScript.h"
#include "PlaybackRig.h"
#include "SampleRecording.h"
#include "UiTestSupport.h"
#include "platform/PathText.h"
#include "platform/VideoView.h"
#include "ui/app/CustomWindow.h"
#include "ui/app/ORBAppDelegate.h"
#include "ui/app/ORBMainWindowView.h"
#include "ui/app/ORBPlayInfo.h"
#include "ui/app/ORBViewingTools.h"
#include "ui/views/GraphView.h"
#include "ui/views/ORBDrivesTableModel.h"
#include "ui/views/TKSliderMarks.h"

#include <QApplication>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QSlider>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <functional>

namespace {

// A pair at 08:30 and these files, opened; every recording's telemetry a jolt at 20 s.
struct Harness : uitest::FakeViewer {
    explicit Harness(std::initializer_list<const char*> more = {})
        : FakeViewer([](ORBAppServices& s) {
              s.readTelemetry = [](QObject*, auto, std::function<void(ORBTelemetry)> done) {
                  done(uitest::joltAt(20));
              };
          }) {
        for (const char* name : more) {
            uitest::touch(card.filePath(QLatin1String(name)));
        }
        openCard({"alwa_20230115_083000_F.MP4", "alwa_20230115_083000_R.MP4"});
    }
    TKSliderMarks* marks(QSlider* slider) const { return slider->findChild<TKSliderMarks*>(); }
};

// Cancels each clip dialog as it opens, once `look` has read it, and counts them.
class ClipDialogs {
public:
    explicit ClipDialogs(std::function<void(QDialog*)> look) {
        QObject::connect(&m_timer, &QTimer::timeout, [this, look = std::move(look)] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (w->objectName() == QStringLiteral("clipExportDialog") && w->isVisible()) {
                    ++opened;
                    look(static_cast<QDialog*>(w));
                    static_cast<QDialog*>(w)->reject();
                }
            }
        });
        m_timer.start(20);
    }
    int opened = 0;

private:
    QTimer m_timer;
};

} // namespace

class ViewingToolsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // Markers on both sliders and the graph, and the jumps to them. The slider covers the longer
    // file of the pair, whichever picture is in front: after a swap to a 40 s rear, the jolt at 20 s
    // of the 60 s front stays at a third, as a marker's moment is a time.
    void markersOnSlidersAndGraphTheJumpsAndASwap() {
        QSettings().remove(QStringLiteral("eventMarkerThreshold"));
        Harness h;
        const QString rear = h.card.filePath(QStringLiteral("alwa_20230115_083000_R.MP4"));
        for (int n : {1, 2}) {
            h.p(n).setLengthForPath(rear, 40000);
        }
        QVERIFY(h.app->playback().playAtIndex(0));
        auto& v = h.app->view();
        QCOMPARE(h.marks(v.videoPositionSlider)->markers().at(0).position, 200.0 / 600);
        QCOMPARE(v.graphView->markers().size(), size_t(1));

        // Ctrl+Right: both cameras to three seconds before the jolt.
        h.app->window()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(h.app->window()));
        QTest::keyClick(h.app->window(), Qt::Key_Right, Qt::ControlModifier);
        QVERIFY(std::abs(h.p(1).time() - 17000) <= 1);
        QVERIFY(std::abs(h.p(2).time() - 17000) <= 1);
        h.scheduler.advance(0.3);

        QVERIFY(h.app->playback().swapPlayer());
        h.scheduler.advance(2.0); // past the swap's muted moment
        QCOMPARE(h.p(1).media(), rear);
        h.p(1).setTime(6000);
        for (QSlider* slider : {v.videoPositionSlider, v.videoPositionSliderForFullScreen}) {
            QCOMPARE(h.marks(slider)->markers().size(), size_t(1));
            QCOMPARE(h.marks(slider)->markers()[0].position, 200.0 / 600);
        }
        QCOMPARE(v.graphView->markers()[0].position, 200.0 / 600);

        // A higher threshold in the preferences leaves the next recording without markers.
        QSettings().setValue(QStringLiteral("eventMarkerThreshold"), 3.0);
        QVERIFY(h.app->playback().playAtIndex(0));
        QVERIFY(h.marks(v.videoPositionSlider)->markers().empty());
        QSettings().remove(QStringLiteral("eventMarkerThreshold"));
    }

    // In drive mode the clip's marks are the drive's: they stay at their moments across a join and
    // when the slider goes back to the recording; a span across a gap longer than a clip goes on
    // over is refused by name, and one across a join asks for the clip from where it begins.
    void clipMarksInDriveModeSpanJoinsButNotGaps() {
        Harness h({"alwa_20230115_083100_F.MP4", "alwa_20230115_083300_F.MP4"});
        auto& playback = h.app->playback();
        disconnect(&h.app->drivesModel(), &ORBDrivesTableModel::lengthsComplete, h.app.get(), nullptr);
        // Every file lasts a minute, as the fake players say; the empty files' headers would say none.
        playtest::giveDrives(playback, h.app->mediaList());
        playback.setDriveMode(true);
        QVERIFY(playback.playAtIndex(0));
        QVERIFY(playback.driveModeActive());
        auto* window = h.app->window();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        auto& clips = h.app->viewingTools().clips();
        h.p(1).advance(50000);
        QTest::keyClick(window, Qt::Key_I);
        playback.seekDriveTo(70000); // across the back-to-back join at 60 s
        QTest::keyClick(window, Qt::Key_O);
        QCOMPARE(clips.inMark(), std::optional<double>(50.0));
        QCOMPARE(clips.outMark(), std::optional<double>(70.0));

        QString asked;
        const ClipDialogs dialogs([&](QDialog* d) { asked = d->findChild<QLineEdit*>()->text(); });
        h.app->viewingTools().exportClip(QString());
        QCOMPARE(QFileInfo(asked).fileName(), QStringLiteral("clip_20230115_083050.mp4"));

        // Out past the minute's gap before 08:33: refused, and the status line names it.
        window->activateWindow(); // the dialog had it
        QVERIFY(QTest::qWaitForWindowActive(window));
        playback.seekDriveTo(130000);
        QTest::keyClick(window, Qt::Key_O);
        h.app->viewingTools().exportClip(QString());
        QVERIFY2(h.app->view().statusLabel->text().contains(QLatin1String("gap of 60 s")),
                 qPrintable(h.app->view().statusLabel->text()));
        QVERIFY(!clips.isRunning());

        // Back to the recording (now the third): the in mark lies before it and goes; out stays.
        playback.setDriveMode(false);
        QCOMPARE(clips.inMark(), std::nullopt);
        QCOMPARE(clips.outMark(), std::optional<double>(10.0));
    }

    // A recording chosen in the list but not playing: its length is read from its index off the UI
    // thread (a slow card would hold the window still), then the dialog offers the whole of it, once.
    void aSelectedRecordingIsOfferedWholeOnceItsLengthIsRead() {
        Harness h;
        const QString path = h.card.filePath(QStringLiteral("alwa_20230115_084000_F.MP4"));
        QVERIFY(samples::writeCameraMp4(nura::pathBytes(path), samples::placeholderVideo(64, 36, 30, 180),
                                        samples::DriveScript().records(0, 6)));
        double offered = -1;
        const ClipDialogs dialogs(
            [&](QDialog* d) { offered = d->findChildren<QDoubleSpinBox*>().at(1)->value(); });
        h.app->viewingTools().exportClip(path);
        h.app->viewingTools().exportClip(path); // pressed again while the length is read
        QCOMPARE(dialogs.opened, 0);
        QTRY_COMPARE(offered, 6.0);
        QTest::qWait(200);
        QCOMPARE(dialogs.opened, 1);
    }

    void stepsBothCamerasOnlyWhilePaused() {
        Harness h;
        FakeMediaPlayer& main = h.p(1);
        FakeMediaPlayer& sub = h.p(2);
        auto& stepper = h.app->viewingTools().stepper();
        main.setFrameRate(30);
        sub.setFrameRate(25);
        QVERIFY(h.app->playback().playAtIndex(0));
        QVERIFY(!stepper.stepForward()); // refused while playing

        h.app->playback().clickPlayButton(); // pause
        main.clearCalls();
        sub.clearCalls();
        QVERIFY(!stepper.stepBackward()); // at the first frame
        QVERIFY(stepper.stepForward());
        QVERIFY(stepper.stepForward());
        // Frame 2 of the front starts at 67 ms; the rear's frame at or before it is its frame 1 (40 ms).
        QCOMPARE(main.time(), int64_t(67));
        QCOMPARE(sub.time(), int64_t(40));
        QCOMPARE(h.app->playInfo().position(), 67.0 / 60000); // telemetry follows
    }

    // How a mirrored view paints is the video view's own test; here the button, its setting and a swap.
    void theMirrorFollowsTheRearPictureAndASwap() {
        QSettings().setValue(QStringLiteral("mirrorRearView"), false);
        Harness h;
        QVERIFY(h.app->playback().playAtIndex(0));
        auto& mirror = h.app->viewingTools().mirror();
        QVERIFY(!h.app->video2View()->mirrored());
        QCOMPARE(mirror.button()->parentWidget(), h.app->video2View());
        mirror.button()->click();
        QVERIFY(h.app->video2View()->mirrored());

        h.app->video2View()->setZoom({2.0, {0.25, 0.5}});
        // After a swap the main view shows the rear camera, mirrored, with the button.
        QVERIFY(h.app->playback().swapPlayer());
        QVERIFY(h.app->video1View()->mirrored());
        QVERIFY(!h.app->video2View()->mirrored());
        QCOMPARE(mirror.button()->parentWidget(), h.app->video1View());
        // The rear camera's zoom went with it to the main view.
        QCOMPARE(h.app->video1View()->zoom(), VideoZoom({2.0, {0.25, 0.5}}));
        QCOMPARE(h.app->video2View()->zoom(), VideoZoom());

        // Remembered: the next run starts mirrored; M turns it off.
        Harness again;
        QVERIFY(again.app->viewingTools().mirror().isEnabled());
        again.app->window()->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(again.app->window()));
        QTest::keyClick(again.app->window(), Qt::Key_M);
        QVERIFY(!again.app->viewingTools().mirror().isEnabled());
        QSettings().remove(QStringLiteral("mirrorRearView"));
    }
};

QTEST_MAIN(ViewingToolsTest)
#include "ViewingToolsTest.moc"
