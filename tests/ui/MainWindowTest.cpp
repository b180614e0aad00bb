// SPDX-License-Identifier: GPL-3.0-or-later
// The main window as a user meets it: opening a card, the list's cells, the side views and the map page,
// full screen and dragging, and scans that finish while the window is busy or closing.

#include "DriveScript.h"
#include "H264Encoder.h"
#include "RecordingNameTree.h"
#include "SampleRecording.h"
#include "platform/VideoView.h"
#include "ui/app/CustomWindow.h"
#include "ui/app/ORBAppDelegate.h"
#include "ui/app/ORBMainWindowView.h"
#include "ui/app/ORBPlayInfo.h"
#include "ui/app/ORBRecordingsModel.h"
#include "ui/views/TKMapView.h"

#include "UiTestSupport.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

namespace {

using uitest::touch;

// The window and the cells of its list.
struct Harness : uitest::FakeViewer {
    QString cell(int row, int column, int role = Qt::DisplayRole) const {
        auto& model = app->recordingsModel();
        return model.data(model.index(row, column), role).toString();
    }
};

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void openingAFolderListsItsRecordingsWithTheirCellsAndACancelKeepsThem() {
        Harness h;
        QVERIFY(h.openCard({"DCIM/alwa_20230115_083012_F.MP4", "DCIM/alwa_20230115_083012_R.MP4",
                            "DCIM/event_20230115_090000_R.mp4",
                            "misc/xxxxx_20230115_083012_F.MP4",    // undated, sorts first
                            "misc/xxxxx_20230115_08301Q_Q.MP4"})); // not a recording
        QCOMPARE(h.app->recordingsModel().rowCount(), 4);

        // An undated recording: empty date and time, its mode text and car image.
        QCOMPARE(h.cell(0, ORBRecordingsModel::Date), QString());
        QCOMPARE(h.cell(0, ORBRecordingsModel::Time), QString());
        QCOMPARE(h.cell(0, ORBRecordingsModel::SaveMode), QString("Normal"));
        QVERIFY(!h.app->recordingsModel()
                     .data(h.app->recordingsModel().index(0, 0), Qt::DecorationRole)
                     .value<QPixmap>()
                     .isNull());

        QCOMPARE(h.cell(1, ORBRecordingsModel::Time), QString("08:30:12"));
        QCOMPARE(h.cell(3, ORBRecordingsModel::SaveMode), QString("Event"));

        // The open panel cancelled: the list stays.
        QSignalSpy reloaded(h.app.get(), &ORBAppDelegate::mediaListReloaded);
        h.chosen.clear();
        h.app->openMediaDirectoryDialog();
        QVERIFY(!reloaded.wait(300));
        QCOMPARE(h.app->recordingsModel().rowCount(), 4);
        uitest::screenshot(*h.app->window(), "main-window.png");
    }

    // Each side and mode has its picture; a file of neither side has none.
    void carImagesNeedBothSideAndMode() {
        for (const auto& [side, word] : {std::pair{"F", "front"}, std::pair{"R", "rear"}}) {
            for (const char* mode : {"alwa", "motion", "event"}) {
                const ORBMedia media(
                    QStringLiteral("/c/%1_20230115_083012_%2.MP4").arg(mode, side).toStdString());
                const QString name = ORBRecordingsModel::carImageName(media);
                QCOMPARE(name, QStringLiteral("car_%1_%2").arg(word, mode));
                QVERIFY2(!QPixmap(QStringLiteral(":/images/%1.png").arg(name)).isNull(), qPrintable(name));
            }
        }
        QCOMPARE(ORBRecordingsModel::carImageName(ORBMedia("/c/alwa_20230115_083012_X.MP4")), QString());
    }

    // The map exists with the window, so the calls made while the list is shown are all there when
    // the map is first shown; hidden, it draws nothing.
    void theMapKeepsTheCallsMadeBeforeItIsShown() {
        Harness h;
        TKMapView* map = h.app->mapView();
        QVERIFY(map && !map->isVisible());
        map->setLatLag(127.0, 37.5);
        map->setLatLag(127.001, 37.5);
        h.app->clickMapViewButton();
        QVERIFY(map->isVisible());
        QCOMPARE(map->trailSize(), std::size_t(2));
        QCOMPARE(map->marker()->longitude, 127.001);
    }

    void aNewFolderWhilePlayingStopsPlaybackAndLeavesNoDeadControls() {
        QTemporaryDir second;
        QVERIFY(touch(second.filePath("alwa_20230116_083012_F.MP4")) &&
                touch(second.filePath("alwa_20230116_083012_R.MP4")));
        Harness h;
        QVERIFY(h.openCard({"alwa_20230115_083012_F.MP4"}));
        FakeMediaPlayer* p1 = &h.p(1);
        QVERIFY(h.app->playback().playAtIndex(0));
        QVERIFY(p1->isPlaying());

        h.app->clickMapViewButton();
        QVERIFY(h.open(second.path()));
        QVERIFY(h.app->view().mediaListTableView->isVisible());
        QVERIFY(!h.app->view().player2Logo->pixmap().isNull()); // the lone front had cleared it
        QCOMPARE(h.app->recordingsModel().rowCount(), 2);
        QVERIFY(!p1->isPlaying());
        QVERIFY(!p1->hasMedia());
        QCOMPARE(h.app->view().playButton->imageName(), QStringLiteral("icon_play_n"));
        // A recording chosen, the controls work again.
        auto* table = h.app->view().mediaListTableView;
        h.app->window()->activateWindow();
        table->setFocus();
        table->setCurrentIndex(h.app->recordingsModel().index(1, 0));
        QTest::keyClick(table, Qt::Key_Return);
        QVERIFY(p1->isPlaying());
        QTest::keyClick(table, Qt::Key_Space);
        QCOMPARE(p1->state(), MediaPlayer::Paused);
    }

    void playbackKeysWorkWhileTheListHasTheFocus() {
        Harness h;
        QVERIFY(h.openCard({"alwa_20230115_083012_F.MP4", "alwa_20230115_083012_R.MP4"}));
        auto* w = h.app->window();
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        auto* table = h.app->view().mediaListTableView;
        table->setFocus();
        table->setCurrentIndex(h.app->recordingsModel().index(1, 0));
        FakeMediaPlayer* p1 = &h.p(1);

        QTest::keyClick(table, Qt::Key_Return);
        QCOMPARE(p1->media(), h.card.filePath("alwa_20230115_083012_R.MP4"));
        QCOMPARE(h.p(2).media(), h.card.filePath("alwa_20230115_083012_F.MP4"));
        p1->advance(40);
        QTest::keyClick(table, Qt::Key_BracketRight);
        QCOMPARE(h.app->view().speedTextButton->text(), QStringLiteral("2x"));
        QTest::keyClick(table, Qt::Key_Up, Qt::ControlModifier);
        QCOMPARE(h.app->view().volumeSlider->value(), 80);
        QTest::keyClick(table, Qt::Key_Right);
        QCOMPARE(p1->time(), 10040);
        QTest::keyClick(table, Qt::Key_Space);
        QCOMPARE(p1->state(), MediaPlayer::Paused);
        // Paused, the size text follows the picture into full screen and back.
        auto* size = h.app->view().sizeTextButton;
        QTRY_VERIFY(size->text() != QLatin1String("0.00x"));
        const QString windowed = size->text();
        QTest::keyClick(table, Qt::Key_F);
        QVERIFY(w->isFullScreen());
        QTRY_VERIFY(size->text() != windowed);
        QTest::keyClick(table, Qt::Key_Escape);
        QVERIFY(!w->isFullScreen());
        QTRY_COMPARE(size->text(), windowed);
        QTest::keyClick(table, Qt::Key_Up); // the list's own
        QCOMPARE(table->currentIndex().row(), 0);
    }

    // Grabbed where it stands and flicked over the groove as a hand would, with time reports coming
    // while it is held: the slider lands where it is let go, both cameras with it.
    void aDragOfTheSliderLandsWhereItIsReleased() {
        Harness h;
        QVERIFY(h.openCard({"alwa_20230115_083000_F.MP4", "alwa_20230115_083000_R.MP4"}));
        QVERIFY(h.app->playback().playAtIndex(0));
        h.p(1).advance(3000);
        QSlider* slider = h.app->view().videoPositionSlider;
        const auto at = [slider](double fraction) {
            return QPoint(static_cast<int>(fraction * slider->width()), slider->height() / 2);
        };
        QTest::mousePress(slider, Qt::LeftButton, {},
                          at(static_cast<double>(slider->value()) / slider->maximum()));
        for (double f = 0.1; f <= 0.8; f += 0.05) {
            QTest::mouseMove(slider, at(f));
            h.p(1).advance(40);
        }
        QTest::mouseMove(slider, at(0.8));
        h.p(1).setTime(3000); // a report from before the seek, come late
        h.p(1).reportTime();
        QVERIFY(slider->isSliderDown());
        const double held = static_cast<double>(slider->value()) / slider->maximum();
        QTest::mouseRelease(slider, Qt::LeftButton, {}, at(0.8));
        QVERIFY2(std::abs(held - 0.8) < 0.05, qPrintable(QString::number(held)));
        QVERIFY2(std::abs(h.p(1).time() - held * 60000) < 100, qPrintable(QString::number(h.p(1).time())));
        QCOMPARE(h.p(2).time(), h.p(1).time());
        h.p(1).advance(40);
        QVERIFY(std::abs(h.app->playInfo().position() - held) < 0.01);
    }

    // A lone rear recording leaves the sub frame blank instead of labelling it with the front camera;
    // the next pair labels it again.
    void aLoneRecordingLeavesTheSubFrameBlank() {
        Harness h;
        QVERIFY(h.openCard(
            {"alwa_20230115_083012_F.MP4", "alwa_20230115_083012_R.MP4", "alwa_20230115_084500_R.MP4"}));
        auto* sub = h.app->view().player2BackgroundView;
        QVERIFY(h.app->playback().playAtIndex(2));
        QCOMPARE(h.app->player1()->media(), h.card.filePath("alwa_20230115_084500_R.MP4"));
        QVERIFY(sub->logoImage().isNull());
        QVERIFY(!h.app->view().player1Logo->pixmap().isNull());
        QVERIFY(h.app->playback().playAtIndex(0));
        QVERIFY(!sub->logoImage().isNull());
    }

    // The loading indicator fills in steps and goes at the first time report.
    void loadingIndicatorStepsUntilTheFirstTimeReport() {
        Harness h;
        QVERIFY(h.openCard({"alwa_20230115_083012_F.MP4"}));
        auto& v = h.app->view();
        h.app->playback().changeAndPlay(0);
        h.scheduler.advance(0.9);
        QCOMPARE(v.progressIndicator->value(), 6);
        h.p(1).advance(40);
        h.scheduler.advance(0.3);
        QVERIFY(!v.progressIndicator->isVisible());
    }

    void fullScreenDropsTheRightColumnAndWindowedModeRestoresIt() {
        Harness h;
        auto& v = h.app->view();
        auto* w = h.app->window();
        w->enterFullscreen();
        QVERIFY(w->isFullScreen());
        QVERIFY(!v.bodyRightBox->isVisible());
        QVERIFY(!v.headBox->isVisible());

        // Escape leaves full screen and returns to the first windowed frame.
        QTest::keyClick(w, Qt::Key_Escape);
        QVERIFY(!w->isFullScreen());
        QCOMPARE(w->geometry(), w->initialFrame());
        QVERIFY(!v.mediaControlBoxForFullScreen->isVisible());
        QVERIFY(v.bodyRightBox->isVisible());
    }

    void draggingStopsAtTheTopOfTheVisibleArea() {
        const QRect area(0, 25, 1440, 875);
        const QRect frame(100, 200, 1020, 640);
        // Down and right: free.
        QCOMPARE(CustomWindow::draggedOrigin(frame, QPoint(60, 70), QPoint(10, 20), area), QPoint(150, 250));
        // Up past the top: held at the top; sideways still follows.
        QCOMPARE(CustomWindow::draggedOrigin(frame, QPoint(10, -500), QPoint(10, 20), area), QPoint(100, 25));
        // Past the left edge is allowed.
        QCOMPARE(CustomWindow::draggedOrigin(frame, QPoint(-400, 20), QPoint(10, 20), area),
                 QPoint(-310, 200));
    }

    void secondaryWindowsAreKeptAsTheLastDialog() {
        Harness h;
        h.app->showSettingPanel();
        QPointer<QWidget> settings = h.app->lastDialogController();
        QVERIFY(settings && settings->isVisible());
        h.app->showTimeSetupPanel();
        QVERIFY(h.app->lastDialogController() != settings);
        QVERIFY(h.app->lastDialogController()->isVisible());
    }

    void scansThatOverlapOrOutliveTheWindowNeitherHangNorCrash() {
        QTemporaryDir big;
        samples::writeRecordingNameTree(big.path().toStdString(), 3000);
        {
            Harness h;
            h.chosen = big.path();
            h.app->openMediaDirectoryDialog();
            QVERIFY(h.openCard({"alwa_20230115_083012_F.MP4"}));
            QTRY_COMPARE_WITH_TIMEOUT(h.app->recordingsModel().rowCount(), 1, 10000);
            QTRY_VERIFY(!h.app->mediaList().isScanning());
            QCOMPARE(h.app->recordingsModel().rowCount(), 1); // the later scan's list, not the big one
        }
        {
            // Closing while a scan is about to hand over its result.
            Harness h;
            h.chosen = big.path();
            h.app->openMediaDirectoryDialog();
            QTest::qWait(20);
        }
    }

    // A file's header is read off the UI thread, for the list's tooltip as for a failed play: on a
    // slow card those reads froze the window for seconds.
    void whetherAFileIsCutShortIsFoundOffTheUiThread() {
        Harness h;
        static const auto video = samples::encodeTestPattern({64, 48, 30, 1, "testsrc2"}, nullptr);
        QVERIFY(video.has_value());
        const auto records = samples::DriveScript().records(0, 1);
        for (const char* name : {"alwa_20230115_083100_F.MP4", "alwa_20230115_083100_R.MP4"}) {
            const QString path = h.card.filePath(QLatin1String(name));
            QVERIFY(samples::writeCameraMp4(path.toStdString(), *video, records));
            QFile f(path);
            QVERIFY(f.resize(32 + 3000)); // the power went before the file was closed
        }
        QVERIFY(h.open(h.card.path()));
        const int rear = h.cell(0, ORBRecordingsModel::File).endsWith(QLatin1String("_R.MP4")) ? 0 : 1;
        QVERIFY(
            !h.cell(rear, ORBRecordingsModel::File, Qt::ToolTipRole).contains(QLatin1String("cut short")));
        QTRY_VERIFY(
            h.cell(rear, ORBRecordingsModel::File, Qt::ToolTipRole).contains(QLatin1String("cut short")));

        QVERIFY(h.app->playback().playAtIndex(1 - rear)); // the front file in the main view
        h.p(1).fail(MediaPlayer::CannotOpen);
        QLabel* status = h.app->view().statusLabel;
        QVERIFY(status->text().startsWith(QLatin1String("Front camera: cannot open the file")));
        QTRY_VERIFY(status->text().startsWith(QLatin1String("This recording was cut short")));
    }

    void theStatusLineTextsAndSliderAcrossAChangeOfRecording() {
        Harness h;
        QVERIFY(h.openCard(
            {"alwa_20230115_083000_F.MP4", "alwa_20230115_083000_R.MP4", "alwa_20230115_083100_F.MP4"}));
        const int width = h.app->window()->width();
        QLabel* status = h.app->view().statusLabel;
        QVERIFY(h.app->playback().playAtIndex(0));
        h.p(1).fail(MediaPlayer::EngineError);
        h.p(2).fail(MediaPlayer::NoVideoTrack);
        QVERIFY2(status->text().contains(QLatin1String("Front camera")) &&
                     status->text().contains(QLatin1String("Rear camera")),
                 qPrintable(status->text()));
        QApplication::processEvents();
        QCOMPARE(h.app->window()->width(), width); // the long line does not widen the window
        QVERIFY(h.app->playback().playAtIndex(2));
        QVERIFY2(!status->text().contains(QLatin1String("camera")), qPrintable(status->text()));

        // A click on the slider's track moves a useful step: 3 s of the minute.
        h.app->view().videoPositionSlider->triggerAction(QAbstractSlider::SliderPageStepAdd);
        QCOMPARE(h.p(1).time(), 3000);

        // Another card: the G-sensor texts of the recording that played go too.
        h.app->view().gsensorXField->setText(QStringLiteral("X=+1.25"));
        QVERIFY(h.open(h.card.path()));
        QCOMPARE(h.app->view().gsensorXField->text(), QStringLiteral("X=+0.00"));
    }

    void scaleStepsIntoAndOutOfFullScreen() {
        const QRect screen(0, 0, 1440, 900);
        const QRect start(100, 50, 1020, 640);
        auto step = ORBAppDelegate::scaleStep(start, screen, false, 1);
        QCOMPARE(step.action, ORBScaleStep::Resize);
        QCOMPARE(step.frame, QRect(100, 50, 1224, 768));
        QCOMPARE(ORBAppDelegate::scaleStep(step.frame, screen, false, 1).action,
                 ORBScaleStep::EnterFullscreen);
        QCOMPARE(ORBAppDelegate::scaleStep(screen, screen, true, -1).action, ORBScaleStep::LeaveFullscreen);
        step = ORBAppDelegate::scaleStep(QRect(100, 50, 1224, 768), screen, false, -1);
        QCOMPARE(step.frame, start);
        QCOMPARE(ORBAppDelegate::scaleStep(QRect(0, 0, 900, 600), screen, false, 0).frame,
                 QRect(0, 0, 1020, 640));
    }

    void closingTheWindowStopsPlayback() {
        Harness h;
        FakeMediaPlayer* p1 = &h.p(1);
        p1->setMedia(QStringLiteral("/c/alwa_20230115_083012_F.MP4"));
        p1->play();
        h.app->closeWindow();
        QVERIFY(!p1->hasMedia());
        QVERIFY(!p1->isPlaying());
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
