// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/app/ORBAppDelegate.h"

#include "core/log.h"
#include "core/repair/RecordingShape.h"
#include "platform/MprisService.h"
#include "platform/PathText.h"
#include "platform/ProcessCommandRunner.h"
#include "platform/Scheduler.h"
#include "platform/VideoView.h"
#include "platform/VolumeService.h"
#include "ui/app/BackgroundResult.h"
#include "ui/app/CustomWindow.h"
#include "ui/app/ORBDriveReadAhead.h"
#include "ui/app/ORBMainWindowView.h"
#include "ui/app/ORBMprisBridge.h"
#include "ui/app/ORBPlayInfo.h"
#include "ui/app/ORBRecordingsModel.h"
#include "ui/app/ORBTelemetryPresenter.h"
#include "ui/app/ORBViewingTools.h"
#include "ui/app/Resources.h"
#include "ui/card/ORBFormatWindowController.h"
#include "ui/card/ORBTimeSetupController.h"
#include "ui/strings/InfoPlist.h"
#include "ui/views/GraphView.h"
#include "ui/views/ORBDrivesTableModel.h"
#include "ui/views/TKSliderMarks.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QShortcut>
#include <QSlider>
#include <QTableView>
#include <QThread>
#include <QToolButton>
#include <QVBoxLayout>

#include <cstdlib>
#include <optional>
#include <string>

namespace {

void fillWith(QWidget* container, QWidget* child) {
    auto* layout = new QVBoxLayout(container);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(child);
}

QString styleSheet() {
    QFile file(QStringLiteral(":/main.qss"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

ORBAppDelegate::ORBAppDelegate(ORBAppServices services, QObject* parent)
    : QObject(parent), m_services(std::move(services)) {
    initNuraResources();
}

ORBAppDelegate::~ORBAppDelegate() {
    applicationWillTerminate();
    delete m_window;
}

void ORBAppDelegate::awakeFromNib() {
    nura::logLine("#############################   START");
    m_window = new CustomWindow;
    m_window->setWindowTitle(QStringLiteral("NURA Viewer"));
    m_window->setStyleSheet(styleSheet());
    m_window->installEventFilter(this);
    m_view = std::make_unique<ORBMainWindowView>(m_window);
    auto& v = *m_view;

    // The main picture fills the video box; the sub picture the sub-video box.
    m_video1View = new VideoView(v.videoContainerView);
    m_video1View->setFillScreen(true);
    fillWith(v.videoContainerView, m_video1View);
    auto player1 = m_services.makePlayer(m_video1View);

    m_video2View = new VideoView(v.subVideoBox);
    m_video2View->setFillScreen(true);
    static_cast<QGridLayout*>(v.subVideoBox->layout())->addWidget(m_video2View, 0, 0);
    v.player2Logo->raise();
    auto player2 = m_services.makePlayer(m_video2View);
    m_recording =
        std::make_unique<ORBRecordingPlayer>(std::move(player1), std::move(player2), *m_services.scheduler);
    // The next recording of a drive is prepared on these, so that a join shows no black picture.
    m_recording->setSparePlayers(m_services.makePlayer(nullptr), m_services.makePlayer(nullptr));

    m_playInfo = new ORBPlayInfo(this);
    m_mediaList = std::make_unique<ORBMediaList>();
    m_tripExport = std::make_unique<ORBTripExportController>(m_services.tripExport, m_window);
    m_repair = std::make_unique<ORBRepairController>(ORBRepairServices::real(), m_window);
    m_playback = std::make_unique<ORBPlaybackController>(
        *m_recording, *m_mediaList, *m_playInfo, *m_services.scheduler,
        m_services.readTelemetry ? m_services.readTelemetry : backgroundTelemetryReader());
    m_readAhead = new ORBDriveReadAhead(*m_playback, ORBDriveReadAhead::backgroundRunner(),
                                        ORBDriveReadAhead::readFile, this);
    m_snapshots = std::make_unique<ORBSnapshotController>(*m_recording, m_window, m_services.snapshots);
    m_mapSide = std::make_unique<ORBMapSideView>(m_services.mapTiles, v.mapContainerTopView);
    m_presenter = new ORBTelemetryPresenter(
        {v.gsensorXField, v.gsensorYField, v.gsensorZField, v.speedField, v.hdopField, v.sateliteField},
        v.graphView, m_mapSide.get(), this);

    setLogos(false);

    initMediaListTableView();
    setupInitialValues();
}

void ORBAppDelegate::launch() {
    awakeFromNib();
    applicationDidFinishLaunching();
    m_window->show();
}

void ORBAppDelegate::setupInitialValues() {
    auto& v = *m_view;
    m_mediaList->setDelegate(this);
    connect(m_recording.get(), &ORBRecordingPlayer::playersReported, this, &ORBAppDelegate::playersReported);

    // The position sliders follow the playback position and set it when moved.
    for (QSlider* slider : {v.videoPositionSlider, v.videoPositionSliderForFullScreen}) {
        // A click on the track moves a twentieth of the recording, not a ten-thousandth.
        slider->setPageStep(slider->maximum() / 20);
        connect(m_playInfo, &ORBPlayInfo::positionChanged, slider, [slider](double position) {
            if (slider->isSliderDown()) {
                return;
            }
            const QSignalBlocker block(slider);
            slider->setValue(static_cast<int>(std::min(1.0, std::max(0.0, position)) * slider->maximum()));
        });
        // Only a user's move reaches here: the position's own updates are blocked above.
        connect(slider, &QSlider::valueChanged, this, [this, slider](int value) {
            m_playback->videoPositionSliderMoved(static_cast<double>(value) / slider->maximum());
        });
        // While held the slider is the user's; the release lands exactly where it was let go.
        connect(slider, &QSlider::sliderPressed, this, [this] { m_playback->setSliderHeld(true); });
        connect(slider, &QSlider::sliderReleased, this, [this, slider] {
            m_playback->setSliderHeld(false);
            m_playback->videoPositionSliderMoved(static_cast<double>(slider->value()) / slider->maximum());
        });
    }
    connect(m_playInfo, &ORBPlayInfo::speedChanged, this, [&v](double speed) {
        v.speedTextButton->setText(QString::number(speed) + QLatin1Char('x')); // "0.25x", "1x", "8x"
        v.speedTextButton->setToolTip(speed > ORBPlaybackController::kMaxSpeedWithSound
                                          ? L("main.speed_silent_tip_fmt").arg(QString::number(speed))
                                          : L("main.speed_tip"));
    });
    connect(m_playInfo, &ORBPlayInfo::scaleChanged, this,
            [&v](double scale) { v.sizeTextButton->setText(QString::asprintf("%.2fx", scale)); });
    connect(m_playInfo, &ORBPlayInfo::isPlayingChanged, this, [&v](bool playing) {
        v.playButton->setImageName(playing ? QStringLiteral("icon_pause_n") : QStringLiteral("icon_play_n"));
    });
    connect(m_window, &CustomWindow::isFullScreenChanged, this, [this] { layoutWindow(); });

    connect(v.recordButton, &QAbstractButton::clicked, this, &ORBAppDelegate::clickMediaListViewButton);
    connect(v.informationButton, &QAbstractButton::clicked, this, &ORBAppDelegate::clickMapViewButton);
    connect(v.drivesButton, &QAbstractButton::clicked, this, &ORBAppDelegate::clickDrivesViewButton);
    connect(v.openButton, &QToolButton::clicked, this, &ORBAppDelegate::openMediaDirectoryDialog);
    connect(v.settingsButton, &QToolButton::clicked, this, &ORBAppDelegate::showSettingPanel);
    connect(v.timeSetupButton, &QToolButton::clicked, this, &ORBAppDelegate::showTimeSetupPanel);
    connect(v.closeButton, &QToolButton::clicked, this, &ORBAppDelegate::closeWindow);
    connect(v.fullScreenButton, &QToolButton::clicked, this, &ORBAppDelegate::toggleFullScreen);
    connect(v.captureButton, &QToolButton::clicked, this, &ORBAppDelegate::captureVideo);
    connect(v.printButton, &QToolButton::clicked, this, &ORBAppDelegate::print);
    connect(m_snapshots.get(), &ORBSnapshotController::statusMessage, v.statusLabel, &QLabel::setText);
    // A long message is cut at the window's edge rather than widening the window.
    v.statusLabel->setSizePolicy(QSizePolicy::Ignored, v.statusLabel->sizePolicy().verticalPolicy());
    wirePlayback();
    wireMediaKeys();
    m_viewingTools = new ORBViewingTools(*this);
    m_viewingTools->markers().setReadAhead(m_readAhead);
    installShortcuts();

    rightViewMode = 0;
    updateSideViewButton();
    v.volumeSlider->setValue(m_playback->volume());
    m_playInfo->setIsPlaying(false);
    m_playInfo->setSpeed(1.0);
    m_video1View->hide();
    m_video2View->hide();
    layoutWindow();
}

void ORBAppDelegate::installShortcuts() {
    auto add = [this](const QKeySequence& keys, auto slot) {
        auto* s = new QShortcut(keys, m_window);
        s->setContext(Qt::WindowShortcut);
        connect(s, &QShortcut::activated, this, slot);
    };
    add(QKeySequence::Open, &ORBAppDelegate::openMediaDirectoryDialog);
    add(QKeySequence(Qt::CTRL | Qt::Key_Comma), &ORBAppDelegate::showSettingPanel);
    add(QKeySequence(Qt::CTRL | Qt::Key_T), &ORBAppDelegate::showTimeSetupPanel);
    add(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F), &ORBAppDelegate::showFormatPanel);
    add(QKeySequence(Qt::CTRL | Qt::Key_W), &ORBAppDelegate::closeWindow);
    add(QKeySequence(Qt::CTRL | Qt::Key_Q), &ORBAppDelegate::closeWindow);
    add(QKeySequence(Qt::CTRL | Qt::Key_1), &ORBAppDelegate::clickMediaListViewButton);
    add(QKeySequence(Qt::CTRL | Qt::Key_2), &ORBAppDelegate::clickMapViewButton);
    add(QKeySequence(Qt::CTRL | Qt::Key_3), &ORBAppDelegate::clickDrivesViewButton);
    add(QKeySequence(Qt::CTRL | Qt::Key_S), &ORBAppDelegate::captureVideo);
    add(QKeySequence(Qt::CTRL | Qt::Key_P), &ORBAppDelegate::print);
    connect(m_tripExport->addAction(m_view->mediaListTableView), &QAction::triggered, this,
            &ORBAppDelegate::exportTrip);
    connect(m_viewingTools->clips().addAction(m_view->mediaListTableView), &QAction::triggered, this, [this] {
        const auto row = m_view->mediaListTableView->currentIndex();
        const auto media =
            row.isValid() ? m_mediaList->mediaAtIndex(static_cast<size_t>(row.row())) : nullptr;
        m_viewingTools->exportClip(media ? nura::pathText(media->path) : QString());
    });
    connect(m_repair->addAction(m_view->mediaListTableView), &QAction::triggered, this, [this] {
        const auto row = m_view->mediaListTableView->currentIndex();
        if (row.isValid()) {
            m_repair->repairRecording(*m_mediaList, static_cast<size_t>(row.row()));
        }
    });
    // The list is scanned again, so that the repaired recording takes the cut one's place.
    connect(m_repair.get(), &ORBRepairController::repairFinished, this, [this](const QStringList& written) {
        m_repair->forget();
        m_cutShort.clear();
        if (!written.isEmpty()) {
            m_mediaList->setDirectoryPath(m_mediaList->directoryPath());
        }
    });

    // Playback keys work wherever the focus is; Up and Down stay the list's.
    auto* c = m_playback.get();
    auto play = [this, c](const QKeySequence& keys, auto slot) {
        auto* s = new QShortcut(keys, m_window);
        s->setContext(Qt::WindowShortcut);
        connect(s, &QShortcut::activated, c, slot);
    };
    play(QKeySequence(Qt::Key_Space), &ORBPlaybackController::clickPlayButton);
    play(QKeySequence(Qt::Key_Right), &ORBPlaybackController::jumpForward);
    play(QKeySequence(Qt::Key_Left), &ORBPlaybackController::jumpBackward);
    play(QKeySequence(Qt::Key_BracketRight), &ORBPlaybackController::increaseSpeed);
    play(QKeySequence(Qt::Key_BracketLeft), &ORBPlaybackController::decreaseSpeed);
    play(QKeySequence(Qt::CTRL | Qt::Key_Up), &ORBPlaybackController::volumeUp);
    play(QKeySequence(Qt::CTRL | Qt::Key_Down), &ORBPlaybackController::volumeDown);
    play(QKeySequence(Qt::Key_S), &ORBPlaybackController::swapPlayer);
    play(QKeySequence(Qt::Key_A), &ORBPlaybackController::toggleAudioSide);
    add(QKeySequence(Qt::Key_D), &ORBAppDelegate::toggleDriveMode);
    for (const auto key : {Qt::Key_Plus, Qt::Key_Equal}) {
        add(QKeySequence(key), &ORBAppDelegate::sizeUp);
    }
    add(QKeySequence(Qt::Key_Minus), &ORBAppDelegate::sizeDown);
    add(QKeySequence(Qt::Key_F), &ORBAppDelegate::toggleFullScreen);
    for (const auto key : {Qt::Key_Return, Qt::Key_Enter}) {
        add(QKeySequence(key), &ORBAppDelegate::changeAndPlay);
    }
    m_viewingTools->installShortcuts(m_window);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), m_window);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, m_window, &CustomWindow::leaveFullscreen);
}

void ORBAppDelegate::applicationDidFinishLaunching() {
    // The interface is English: record the preferred languages, then pin the application's own.
    QSettings settings;
    for (const QString& language : settings.value(QStringLiteral("AppleLanguages")).toStringList()) {
        nura::logf("SUPPORT_LANGUAGE=%s", language.toUtf8().constData());
    }
    settings.setValue(QStringLiteral("AppleLanguages"), QStringList{QStringLiteral("en")});

    m_window->setGeometry(minWindowFrame());
    m_window->setInitialFrame(m_window->geometry());
    connect(m_view->mediaListTableView, &QTableView::doubleClicked, this, &ORBAppDelegate::changeAndPlay);
}

QRect ORBAppDelegate::minWindowFrame() const {
    const QScreen* screen =
        m_window && m_window->screen() ? m_window->screen() : QGuiApplication::primaryScreen();
    const QRect visible = screen ? screen->availableGeometry() : QRect(0, 0, 1020, 640);
    const QSize size = minWindowSize();
    return QRect(visible.topLeft() +
                     QPoint((visible.width() - size.width()) / 2, (visible.height() - size.height()) / 2),
                 size);
}

void ORBAppDelegate::layoutWindow() {
    m_view->layoutWindow(m_window->isFullScreen(), rightViewMode);
}

void ORBAppDelegate::layoutMapContainer() {
    m_view->layoutMapContainer(rightViewMode);
}

void ORBAppDelegate::showSettingPanel() {
    auto* controller = new nura::ORBSettingController(m_services.settingServices(), m_window);
    m_lastDialogController = controller;
    controller->open();
}

void ORBAppDelegate::showTimeSetupPanel() {
    auto* panel = new ORBTimeSetupController(
        m_services.cardTools ? m_services.cardTools() : CardToolServices{}, m_window);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    m_lastDialogController = panel;
    panel->show();
}

void ORBAppDelegate::showFormatPanel() {
    m_lastDialogController = ORBFormatWindowController::showOne(
        m_services.cardTools ? m_services.cardTools() : CardToolServices{}, m_window);
}

void ORBAppDelegate::exportTrip() {
    const auto row = m_view->mediaListTableView->currentIndex();
    m_tripExport->exportTrip(row.isValid() ? m_mediaList->mediaAtIndex(static_cast<size_t>(row.row()))
                                           : nullptr,
                             m_mediaList->medias(), m_mediaList->mediaPairDic());
}

void ORBAppDelegate::changeAndPlay() {
    const auto selected = m_view->mediaListTableView->currentIndex();
    if (selected.isValid()) {
        m_playback->changeAndPlay(selected.row());
    }
}

void ORBAppDelegate::updateVideoViewVisibility() {
    const std::pair<MediaPlayer*, VideoView*> sides[] = {{&m_recording->main(), m_video1View},
                                                         {&m_recording->sub(), m_video2View}};
    for (const auto& [player, view] : sides) {
        const bool playing = player->hasMedia() && player->isPlaying();
        view->setHidden(!playing && !player->isHalted() && view->placeholder().isEmpty());
    }
    // Over a picture the logo moves to the corner; the frame shows it in the middle otherwise.
    m_view->player1Logo->setHidden(m_video1View->isHidden());
    m_view->player2Logo->setHidden(m_video2View->isHidden());
}

void ORBAppDelegate::playersReported() {
    updateVideoViewVisibility();
    // The picture's size is known only once the first frames are out.
    if (m_playInfo->scale() == 0) {
        updatePlayInfoScale();
    }
}

void ORBAppDelegate::closeWindow() {
    m_window->close();
}

bool ORBAppDelegate::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_window && event->type() == QEvent::Close) {
        windowWillClose();
    } else if (m_view && watched == m_view->videoContainerView && event->type() == QEvent::Resize &&
               m_recording) {
        // The picture's box, not the window: it is laid out after the window has changed size.
        updatePlayInfoScale();
    } else if (m_view && watched == m_view->headBox && event->type() == QEvent::Resize) {
        m_view->centreProgressIndicator();
    }
    return QObject::eventFilter(watched, event);
}

void ORBAppDelegate::windowWillClose() {
    stopPlay();
}

void ORBAppDelegate::stopPlay() {
    if (m_playback) {
        m_playback->stopPlay();
    }
}

void ORBAppDelegate::applicationWillTerminate() {
    if (m_terminating) {
        return;
    }
    m_terminating = true;
    if (m_mediaList) {
        // A scan may be waiting for the UI thread to take its result: let it through, then end.
        m_mediaList->cancelScan();
        while (m_mediaList->isScanning()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
    }
    stopPlay();
    m_mpris.reset();
    m_mprisBridge.reset();
    m_snapshots.reset();
    m_playback.reset();
    m_recording.reset();
}
