// SPDX-License-Identifier: GPL-3.0-or-later
// ORBAppDelegate's wiring of playback to the window: the controller's signals to the widgets, the
// desktop's media keys, opening a recording from outside, the swap's animation and the window's
// scale steps.

#include "ui/app/ORBAppDelegate.h"

#include "core/log.h"
#include "platform/MprisService.h"
#include "platform/ProcessCommandRunner.h"
#include "platform/Scheduler.h"
#include "platform/VideoView.h"
#include "platform/VolumeService.h"
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
#include "ui/views/TKSliderMarks.h"
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QSlider>
#include <QTableView>
#include <QThread>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

void ORBAppDelegate::wirePlayback() {
    auto& v = *m_view;
    auto* c = m_playback.get();
    // The telemetry follows the main picture's time over the telemetry file's own length, whichever
    // view shows that file.
    connect(m_recording.get(), &ORBRecordingPlayer::positionChanged, m_presenter,
            &ORBTelemetryPresenter::showPosition);
    connect(c, &ORBPlaybackController::telemetryChanged, m_presenter, &ORBTelemetryPresenter::setTelemetry);
    connect(c, &ORBPlaybackController::seeked, m_presenter, &ORBTelemetryPresenter::seeked);
    // The drive's route grows on the map as the read-ahead brings its recordings.
    connect(m_readAhead, &ORBDriveReadAhead::changed, m_presenter,
            [this] { m_presenter->showRoute(m_readAhead->route()); });
    connect(c, &ORBPlaybackController::controlsReset, this, [this] {
        m_presenter->resetTexts();
        updateSideViewButton();
    });
    connect(c, &ORBPlaybackController::scaleStepRequested, this, &ORBAppDelegate::setVideoScaleIndex);
    connect(c, &ORBPlaybackController::recordingStarting, this,
            [this](int64_t row, bool mainIsRear, bool partner) {
                m_playInfo->setScale(0);
                showRecording(row, mainIsRear, partner);
            });
    // A join shows the next recording as a start does, without resetting the scale.
    connect(c, &ORBPlaybackController::joined, this, &ORBAppDelegate::showRecording);
    connect(c, &ORBPlaybackController::driveModeChanged, this, &ORBAppDelegate::showDriveMode);
    connect(m_playInfo, &ORBPlayInfo::positionChanged, this, [this] {
        if (m_playback->driveModeActive()) {
            m_view->driveTimeLabel->setText(m_playback->drivePlayback().timeText(m_playback->time()));
        }
    });
    connect(v.driveModeButton, &QToolButton::clicked, this, &ORBAppDelegate::toggleDriveMode);
    c->setDriveMode(QSettings().value(QLatin1String(kDriveModeKey), false).toBool());
    connect(c, &ORBPlaybackController::swapped, this, [this](bool mainIsRear) {
        setLogos(mainIsRear);
        animateSwap();
    });
    connect(c, &ORBPlaybackController::audioToggleChanged, this, [&v](bool visible, bool rear) {
        v.audioToggleButton->setVisible(visible);
        const QSignalBlocker block(v.audioToggleButton);
        v.audioToggleButton->setChecked(rear);
    });
    connect(c, &ORBPlaybackController::volumeChanged, this, [&v](int volume) {
        const QSignalBlocker block(v.volumeSlider);
        v.volumeSlider->setValue(volume);
    });
    connect(c, &ORBPlaybackController::loadingShown, this, [this] {
        m_view->progressIndicator->setValue(0); // also the start of its estimate
        m_view->centreProgressIndicator();
        m_view->progressIndicator->show();
    });
    connect(c, &ORBPlaybackController::loadingProgressChanged, m_view->progressIndicator,
            [this](double percent) { m_view->progressIndicator->setDoubleValue(percent); });
    v.headBox->installEventFilter(this);
    v.videoContainerView->installEventFilter(this);
    connect(c, &ORBPlaybackController::loadingHidden, m_view->progressIndicator, [this] {
        m_view->progressIndicator->setDoubleValue(m_view->progressIndicator->minimum());
        m_view->progressIndicator->hide();
    });
    connect(c, &ORBPlaybackController::statusMessage, m_view->statusLabel, &QLabel::setText);
    // A file that fails because it was cut short (a power loss) gets the offer to repair it instead.
    connect(c, &ORBPlaybackController::sideFailed, this, [this](int side) {
        const auto& item = m_playback->item();
        if (!item) {
            return;
        }
        const QString path = side == 1 ? item->rearPath() : item->frontPath();
        knownCutShort(path, [this, path](bool cut) {
            const auto& now = m_playback->item();
            if (cut && now && (now->frontPath() == path || now->rearPath() == path)) {
                m_view->statusLabel->setText(L("repair.play_failed"));
            }
        });
    });
    connect(v.playButton, &QAbstractButton::clicked, c, &ORBPlaybackController::clickPlayButton);
    connect(v.jumpForwardButton, &QToolButton::clicked, c, &ORBPlaybackController::jumpForward);
    connect(v.jumpBackwardButton, &QToolButton::clicked, c, &ORBPlaybackController::jumpBackward);
    connect(v.speedTextButton, &QPushButton::clicked, c,
            // A click steps faster, and from the fastest back to 1x.
            [this, c] {
                m_playInfo->speed() >= ORBPlaybackController::kMaxSpeed ? c->setSpeed(1.0)
                                                                        : c->increaseSpeed();
            });
    connect(v.audioToggleButton, &QToolButton::toggled, c, &ORBPlaybackController::toggleAudioChoice);
    connect(v.volumeSlider, &QSlider::valueChanged, c, &ORBPlaybackController::volumeSliderMoved);
}

void ORBAppDelegate::toggleDriveMode() {
    if (m_playback->toggleDriveMode()) {
        QSettings().setValue(QLatin1String(kDriveModeKey), m_playback->driveModeWanted());
    }
    showDriveMode(m_playback->driveModeActive());
}

void ORBAppDelegate::showDriveMode(bool active) {
    auto* button = m_view->driveModeButton;
    const QSignalBlocker block(button);
    button->setEnabled(m_playback->drivePlayback().canSwitch());
    button->setChecked(active);
    m_view->driveTimeLabel->setVisible(active);
    if (active) {
        m_view->driveTimeLabel->setText(m_playback->drivePlayback().timeText(m_playback->time()));
    }
    std::vector<TKMarker> joins;
    if (active && m_joinTicks.empty()) {
        // A layer of their own over the event markers' ticks, made when a drive first shows.
        for (QSlider* slider : {m_view->videoPositionSlider, m_view->videoPositionSliderForFullScreen}) {
            auto* ticks = new TKSliderMarks(slider);
            ticks->setObjectName(QStringLiteral("joinTicks"));
            ticks->show();
            m_joinTicks.push_back(ticks);
        }
    }
    if (active) {
        for (const double at : m_playback->drivePlayback().joinPositions()) {
            joins.push_back({at, L("main.drive_join_tip")});
        }
    }
    for (TKSliderMarks* ticks : m_joinTicks) {
        ticks->setMarkers(joins);
    }
}

void ORBAppDelegate::wireMediaKeys() {
    if (!m_services.makeMediaKeys) {
        return;
    }
    ORBMprisBridge::Actions actions;
    actions.openRecording = [this](const QString& path) { return openRecording(path); };
    actions.raise = [this] {
        m_window->show();
        m_window->raise();
        m_window->activateWindow();
    };
    actions.quit = [this] { m_window->close(); };
    m_mprisBridge = std::make_unique<ORBMprisBridge>(*m_playback, *m_playInfo, std::move(actions));
    m_mpris = m_services.makeMediaKeys(*m_mprisBridge);
    if (m_mpris) {
        m_mprisBridge->connectTo(*m_mpris);
    }
}

bool ORBAppDelegate::openRecording(const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile() || info.suffix().compare(QStringLiteral("mp4"), Qt::CaseInsensitive) != 0 ||
        !ORBMediaList::createMediaByPath(QFile::encodeName(info.fileName()).toStdString())) {
        return false;
    }
    const QString file = info.absoluteFilePath();
    if (const int64_t row = rowOfFile(file); row >= 0 && !m_scanning) {
        m_playback->playAtIndex(row);
        return true;
    }
    // Played as a double-click on its row would, once the scan has listed it.
    connect(
        this, &ORBAppDelegate::mediaListReloaded, this,
        [this, file] {
            if (const int64_t row = rowOfFile(file); row >= 0) {
                m_playback->playAtIndex(row);
            }
        },
        Qt::SingleShotConnection);
    openMediaDirectory(info.absolutePath());
    return true;
}

void ORBAppDelegate::animateSwap() {
    // The main picture grows in from the right edge, the sub picture from the sub box's bottom left.
    QWidget* container = m_view->videoContainerView;
    QWidget* sub = m_view->subVideoBox;
    const std::pair<QWidget*, std::pair<QRect, QRect>> moves[] = {
        {m_video1View, {QRect(container->width(), 0, 0, 0), container->rect()}},
        {m_video2View, {QRect(0, sub->height(), 0, 0), sub->rect()}}};
    for (const auto& [view, frames] : moves) {
        auto* animation = new QPropertyAnimation(view, "geometry", view);
        animation->setDuration(1500);
        animation->setEasingCurve(QEasingCurve::OutCubic);
        animation->setStartValue(frames.first);
        animation->setEndValue(frames.second);
        animation->start(QAbstractAnimation::DeleteWhenStopped);
    }
}

void ORBAppDelegate::setLogos(bool mainIsRear) {
    m_view->setLogos(mainIsRear);
}

void ORBAppDelegate::updatePlayInfoScale() {
    const MediaPlayer& main = m_recording->main();
    const QSize video = main.videoSize();
    if (!main.hasMedia() || !main.hasVideoOut() || video.height() <= 0) {
        return;
    }
    m_playInfo->setScale(static_cast<double>(m_view->videoContainerView->height()) / video.height());
}

// One step is a fifth of the minimum window; above the screen the window goes full screen.
ORBScaleStep ORBAppDelegate::scaleStep(const QRect& window, const QRect& screen, bool fullScreen, int step) {
    const int minWidth = minWindowSize().width(), minHeight = minWindowSize().height();
    const int width = window.width() + static_cast<int>(std::lround(minWidth * step * 0.2));
    const int height = window.height() + static_cast<int>(std::lround(minHeight * step * 0.2));
    ORBScaleStep result;
    if (step >= 1) {
        if (fullScreen) {
            return result;
        }
        if (width > screen.width() || height > screen.height() - 100) {
            result.action = ORBScaleStep::EnterFullscreen;
            return result;
        }
    } else if (fullScreen) {
        result.action = ORBScaleStep::LeaveFullscreen;
        return result;
    }
    result.action = ORBScaleStep::Resize;
    result.frame = (width < minWidth || height < minHeight)
                       ? QRect(window.topLeft(), QSize(minWidth, minHeight))
                       : QRect(window.topLeft(), QSize(width, height));
    return result;
}

void ORBAppDelegate::setVideoScaleIndex(int step) {
    const QScreen* screen = m_window->screen();
    const QRect area = screen ? screen->availableGeometry() : QRect(QPoint(0, 0), minWindowSize());
    const auto result = scaleStep(m_window->geometry(), area, m_window->isFullScreen(), step);
    switch (result.action) {
    case ORBScaleStep::Resize:
        m_window->setGeometry(result.frame);
        break;
    case ORBScaleStep::EnterFullscreen:
        m_window->enterFullscreen();
        break;
    case ORBScaleStep::LeaveFullscreen:
        m_window->leaveFullscreen();
        break;
    case ORBScaleStep::Nothing:
        break;
    }
}

void ORBAppDelegate::sizeUp() {
    if (ORBRecordingPlayer::isPlaying(m_recording->main())) {
        setVideoScaleIndex(1);
    }
}

void ORBAppDelegate::sizeDown() {
    if (ORBRecordingPlayer::isPlaying(m_recording->main())) {
        setVideoScaleIndex(-1);
    }
}

void ORBAppDelegate::toggleFullScreen() {
    m_window->isFullScreen() ? m_window->leaveFullscreen() : m_window->enterFullscreen();
}

void ORBAppDelegate::showRecording(int64_t row, bool mainIsRear, bool partner) {
    auto* table = m_view->mediaListTableView;
    const QSignalBlocker block(table);
    table->selectRow(static_cast<int>(row));
    m_view->setLogos(mainIsRear, partner);
    // Within a drive a part without the sub picture's camera keeps its place and says what is missing.
    const bool missing = !partner && m_playback->driveModeActive();
    m_video2View->setPlaceholder(missing ? L(mainIsRear ? "main.no_front_picture" : "main.no_rear_picture")
                                         : QString());
    m_video2View->setHidden(!partner && !missing);
    m_view->audioToggleButton->setHidden(!partner);
    updateStatus(); // a message about the recording before is old now
}
