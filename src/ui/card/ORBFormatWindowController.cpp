#include "ui/card/ORBFormatWindowController.h"

#include "core/card/ByteSizeText.h"
#include "core/card/FormatCommands.h"
#include "core/log.h"
#include "core/settings/SettingFile.h"
#include "platform/CommandRunner.h"
#include "platform/VolumeService.h"
#include "ui/app/BackgroundResult.h"
#include "ui/settings/ChoiceControls.h"
#include "ui/strings/InfoPlist.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QVBoxLayout>

#include <memory>

using nura::TKUSBDiskEntity;

namespace {

QStringList toArguments(const nura::CommandLine& line) {
    QStringList out;
    for (const auto& arg : line) {
        out << QString::fromStdString(arg);
    }
    return out;
}

QString display(const TKUSBDiskEntity& disk) {
    return QString::fromStdString(disk.displayString());
}

} // namespace

struct ORBFormatWindowController::Outcome {
    enum Kind { BackupFailed, FormatFailed, Formatted } kind = Formatted;
    QString error;     // why, in the system's or the formatter's words
    QString savedCopy; // the card's config.bin kept aside, or empty when it had none
    bool notAuthorized = false;
    std::shared_ptr<QTemporaryDir> backupDir;
};

ORBFormatWindowController::ORBFormatWindowController(CardToolServices services, QWidget* parent)
    : QDialog(parent), m_services(std::move(services)) {
    setWindowTitle(L("setting.format.title"));
    setObjectName(QStringLiteral("ORBFormatWindowController"));
    usbDiskCombo = new QComboBox(this);
    usbDiskCombo->setMinimumWidth(360);
    fileSystemField = new QLineEdit(QStringLiteral("FAT32"), this);
    allocationUnitField = new QLineEdit(this);
    pathField = new QLineEdit(QStringLiteral("-"), this);
    for (QLineEdit* field : {fileSystemField, allocationUnitField, pathField}) {
        field->setReadOnly(true);
    }
    auto* form = new QFormLayout;
    form->addRow(usbDiskCombo);
    form->addRow(L("setting.format.filesystem"), fileSystemField);
    form->addRow(L("setting.format.allocation_unit_size"), allocationUnitField);
    form->addRow(L("setting.format.device"), pathField);

    progressBar = new PMProgressIndicator(this);
    progressBar->setRange(0, 0); // the commands say nothing of how far they are
    progressMessageField = new QLabel(this);
    auto* progressRow = new QHBoxLayout;
    progressRow->addWidget(progressBar, 1);
    progressRow->addWidget(progressMessageField, 1);

    formatButton = new QPushButton(L("setting.format.format"), this);
    cancelButton = new QPushButton(L("cancel"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cancelButton);
    buttons->addWidget(formatButton);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(progressRow);
    layout->addStretch(1);
    layout->addLayout(buttons);

    progressBar->hide();
    progressMessageField->hide();
    updateSelectedDiskInfo();

    connect(usbDiskCombo, &QComboBox::currentIndexChanged, this, [this] { updateSelectedDiskInfo(); });
    connect(formatButton, &QPushButton::clicked, this, &ORBFormatWindowController::onFormat);
    connect(cancelButton, &QPushButton::clicked, this, &ORBFormatWindowController::reject);
    loadUSBVolumes();
}

ORBFormatWindowController::~ORBFormatWindowController() = default;

void ORBFormatWindowController::beginJob(const QString& text) {
    if (m_jobs++ == 0) {
        progressBar->show();
        progressBar->setDrawDockProgress(true); // a barber pole on the application icon
        progressMessageField->show();
    }
    progressMessageField->setText(text);
    for (QWidget* w : std::initializer_list<QWidget*>{usbDiskCombo, formatButton, cancelButton}) {
        w->setEnabled(false);
    }
}

void ORBFormatWindowController::endJob() {
    if (--m_jobs > 0) {
        return; // a refresh inside a format leaves the format's display running
    }
    progressBar->hide();
    progressMessageField->hide();
    for (QWidget* w : std::initializer_list<QWidget*>{usbDiskCombo, formatButton, cancelButton}) {
        w->setEnabled(true);
    }
}

void ORBFormatWindowController::setProgressText(const QString& text) {
    progressMessageField->setText(text);
}

void ORBFormatWindowController::loadUSBVolumes(std::function<void()> completion) {
    beginJob(m_formatting ? progressMessageField->text() : QStringLiteral("Disk searching..."));
    nura::VolumeService* volumes = m_services.volumes;
    nura::runWithResult(
        this, [volumes] { return volumes ? volumes->mountedUSBDisks() : std::vector<TKUSBDiskEntity>{}; },
        [this, completion = std::move(completion)](std::vector<TKUSBDiskEntity> disks) {
            m_usbDiskArray = std::move(disks);
            QStringList items;
            for (const auto& disk : m_usbDiskArray) {
                items << display(disk);
            }
            const QSignalBlocker block(usbDiskCombo);
            nura::FillComboBox(*usbDiskCombo, items);
            usbDiskCombo->setCurrentIndex(items.isEmpty() ? -1 : 0);
            updateSelectedDiskInfo();
            endJob();
            if (completion) {
                completion();
            }
            emit usbVolumesLoaded();
        });
}

std::optional<TKUSBDiskEntity> ORBFormatWindowController::selectedUSBDisk() const {
    const int index = usbDiskCombo->currentIndex();
    if (index < 0 || static_cast<size_t>(index) >= m_usbDiskArray.size()) {
        return std::nullopt;
    }
    return m_usbDiskArray[static_cast<size_t>(index)];
}

std::optional<TKUSBDiskEntity> ORBFormatWindowController::selectUSBByDevFile(const std::string& device) {
    for (size_t i = 0; i < m_usbDiskArray.size(); ++i) {
        if (m_usbDiskArray[i].deviceFilePath() == device) {
            usbDiskCombo->setCurrentIndex(static_cast<int>(i));
            return m_usbDiskArray[i];
        }
    }
    return std::nullopt;
}

void ORBFormatWindowController::updateSelectedDiskInfo() {
    if (const auto disk = selectedUSBDisk()) {
        pathField->setText(QStringLiteral("%1   %2").arg(QString::fromStdString(disk->deviceFilePath()),
                                                         QString::fromStdString(disk->mountedPath())));
        allocationUnitField->setText(QString::fromStdString(nura::clusterSizeText(disk->volumeSize())));
    } else {
        allocationUnitField->setText(QStringLiteral("128KB"));
        pathField->setText(QStringLiteral("-"));
    }
}

void ORBFormatWindowController::onFormat() {
    if (isBusy()) {
        return;
    }
    const auto disk = selectedUSBDisk();
    if (!disk) {
        nura::ShowAlertSheet(this, QStringLiteral("NURA"),
                             m_usbDiskArray.empty() ? QStringLiteral("There is no USB drive.")
                                                    : QStringLiteral("Please select USB drive."));
        return;
    }
    if (!disk->writable()) {
        nura::ShowAlertSheet(this, L("msg.cannot_format"),
                             QStringLiteral("%1\n%2").arg(display(*disk), L("msg.write_protected_disk")));
        return;
    }
    if (!m_services.commands) {
        nura::ShowAlertSheet(this, L("msg.cannot_format"), display(*disk));
        return;
    }
    // Formatting erases the card: ask once, naming it, before anything is unmounted.
    const QString label =
        disk->volumeName().empty() ? QStringLiteral("NO NAME") : QString::fromStdString(disk->volumeName());
    const QString question = L("msg.format_confirm_fmt")
                                 .arg(QString::fromStdString(disk->deviceFilePath()), label,
                                      QString::fromStdString(nura::byteSizeText(disk->volumeSize())));
    if (!m_services.confirm || !m_services.confirm(this, L("setting.format.format"), question)) {
        return;
    }
    doFormat(*disk);
}

void ORBFormatWindowController::doFormat(const TKUSBDiskEntity& disk) {
    m_formatting = true;
    beginJob(QStringLiteral("Formatting..."));
    nura::runWithResult(
        this,
        [services = m_services, self = QPointer(this), disk] { return runFormatJob(services, self, disk); },
        [this, disk](Outcome outcome) { formatJobEnded(disk, outcome); });
}

// On the worker: only the command runner, the volume service and files; progress texts are queued to the
// window, which may be gone by then.
ORBFormatWindowController::Outcome ORBFormatWindowController::runFormatJob(
    const CardToolServices& services, QPointer<ORBFormatWindowController> self, const TKUSBDiskEntity& disk) {
    auto progress = [self](const QString& text) {
        QMetaObject::invokeMethod(qApp, [self, text] {
            if (self) {
                self->setProgressText(text);
            }
        });
    };
    Outcome outcome;
    // Keep the settings file, and make sure the copy is whole before the card is erased.
    const QString root = QString::fromStdString(disk.mountedPath());
    const QString cardConfig = QDir(root).filePath(QStringLiteral("config.bin"));
    if (!root.isEmpty() && QFileInfo::exists(cardConfig)) {
        outcome.backupDir = std::make_shared<QTemporaryDir>();
        const QString copy = outcome.backupDir->filePath(QStringLiteral("config.bin"));
        QFile source(cardConfig);
        QFile target(copy);
        QByteArray bytes;
        bool kept = outcome.backupDir->isValid() && source.open(QIODevice::ReadOnly);
        if (kept) {
            bytes = source.readAll();
            kept = source.error() == QFileDevice::NoError && target.open(QIODevice::WriteOnly) &&
                   target.write(bytes) == bytes.size() && target.flush();
            target.close();
        }
        QFile check(copy);
        if (!kept || !check.open(QIODevice::ReadOnly) || check.readAll() != bytes) {
            outcome.kind = Outcome::BackupFailed;
            outcome.error = !outcome.backupDir->isValid()            ? outcome.backupDir->errorString()
                            : source.error() != QFileDevice::NoError ? source.errorString()
                                                                     : target.errorString();
            return outcome;
        }
        outcome.savedCopy = copy;
    }

    progress(QStringLiteral("unmount disk..."));
    std::vector<std::string> mounted;
    if (services.volumes) {
        for (const auto& volume : services.volumes->describeMountedVolumes()) {
            if (volume.deviceName) {
                mounted.push_back(*volume.deviceName);
            }
        }
    }
    for (const auto& line : nura::unmountCommandLines(disk, mounted)) {
        services.commands->runScriptCommand(toArguments(line), false);
    }

    progress(QStringLiteral("formatting..."));
    const nura::CommandResult result =
        services.commands->runScriptCommand(toArguments(nura::formatCommandLine(disk)), true);
    nura::logf("ERROR=%s", result.describe().toUtf8().constData());
    const bool formatted = result.succeeded();
    if (!formatted) {
        outcome.kind = Outcome::FormatFailed;
        outcome.error = result.errorMessage.trimmed();
        outcome.notAuthorized = result.errorNumber == nura::CommandResult::kNotAuthorized;
    } else {
        progress(QStringLiteral("try mount..."));
    }
    services.commands->runScriptCommand(toArguments(nura::mountCommandLine(disk)), false);
    if (formatted) {
        progress(QStringLiteral("Format completed!"));
    }
    return outcome;
}

void ORBFormatWindowController::formatJobEnded(const TKUSBDiskEntity& disk, const Outcome& outcome) {
    if (outcome.kind == Outcome::BackupFailed) {
        m_formatting = false;
        endJob();
        nura::ShowAlertSheet(
            this, L("msg.cannot_format"),
            QStringLiteral("%1\n%2 %3").arg(display(disk), L("msg.config_backup_fail"), outcome.error));
        emit formatFinished(false);
        return;
    }
    loadUSBVolumes([this, disk, outcome] {
        const auto again = selectUSBByDevFile(disk.deviceFilePath());
        if (outcome.kind == Outcome::FormatFailed) {
            m_formatting = false;
            endJob();
            // Exit status 1 is any failure of the formatter: only a read-only device is write-protected.
            const QString error =
                outcome.notAuthorized && outcome.error.isEmpty() ? L("msg.not_authorized") : outcome.error;
            const bool readOnly = (again && !again->writable()) ||
                                  outcome.error.contains(QStringLiteral("Read-only file system"));
            nura::ShowAlertSheet(
                this, L("msg.cannot_format"),
                readOnly ? QStringLiteral("%1\n%2").arg(display(disk), L("msg.write_protected_disk"))
                         : QStringLiteral("%1\nError:%2").arg(display(disk), error));
            emit formatFinished(false);
            return;
        }
        m_backupDir = outcome.backupDir;
        formatDidFinished(disk.deviceFilePath(), outcome.savedCopy);
    });
}

void ORBFormatWindowController::formatDidFinished(const std::string& device, const QString& savedCopy) {
    m_formatting = false;
    endJob();
    const auto disk = selectUSBByDevFile(device);
    auto fail = [this](const QString& why) {
        nura::ShowAlertSheet(this, QStringLiteral("config.bin copy fail"), why);
        emit formatFinished(false);
    };
    if (!disk || disk->mountedPath().empty()) {
        // Never written to another disk: the formatted one did not come back.
        fail(savedCopy.isEmpty() ? QString() : L("msg.config_kept_fmt").arg(savedCopy));
        if (!savedCopy.isEmpty()) {
            m_backupDir->setAutoRemove(false);
        }
        return;
    }
    const QString target =
        QDir(QString::fromStdString(disk->mountedPath())).filePath(QStringLiteral("config.bin"));
    if (!savedCopy.isEmpty()) {
        QFile::remove(target);
        QFile copy(savedCopy);
        if (!copy.copy(target)) {
            nura::logf("error=%s", copy.errorString().toUtf8().constData());
            m_backupDir->setAutoRemove(false); // the user's only copy of the settings now
            fail(copy.errorString() + "\n" + L("msg.config_kept_fmt").arg(savedCopy));
            return;
        }
    } else {
        const std::string failure = nura::WriteDefaultSettingFile(target.toStdString());
        if (!failure.empty()) {
            fail(L(failure.c_str()));
            return;
        }
    }
    m_backupDir.reset();
    nura::ShowAlertSheet(this, L("msg.format_complete"), display(*disk), [this] { accept(); });
    emit formatFinished(true);
}

void ORBFormatWindowController::closeEvent(QCloseEvent* event) {
    if (m_formatting) {
        event->ignore(); // the card would be left half-formatted or unmounted
        return;
    }
    QDialog::closeEvent(event);
}

void ORBFormatWindowController::reject() {
    if (!m_formatting) {
        QDialog::reject();
    }
}
