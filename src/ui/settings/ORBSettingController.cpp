// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/settings/ORBSettingController.h"

#include "core/card/CameraCard.h"
#include "core/log.h"
#include "core/settings/FileDataRules.h"
#include "core/settings/SettingFile.h"
#include "core/settings/TimeZone.h"
#include "platform/CommandRunner.h"
#include "platform/Scheduler.h"
#include "platform/VolumeService.h"
#include "ui/card/ORBFormatWindowController.h"
#include "ui/settings/ChoiceControls.h"
#include "ui/settings/ORBSettingControllerDelegate.h"
#include "ui/settings/ORBSettingForAdasViewController.h"
#include "ui/settings/ORBSettingForAudioViewController.h"
#include "ui/settings/ORBSettingForAuxViewController.h"
#include "ui/settings/ORBSettingForBasicViewController.h"
#include "ui/settings/ORBSettingForGpsViewController.h"
#include "ui/settings/ORBSettingForMotionViewController.h"
#include "ui/settings/ORBSettingForVideoViewController.h"
#include "ui/settings/TKSegmentedControl.h"
#include "ui/strings/InfoPlist.h"
#include "ui/views/PMProgressIndicator.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStandardPaths>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include <QFile>

#include <cerrno>
#include <memory>
#include <sys/stat.h>

namespace nura {

namespace {

constexpr double kLoadingLimitSeconds = 15.0;
constexpr double kLoadingTick = 0.5;
constexpr qint64 kSettingFileSize = static_cast<qint64>(kFileDataSize);
constexpr const char* kDriveRecordFile = "DrvInfo/nura_000.drv";

const char* const kTabKeys[ORBSettingController::TabCount] = {
    "setting.video", "setting.basic", "setting.gps",   "setting.aux",
    "setting.park",  "setting.adas",  "setting.audio", "setting.driveinfoview"};

// A tab whose pane comes with a later version: it edits nothing and never blocks a switch.
QWidget* placeholderPane(const char* titleKey, QWidget* parent) {
    auto* pane = new QWidget(parent);
    pane->setWindowTitle(L(titleKey));
    auto* layout = new QVBoxLayout(pane);
    auto* text = new QLabel(L("setting.not_available"), pane);
    text->setAlignment(Qt::AlignCenter);
    layout->addWidget(text);
    return pane;
}

} // namespace

BackgroundExecutor threadPoolExecutor() {
    return [](QObject* context, std::function<void()> work, std::function<void()> done) {
        QPointer<QObject> guard(context);
        (void)QtConcurrent::run([guard, work = std::move(work), done = std::move(done)] {
            work();
            QMetaObject::invokeMethod(
                qApp,
                [guard, done] {
                    if (guard) {
                        done();
                    }
                },
                Qt::QueuedConnection);
        });
    };
}

QString saveSettingsPanel(QWidget* parent, const QString& directory) {
    QFileDialog panel(parent, QStringLiteral("Save Settings"), directory);
    panel.setAcceptMode(QFileDialog::AcceptSave);
    panel.setFileMode(QFileDialog::AnyFile);
    panel.setOption(QFileDialog::ShowDirsOnly, false);
    panel.setFilter(panel.filter() & ~QDir::Hidden);
    panel.selectFile(QString::fromLatin1(kSettingFileName));
    if (panel.exec() != QDialog::Accepted || panel.selectedFiles().isEmpty()) {
        return {};
    }
    return panel.selectedFiles().first();
}

QString documentsDirectory() {
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

struct ORBSettingController::Found {
    std::optional<std::string> path;
    std::optional<TKUSBDiskEntity> disk;
    bool searched = false; // false: no removable volume at all, nothing changes
    QString unreadable;    // why the file at `path` could not be read, empty when it was
    std::string bytes;     // the record as read
};

namespace {

// A file name's bytes for the user's eyes; the bytes themselves go to the file calls.
QString shown(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

QString whyUnread(ReadSettingResult result, const std::string& path) {
    struct stat st {};
    const bool there = ::stat(path.c_str(), &st) == 0;
    switch (result) {
    case ReadSettingResult::Ok:
        return {};
    case ReadSettingResult::CannotOpen:
        if (!there && errno == ENOENT) {
            return QStringLiteral("it does not exist");
        }
        return QStringLiteral("it cannot be opened");
    case ReadSettingResult::NotRegular:
        if (there && S_ISDIR(st.st_mode)) {
            return QStringLiteral("it is a folder, not a regular file");
        }
        if (there && S_ISFIFO(st.st_mode)) {
            return QStringLiteral("it is a FIFO, not a regular file");
        }
        return QStringLiteral("it is not a regular file");
    case ReadSettingResult::WrongSize:
        if (there && st.st_size != kSettingFileSize) {
            return QStringLiteral("it is %1 bytes, not a %2-byte settings record")
                .arg(static_cast<qint64>(st.st_size))
                .arg(kSettingFileSize);
        }
        return QStringLiteral("its size changed while it was read");
    case ReadSettingResult::ReadFailed:
        break;
    }
    return QStringLiteral("a read error");
}

} // namespace

ORBSettingController::ORBSettingController(ORBSettingServices services, QWidget* parent,
                                           std::optional<std::string> configFile)
    : QWidget(parent, Qt::Window), m_services(std::move(services)), m_configFile(std::move(configFile)) {
    setObjectName(QStringLiteral("ORBSettingController"));
    setAttribute(Qt::WA_DeleteOnClose);
    SetDefaultFileData(m_FileData);
    m_strVersion = QApplication::applicationVersion();

    auto* layout = new QVBoxLayout(this);
    QStringList labels;
    for (const char* key : kTabKeys) {
        labels << L(key);
    }
    m_tabs = makeSegments(labels, this);
    m_tabs->setObjectName(QStringLiteral("functionSegmentedControl"));
    connect(m_tabs, &TKSegmentedControl::activated, this, &ORBSettingController::changeViewController);
    layout->addWidget(m_tabs);

    m_targetView = new QWidget(this);
    m_targetView->setObjectName(QStringLiteral("targetView"));
    auto* targetLayout = new QVBoxLayout(m_targetView);
    targetLayout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_targetView, 1);

    auto* buttons = new QHBoxLayout;
    m_formatButton = new QPushButton(L("setting.sdcardformat"), this);
    m_formatButton->setEnabled(false);
    m_resetButton = new QPushButton(L("setting.initialize"), this);
    m_saveButton = new QPushButton(L("save"), this);
    m_saveButton->setDefault(true);
    m_saveButton->setShortcut(QKeySequence::Save);
    m_cancelButton = new QPushButton(L("cancel"), this);
    m_cancelButton->setShortcut(QKeySequence(Qt::Key_Escape));
    buttons->addWidget(m_formatButton);
    buttons->addStretch(1);
    buttons->addWidget(m_resetButton);
    buttons->addWidget(m_cancelButton);
    buttons->addWidget(m_saveButton);
    layout->addLayout(buttons);
    connect(m_formatButton, &QPushButton::clicked, this, &ORBSettingController::onFormat);
    connect(m_resetButton, &QPushButton::clicked, this, &ORBSettingController::onSaveDefaultSetting);
    connect(m_saveButton, &QPushButton::clicked, this, &ORBSettingController::onSave);
    connect(m_cancelButton, &QPushButton::clicked, this, &ORBSettingController::onCloseCmd);

    auto stepTab = [this](int step) {
        changeViewController((m_lastSelectedTabIndex + step + TabCount) % TabCount);
    };
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_PageDown), this), &QShortcut::activated, this,
            [stepTab] { stepTab(1); });
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_PageUp), this), &QShortcut::activated, this,
            [stepTab] { stepTab(-1); });

    m_progressPanel = new QDialog(this, Qt::Sheet);
    m_progressPanel->setWindowModality(Qt::WindowModal);
    auto* sheet = new QVBoxLayout(m_progressPanel);
    m_progressTitleField = new QLabel(m_progressPanel);
    m_progressIndicator = new PMProgressIndicator(m_progressPanel);
    m_progressIndicator->setRange(0, 100);
    m_progressIndicator->setMinimumWidth(280);
    m_progressTextField = new QLabel(m_progressPanel);
    m_progressTextField->setEnabled(false); // the secondary look
    m_progressIndicator->setProgressText(m_progressTextField);
    sheet->addWidget(m_progressTitleField);
    sheet->addWidget(m_progressIndicator);
    sheet->addWidget(m_progressTextField);

    // Room for the tallest pane, so that no tab resizes the window once it is centred.
    resize(780, 660);
    updateTitle();
    setEditable(false);
}

ORBSettingController::~ORBSettingController() = default;

std::optional<QString> ORBSettingController::settingFilePath() const {
    return m_SettingFilePath ? std::optional<QString>(shown(*m_SettingFilePath)) : std::nullopt;
}

void ORBSettingController::open() {
    const QScreen* screen = parentWidget() ? parentWidget()->screen() : QApplication::primaryScreen();
    // Shown first so that the frame the window system adds is known and the whole window is centred.
    show();
    if (screen) {
        const QRect visible = screen->availableGeometry();
        const QSize frame = frameGeometry().size();
        move(visible.topLeft() +
             QPoint((visible.width() - frame.width()) / 2, (visible.height() - frame.height()) / 2));
    }
    // onInitDIalog: defaults first, so a card without a readable record leaves the factory settings.
    SetDefaultFileData(m_FileData);
    loadSettingFile();
}

ORBSettingController::Found ORBSettingController::findUSBVolume(VolumeService* volumes) {
    Found found;
    if (!volumes || volumes->mountedUSBVolumeURLs().isEmpty()) {
        logf("no removable devices");
        return found;
    }
    found.searched = true;
    std::optional<TKUSBDiskEntity> disk = volumes->findCameraCardDisk();
    if (!disk) {
        return found;
    }
    const QFileInfo file(QString::fromStdString(pathInVolume(disk->mountedPath(), kSettingFileName)));
    if (!file.isFile() || file.size() != kSettingFileSize) {
        return found;
    }
    if (disk->volumeName() != kCameraVolumeName) {
        const QString error = volumes->renameVolume(*disk, QString::fromLatin1(kCameraVolumeName));
        if (!error.isEmpty()) {
            logf("error=%s", qPrintable(error));
        } else if (auto renamed = volumes->findCameraCardDisk()) {
            disk = renamed;
        }
    }
    found.path = pathInVolume(disk->mountedPath(), kSettingFileName);
    found.disk = disk;
    return found;
}

void ORBSettingController::loadSettingFile() {
    m_loading = true;
    setEditable(false);
    showLoading(QStringLiteral("Loading..."));
    // The card search can wait on the disk service and the read on the card: both run off the UI thread,
    // into a record of their own that is handed over when done, so the window's record is never touched
    // while they run.
    auto found = std::make_shared<Found>();
    auto read = std::make_shared<std::optional<_FILEDATA>>();
    auto* volumes = m_services.volumes;
    const std::optional<std::string> configFile = m_configFile;
    auto work = [found, read, volumes, configFile] {
        if (configFile) {
            // The file given is read whatever it is, so that one that cannot be read is said.
            found->searched = true;
            found->path = *configFile;
        } else {
            *found = findUSBVolume(volumes);
        }
        if (found->path) {
            _FILEDATA record{};
            const ReadSettingResult result = ReadSettingFile(*found->path, record);
            if (result == ReadSettingResult::Ok) {
                *read = record;
                found->bytes.assign(reinterpret_cast<const char*>(&record), sizeof record);
            } else {
                found->unreadable = whyUnread(result, *found->path);
            }
        }
    };
    auto done = [this, found, read] { finishLoading(*found, *read ? &**read : nullptr); };
    if (m_services.runInBackground) {
        m_services.runInBackground(this, std::move(work), std::move(done));
    } else {
        work();
        done();
    }
}

void ORBSettingController::finishLoading(const Found& found, const _FILEDATA* read) {
    if (found.searched) {
        // A file that could not be read does not lend its name to the defaults shown instead.
        m_SettingFilePath = found.unreadable.isEmpty() ? found.path : std::nullopt;
        m_unreadPath = found.unreadable.isEmpty() ? std::nullopt : found.path;
        m_selectedUSBDisk = found.disk;
        m_readBytes = found.bytes;
        m_readSerial = found.disk ? found.disk->uuid() : std::string();
    }
    if (read) {
        m_FileData = *read;
    }
    if (!m_SettingFilePath) {
        m_FileData.time_gmt = FindLocalTimeZoneIndex();
    }
    updateTitle();
    hideLoading();
    m_loading = false;
    setEditable(true);
    changeViewController(Video);
    if (m_unreadPath) {
        logf("cannot read %s: %s", m_unreadPath->c_str(), qPrintable(found.unreadable));
        ShowAlertSheet(this, QStringLiteral("Warn"),
                       L("msg.config_unreadable_fmt").arg(shown(*m_unreadPath), found.unreadable));
    }
    emit loaded();
}

void ORBSettingController::updateTitle() {
    QString title = QStringLiteral("%1[Ver %2]").arg(L("setting.window_title"), m_strVersion);
    if (m_SettingFilePath) {
        title += QStringLiteral(" : ") + shown(*m_SettingFilePath);
    }
    setWindowTitle(title);
}

void ORBSettingController::setEditable(bool editable) {
    m_tabs->setEnabled(editable);
    // Not while the card is being read: the format unmounts and erases it.
    m_formatButton->setEnabled(editable && m_services.cardTools);
    m_resetButton->setEnabled(editable);
    m_saveButton->setEnabled(editable);
    m_targetView->setEnabled(editable);
}

QWidget* ORBSettingController::createPane(int index) {
    switch (index) {
    case Video:
        return new ORBSettingForVideoViewController(m_targetView);
    case Basic:
        return new ORBSettingForBasicViewController(m_targetView);
    case Park:
        return new ORBSettingForMotionViewController(m_targetView);
    case Audio:
        return new ORBSettingForAudioViewController(m_targetView);
    case Gps:
        return new ORBSettingForGpsViewController(m_targetView);
    case Aux:
        return new ORBSettingForAuxViewController(m_targetView);
    case Adas:
        return new ORBSettingForAdasViewController(m_targetView);
    case Info:
        return createDriveInfoController();
    default:
        // Every tab has its pane; an index outside them (never given) shows an empty one.
        return placeholderPane("setting.not_available", m_targetView);
    }
}

void ORBSettingController::changeViewController(int index) {
    if (index < 0 || index >= TabCount || index == m_lastSelectedTabIndex || m_loading) {
        m_tabs->setSelectedSegment(m_lastSelectedTabIndex);
        return;
    }
    if (m_targetDelegate) {
        const QString message = m_targetDelegate->validateUserInput();
        if (!message.isEmpty()) {
            m_tabs->setSelectedSegment(m_lastSelectedTabIndex);
            ShowAlertSheet(this, QStringLiteral("NURA"), message);
            return;
        }
        if (!m_targetDelegate->populate()) {
            m_tabs->setSelectedSegment(m_lastSelectedTabIndex);
            return;
        }
        m_targetDelegate->onHide();
    }
    if (m_targetController) {
        m_targetController->hide();
        // The drive-record viewer keeps its records for the next visit to its tab.
        if (m_targetController != m_driveInfoController) {
            m_targetController->deleteLater();
        }
    }
    QWidget* pane = createPane(index);
    m_targetController = pane;
    m_targetDelegate = dynamic_cast<ORBSettingControllerDelegate*>(pane);
    if (m_targetView->layout()->indexOf(pane) < 0) {
        m_targetView->layout()->addWidget(pane);
    }
    pane->show();
    if (m_targetDelegate) {
        m_targetDelegate->setFileData(&m_FileData);
        m_targetDelegate->setMainController(this);
    }
    m_lastSelectedTabIndex = index;
    m_tabs->setSelectedSegment(index);
}

ORBSettingForFlashDataViewController* ORBSettingController::createDriveInfoController() {
    if (m_driveInfoController) {
        return m_driveInfoController;
    }
    auto* viewer = new ORBSettingForFlashDataViewController(
        m_services.flashData ? m_services.flashData() : ORBFlashDataServices{}, m_targetView);
    viewer->setWindowTitle(L("setting.information"));
    if (m_selectedUSBDisk) {
        const QString path =
            QString::fromStdString(pathInVolume(m_selectedUSBDisk->mountedPath(), kDriveRecordFile));
        if (QFileInfo(path).isFile()) {
            viewer->setFlashDataFilePath(path);
        } else {
            viewer->statusLabel->setText(
                QStringLiteral("The card holds no drive records (%1).").arg(QLatin1String(kDriveRecordFile)));
        }
    } else {
        viewer->statusLabel->setText(
            QStringLiteral("No camera card found. Open a .drv file to see its records."));
    }
    m_driveInfoController = viewer;
    return viewer;
}

void ORBSettingController::onFormat() {
    if (!m_services.cardTools) {
        return;
    }
    // The settings window must stay open while a format runs: closing it would take the format window,
    // and the job's reporting, with it. A format window already open elsewhere is raised instead.
    m_lastDialogController =
        ORBFormatWindowController::showOne(m_services.cardTools(), this, Qt::WindowModal);
}

QString ORBSettingController::validateUserInput() {
    return m_targetDelegate ? m_targetDelegate->validateUserInput() : QString();
}

bool ORBSettingController::populate() {
    return m_targetDelegate ? m_targetDelegate->populate() : true;
}

void ORBSettingController::onSaveDefaultSetting() {
    if (m_loading) {
        return;
    }
    SetDefaultFileData(m_FileData);
    if (m_targetDelegate) {
        m_targetDelegate->setFileData(&m_FileData);
    }
}

void ORBSettingController::onCloseCmd() {
    close();
}

void ORBSettingController::onDiskUtil() {
    if (!m_services.commands || !m_services.runInBackground) {
        return;
    }
    CommandRunner* commands = m_services.commands;
    m_services.runInBackground(
        this,
        [commands] {
            const CommandResult result = commands->runScriptCommand({QStringLiteral("gnome-disks")}, false);
            if (!result.succeeded()) {
                logf("error=%s", qPrintable(result.describe()));
            }
        },
        [] {});
}

void ORBSettingController::showLoading(const QString& title) {
    m_stopLoadingWindow = false;
    m_progress = 0;
    m_progressIndicator->setValue(0);
    m_progressIndicator->updateProgressText(); // the estimate starts here
    m_progressTitleField->setText(title);
    if (m_services.scheduler) {
        m_services.scheduler->after(kLoadingTick, this,
                                    [this] { updateLoadingWindow(kLoadingLimitSeconds); });
    }
    m_progressPanel->open();
}

void ORBSettingController::updateLoadingWindow(double seconds) {
    m_progress += 100.0 / (2.0 * seconds);
    m_progressIndicator->setDoubleValue(std::min(m_progress, 100.0));
    if (m_progress >= 100.0 || m_stopLoadingWindow) {
        m_progressIndicator->setDoubleValue(0);
        m_progressPanel->hide();
        m_stopLoadingWindow = true;
        return;
    }
    m_services.scheduler->after(kLoadingTick, this, [this, seconds] { updateLoadingWindow(seconds); });
}

void ORBSettingController::hideLoading() {
    m_stopLoadingWindow = true;
    if (!m_services.scheduler) {
        m_progressPanel->hide();
    }
}

} // namespace nura
