#include "ui/app/ORBAppDelegate.h"

#include "core/log.h"
#include "platform/ProcessCommandRunner.h"
#include "platform/Scheduler.h"
#include "platform/VideoView.h"
#include "platform/VolumeService.h"
#include "ui/app/CustomWindow.h"
#include "ui/app/ORBMainWindowView.h"
#include "ui/app/ORBPlayInfo.h"
#include "ui/app/ORBRecordingsModel.h"
#include "ui/app/Resources.h"
#include "ui/card/ORBFormatWindowController.h"
#include "ui/card/ORBTimeSetupController.h"
#include "ui/strings/InfoPlist.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QShortcut>
#include <QSlider>
#include <QTableView>
#include <QThread>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QPixmap image(const char* name) {
    return QPixmap(QStringLiteral(":/images/%1.png").arg(QLatin1String(name)));
}

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

ORBAppServices ORBAppServices::real() {
    static QtScheduler scheduler;
    ORBAppServices s;
    s.makePlayer = [](VideoView* view) { return createMediaPlayer(view); };
    s.scheduler = &scheduler;
    s.chooseDirectory = [](QWidget* parent) {
        return QFileDialog::getExistingDirectory(parent, L("main.open_folder"), QString(),
                                                 QFileDialog::ShowDirsOnly);
    };
    s.cardTools = &CardToolServices::real;
    static const std::unique_ptr<nura::VolumeService> volumes = nura::createVolumeService();
    static nura::ProcessCommandRunner commands;
    s.volumeService = volumes.get();
    s.commandRunner = &commands;
    s.runInBackground = nura::threadPoolExecutor();
    s.chooseSavePath = nura::saveSettingsPanel;
    return s;
}

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
    m_player1 = m_services.makePlayer(m_video1View);

    m_video2View = new VideoView(v.subVideoBox);
    m_video2View->setFillScreen(true);
    static_cast<QGridLayout*>(v.subVideoBox->layout())->addWidget(m_video2View, 0, 0);
    v.player2Logo->raise();
    m_player2 = m_services.makePlayer(m_video2View);

    m_playInfo = new ORBPlayInfo(this);
    m_mediaList = std::make_unique<ORBMediaList>();

    v.player1Logo->setPixmap(image("v1_front_logo"));
    v.player2Logo->setPixmap(image("v2_rear_logo"));

    initMediaListTableView();
    setupInitialValues();
}

void ORBAppDelegate::initMediaListTableView() {
    m_columnNames = {L("filelist.mode"), L("filelist.date"), L("filelist.time"), L("filelist.file")};
    m_recordingsModel = new ORBRecordingsModel(*m_mediaList, this);
    m_recordingsModel->setColumnNames(m_columnNames);
    auto* table = m_view->mediaListTableView;
    table->setModel(m_recordingsModel);
    auto* header = table->horizontalHeader();
    header->setSectionResizeMode(ORBRecordingsModel::SaveMode, QHeaderView::Fixed);
    header->setSectionResizeMode(ORBRecordingsModel::File, QHeaderView::Stretch);
    table->setTextElideMode(Qt::ElideMiddle);
    table->setColumnWidth(ORBRecordingsModel::SaveMode, 92);
    table->setColumnWidth(ORBRecordingsModel::Date, 72);
    table->setColumnWidth(ORBRecordingsModel::Time, 58);
}

void ORBAppDelegate::setupInitialValues() {
    auto& v = *m_view;
    m_mediaList->setDelegate(this);
    for (MediaPlayer* player : {m_player1.get(), m_player2.get()}) {
        connect(player, &MediaPlayer::stateChanged, this, &ORBAppDelegate::mediaPlayerStateChanged);
        connect(player, &MediaPlayer::timeChanged, this, &ORBAppDelegate::mediaPlayerTimeChanged);
    }

    // The position sliders follow the playback position and set it when moved.
    for (QSlider* slider : {v.videoPositionSlider, v.videoPositionSliderForFullScreen}) {
        connect(m_playInfo, &ORBPlayInfo::positionChanged, slider, [slider](double position) {
            const QSignalBlocker block(slider);
            slider->setValue(static_cast<int>(std::min(1.0, std::max(0.0, position)) * slider->maximum()));
        });
        connect(slider, &QSlider::valueChanged, m_playInfo, [this, slider](int value) {
            m_playInfo->setPosition(static_cast<double>(value) / slider->maximum());
        });
    }
    connect(m_playInfo, &ORBPlayInfo::speedChanged, this,
            [&v](double speed) { v.speedTextButton->setText(QString::asprintf("%.1fx", speed)); });
    connect(m_playInfo, &ORBPlayInfo::scaleChanged, this,
            [&v](double scale) { v.sizeTextButton->setText(QString::asprintf("%.2fx", scale)); });
    connect(m_playInfo, &ORBPlayInfo::isPlayingChanged, this, [&v](bool playing) {
        v.playButton->setIcon(
            QIcon(QStringLiteral(":/images/%1.png")
                      .arg(playing ? QLatin1String("icon_pause_n") : QLatin1String("icon_play_n"))));
    });
    connect(m_window, &CustomWindow::isFullScreenChanged, this, [this] { layoutWindow(); });

    connect(v.recordButton, &QToolButton::clicked, this, &ORBAppDelegate::clickMediaListViewButton);
    connect(v.informationButton, &QToolButton::clicked, this, &ORBAppDelegate::clickMapViewButton);
    connect(v.openButton, &QToolButton::clicked, this, &ORBAppDelegate::openMediaDirectoryDialog);
    connect(v.settingsButton, &QToolButton::clicked, this, &ORBAppDelegate::showSettingPanel);
    connect(v.timeSetupButton, &QToolButton::clicked, this, &ORBAppDelegate::showTimeSetupPanel);
    connect(v.closeButton, &QToolButton::clicked, this, &ORBAppDelegate::closeWindow);
    connect(v.fullScreenButton, &QToolButton::clicked, this,
            [this] { m_window->isFullScreen() ? m_window->leaveFullscreen() : m_window->enterFullscreen(); });
    installShortcuts();

    rightViewMode = 0;
    updateSideViewButton();
    volume = 70;
    v.volumeSlider->setValue(static_cast<int>(volume));
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
    mediaIndex = -1;
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

void ORBAppDelegate::openMediaDirectoryDialog() {
    const QString path = m_services.chooseDirectory ? m_services.chooseDirectory(m_window) : QString();
    if (!path.isEmpty()) {
        openMediaDirectory(path);
    }
}

void ORBAppDelegate::openMediaDirectory(const QString& path) {
    // The players keep their media: only the list changes until the next playback.
    m_player1->stop();
    m_player2->stop();
    m_scanning = true;
    updateStatus();
    m_mediaList->setDirectoryPath(QFile::encodeName(path).toStdString());
}

void ORBAppDelegate::mediaListChanged(ORBMediaList&) {
    if (QThread::currentThread() == thread()) {
        reloadMediaList();
        return;
    }
    // The scan waits here until the table shows the new list; the UI thread never waits for the
    // scan while it holds the list, so this cannot deadlock.
    QMetaObject::invokeMethod(this, &ORBAppDelegate::reloadMediaList, Qt::BlockingQueuedConnection);
}

void ORBAppDelegate::reloadMediaList() {
    if (m_terminating) {
        return;
    }
    rightViewMode = 0;
    updateSideViewButton();
    m_recordingsModel->reload();
    m_scanning = false;
    updateStatus();
    emit mediaListReloaded();
}

void ORBAppDelegate::updateStatus() {
    auto* label = m_view->statusLabel;
    const QString folder = QString::fromStdString(m_mediaList->directoryPath());
    if (m_scanning) {
        label->setText(L("main.scanning"));
    } else if (folder.isEmpty()) {
        label->setText(L("main.no_folder"));
    } else if (m_mediaList->count() == 0) {
        label->setText(L("main.no_recordings") + QStringLiteral("  ") + folder);
    } else {
        label->setText(InfoPlist::localizedCount("main.count_fmt", static_cast<int>(m_mediaList->count())) +
                       QStringLiteral("  ") + folder);
    }
    label->setToolTip(folder);
}

void ORBAppDelegate::clickMediaListViewButton() {
    if (rightViewMode != 0) {
        rightViewMode = 0;
        updateSideViewButton();
    }
}

void ORBAppDelegate::clickMapViewButton() {
    if (rightViewMode != 1) {
        rightViewMode = 1;
        updateSideViewButton();
    }
}

void ORBAppDelegate::updateSideViewButton() {
    auto& v = *m_view;
    const bool list = rightViewMode == 0;
    v.recordButton->setIcon(QIcon(image(list ? "record_p" : "record_n")));
    v.informationButton->setIcon(QIcon(image(list ? "information_n" : "information_p")));
    v.mapContainerView->setVisible(!list);
    v.mediaListTableView->setVisible(list);
    layoutMapContainer();
}

void ORBAppDelegate::showSettingPanel() {
    nura::ORBSettingServices services;
    services.volumes = m_services.volumeService;
    services.commands = m_services.commandRunner;
    services.runInBackground = m_services.runInBackground;
    services.scheduler = m_services.scheduler;
    services.chooseSavePath = m_services.chooseSavePath;
    services.documentsDirectory = nura::documentsDirectory();
    auto* controller = new nura::ORBSettingController(std::move(services), m_window);
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
    auto* panel = new ORBFormatWindowController(
        m_services.cardTools ? m_services.cardTools() : CardToolServices{}, m_window);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    m_lastDialogController = panel;
    panel->show();
}

void ORBAppDelegate::changeAndPlay() {
    const auto selected = m_view->mediaListTableView->currentIndex();
    nura::logf("selectedRow=%ld,mediaIndex=%ld,isPlaying=%d,count=%ld", static_cast<long>(selected.row()),
               static_cast<long>(mediaIndex), m_player1->isPlaying() ? 1 : 0,
               static_cast<long>(m_mediaList->count()));
}

void ORBAppDelegate::updateVideoViewVisibility() {
    const std::pair<MediaPlayer*, VideoView*> sides[] = {{m_player1.get(), m_video1View},
                                                         {m_player2.get(), m_video2View}};
    for (const auto& [player, view] : sides) {
        const bool playing = player->hasMedia() && player->isPlaying();
        view->setHidden(!playing && player->state() != MediaPlayer::Halted);
    }
}

void ORBAppDelegate::mediaPlayerStateChanged(MediaPlayer*) {
    updateVideoViewVisibility();
}

void ORBAppDelegate::mediaPlayerTimeChanged(MediaPlayer*) {
    updateVideoViewVisibility();
}

void ORBAppDelegate::closeWindow() {
    m_window->close();
}

bool ORBAppDelegate::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_window && event->type() == QEvent::Close) {
        windowWillClose();
    }
    return QObject::eventFilter(watched, event);
}

void ORBAppDelegate::windowWillClose() {
    stopPlay();
}

void ORBAppDelegate::stopPlay() {
    for (MediaPlayer* p : {m_player1.get(), m_player2.get()}) {
        if (p) {
            p->pause();
            p->setMedia(QString());
        }
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
    m_player1.reset();
    m_player2.reset();
}
