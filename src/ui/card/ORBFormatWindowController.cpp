// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/card/ORBFormatWindowController.h"

#include "core/card/ByteSizeText.h"
#include "core/card/CameraCard.h"
#include "core/card/CardFormat.h"
#include "core/card/ConfigBackup.h"
#include "core/card/FormatCommands.h"
#include "core/card/VolumeDescription.h"
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
#include <QThread>
#include <QVBoxLayout>

#include <ctime>
#include <memory>
#include <random>
#include <utility>

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

struct ORBFormatWindowController::Listing {
    std::vector<TKUSBDiskEntity> disks;
    std::optional<TKUSBDiskEntity> card; // the one findCameraCardDisk picks
};

struct ORBFormatWindowController::Outcome {
    enum Kind { BackupFailed, DiskChanged, FormatFailed, Formatted } kind = Formatted;
    QString error;     // why, in the system's or the formatter's words
    QString savedCopy; // the backup of the card's config.bin, or empty when it had none
    bool notAuthorized = false;
    uint32_t newSerial = 0; // the volume serial the formatted card carries
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
    // The list follows the disk service: a card plugged in, pulled out, mounted or unmounted.
    if (m_services.volumes) {
        if (QObject* watcher = m_services.volumes->watchChanges(this)) {
            connect(watcher, SIGNAL(volumesChanged()), this, SLOT(volumesChanged()));
        }
    }
    loadUSBVolumes();
}

void ORBFormatWindowController::volumesChanged() {
    // A format refreshes the list itself when it ends; a refresh running now is followed by another.
    if (m_formatting) {
        return;
    }
    if (isBusy()) {
        m_refreshAgain = true;
        return;
    }
    loadUSBVolumes();
}

ORBFormatWindowController::~ORBFormatWindowController() = default;

ORBFormatWindowController* ORBFormatWindowController::showOne(CardToolServices services, QWidget* parent,
                                                              Qt::WindowModality modality) {
    static QPointer<ORBFormatWindowController> open;
    if (!open) {
        open = new ORBFormatWindowController(std::move(services), parent);
        open->setAttribute(Qt::WA_DeleteOnClose);
        open->setWindowModality(modality);
    }
    open->show();
    open->raise();
    open->activateWindow();
    return open;
}

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
    // The disk chosen before the refresh stays chosen while it is listed (else the first is); with none
    // chosen yet, the likeliest card.
    const std::string chosen = selectedUSBDisk() ? selectedUSBDisk()->key() : std::string();
    nura::runWithResult(
        this,
        [volumes] {
            Listing listing;
            listing.disks = volumes ? volumes->mountedUSBDisks() : std::vector<TKUSBDiskEntity>{};
            listing.card = nura::findCameraCardDisk(listing.disks);
            return listing;
        },
        [this, chosen, completion = std::move(completion)](Listing listing) {
            m_usbDiskArray = std::move(listing.disks);
            QStringList items;
            int selected = m_usbDiskArray.empty() ? -1 : 0;
            for (size_t i = 0; i < m_usbDiskArray.size(); ++i) {
                const TKUSBDiskEntity& disk = m_usbDiskArray[i];
                items << display(disk);
                if (chosen.empty() ? listing.card && disk == *listing.card : disk.key() == chosen) {
                    selected = static_cast<int>(i);
                }
            }
            const QSignalBlocker block(usbDiskCombo);
            nura::FillComboBox(*usbDiskCombo, items);
            usbDiskCombo->setCurrentIndex(selected);
            updateSelectedDiskInfo();
            endJob();
            if (completion) {
                completion();
            }
            emit usbVolumesLoaded();
            if (std::exchange(m_refreshAgain, false) && !isBusy()) {
                loadUSBVolumes();
            }
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
        allocationUnitField->setText(QStringLiteral("64 KB"));
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
    if (!m_services.commands || m_services.formatHelper.empty()) {
        nura::ShowAlertSheet(
            this, L("msg.cannot_format"),
            QStringLiteral("%1\n%2").arg(display(*disk), QStringLiteral("The format helper nura-format-card "
                                                                        "is not installed.")));
        return;
    }
    if (nura::clusterSizeByVolumeSizeInKB(disk->volumeSize()) == 0) {
        nura::ShowAlertSheet(
            this, L("msg.cannot_format"),
            QStringLiteral("%1\n%2").arg(
                display(*disk), QStringLiteral("The disk is too small for FAT32, which needs at least "
                                               "%1 clusters.")
                                    .arg(nura::kMinFat32Clusters)));
        return;
    }
    if (disk->deviceNumber() == 0) {
        nura::ShowAlertSheet(
            this, L("msg.cannot_format"),
            QStringLiteral("%1\n%2").arg(display(*disk), QStringLiteral("The disk service does not say "
                                                                        "which device it is.")));
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
    // The disk the question named, read again by its object path (it leaves the mounted list once
    // unmounted): any difference means another medium is in the reader, and nothing may be erased.
    auto changedDisk = [&services, &disk]() -> QString {
        if (!services.volumes) {
            return {};
        }
        const auto now = services.volumes->describeVolume(disk.key());
        if (!now) {
            return QStringLiteral("the disk is no longer there");
        }
        const nura::DiskIdentity seen = nura::diskIdentity(*now);
        const nura::DiskIdentity asked = disk.identity();
        if (seen == asked) {
            return {};
        }
        nura::logf("format cancelled: %s was %s \"%s\" %llu bytes, drive %s %s; now %s \"%s\" %llu bytes, "
                   "drive %s %s",
                   asked.objectPath.c_str(), asked.uuid.c_str(), asked.label.c_str(),
                   static_cast<unsigned long long>(asked.size), asked.driveId.c_str(),
                   asked.driveSerial.c_str(), seen.uuid.c_str(), seen.label.c_str(),
                   static_cast<unsigned long long>(seen.size), seen.driveId.c_str(),
                   seen.driveSerial.c_str());
        return QStringLiteral("another medium is in its place");
    };
    auto cancelled = [&outcome](const QString& why) {
        outcome.kind = Outcome::DiskChanged;
        outcome.error = why;
        return outcome;
    };
    if (const QString why = changedDisk(); !why.isEmpty()) {
        return cancelled(why);
    }
    // Keep the settings file outside the card, in a copy that outlives any failure, checked before the card
    // is erased.
    const QString root = QString::fromStdString(disk.mountedPath());
    const QString cardConfig = QDir(root).filePath(QStringLiteral("config.bin"));
    if (!root.isEmpty() && QFileInfo::exists(cardConfig)) {
        const nura::ConfigBackup backup =
            nura::backUpConfigFile(QFile::encodeName(cardConfig).toStdString(), nura::configBackupFolder(),
                                   disk.volumeName(), std::time(nullptr));
        if (!backup.status.ok()) {
            outcome.kind = Outcome::BackupFailed;
            outcome.error = QStringLiteral("%1: %2").arg(QFile::decodeName(backup.path.c_str()),
                                                         QString::fromStdString(backup.status.describe()));
            return outcome;
        }
        outcome.savedCopy = QFile::decodeName(backup.path.c_str());
    }

    if (const QString why = changedDisk(); !why.isEmpty()) {
        return cancelled(why);
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

    // The authentication prompt and the unmount leave time for a swap: check once more, right before.
    if (const QString why = changedDisk(); !why.isEmpty()) {
        services.commands->runScriptCommand(toArguments(nura::mountCommandLine(disk)), false);
        return cancelled(why);
    }
    progress(QStringLiteral("formatting..."));
    // A serial of its own, so that the card can be told formatted from untouched afterwards.
    std::random_device random;
    do {
        outcome.newSerial = static_cast<uint32_t>(random());
    } while (outcome.newSerial == 0 || nura::fatSerialText(outcome.newSerial) == disk.uuid());
    const nura::CommandResult result = services.commands->runScriptCommand(
        toArguments(nura::formatCommandLine(disk, services.formatHelper, outcome.newSerial)), true);
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
    if (outcome.kind == Outcome::DiskChanged) {
        loadUSBVolumes([this, disk, outcome] {
            m_formatting = false;
            endJob();
            nura::ShowAlertSheet(this, L("msg.cannot_format"),
                                 L("msg.format_disk_changed_fmt").arg(display(disk), outcome.error));
            emit formatFinished(false);
        });
        return;
    }
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
            QString text = readOnly
                               ? QStringLiteral("%1\n%2").arg(display(disk), L("msg.write_protected_disk"))
                               : QStringLiteral("%1\nError:%2").arg(display(disk), error);
            if (!outcome.savedCopy.isEmpty()) {
                // The card may have lost its own copy if the formatter failed after writing.
                nura::logf("format failed; config.bin is kept in %s", qPrintable(outcome.savedCopy));
                text += QStringLiteral("\n") + L("msg.config_kept_fmt").arg(outcome.savedCopy);
            }
            nura::ShowAlertSheet(this, L("msg.cannot_format"), text);
            emit formatFinished(false);
            return;
        }
        formatDidFinished(disk.deviceFilePath(), outcome.savedCopy, outcome.newSerial);
    });
}

void ORBFormatWindowController::formatDidFinished(const std::string& device, const QString& savedCopy,
                                                  uint32_t newSerial) {
    m_formatting = false;
    endJob();
    const auto disk = selectUSBByDevFile(device);
    // Every failure names the backup, which is never removed until its restore has been verified.
    auto fail = [this, &savedCopy](const QString& why) {
        QString text = why;
        if (!savedCopy.isEmpty()) {
            nura::logf("config.bin copy fail: %s; kept in %s", qPrintable(why), qPrintable(savedCopy));
            text +=
                (text.isEmpty() ? QString() : QStringLiteral("\n")) + L("msg.config_kept_fmt").arg(savedCopy);
        }
        nura::ShowAlertSheet(this, QStringLiteral("config.bin copy fail"), text);
        emit formatFinished(false);
    };
    if (!disk || disk->mountedPath().empty()) {
        // Never written to another disk: the formatted one did not come back.
        fail(QString());
        return;
    }
    // The card the question named must be the one that now carries the new volume: else the settings
    // would be put back on a card that was never erased.
    const QString expected = QString::fromStdString(nura::fatSerialText(newSerial));
    if (QString::fromStdString(disk->uuid()).compare(expected, Qt::CaseInsensitive) != 0) {
        fail(QStringLiteral("%1 does not carry the new volume %2 (it shows %3).")
                 .arg(QString::fromStdString(device), expected,
                      disk->uuid().empty() ? QStringLiteral("no serial")
                                           : QString::fromStdString(disk->uuid())));
        return;
    }
    const QString target =
        QDir(QString::fromStdString(disk->mountedPath())).filePath(QStringLiteral("config.bin"));
    if (!savedCopy.isEmpty()) {
        const nura::FileStatus restored = nura::restoreConfigFile(QFile::encodeName(savedCopy).toStdString(),
                                                                  QFile::encodeName(target).toStdString());
        if (!restored.ok()) {
            nura::logf("error=%s", restored.describe().c_str());
            fail(QStringLiteral("%1: %2").arg(target, QString::fromStdString(restored.describe())));
            return;
        }
        nura::retireConfigBackup(QFile::encodeName(savedCopy).toStdString());
    } else {
        const std::string failure = nura::WriteDefaultSettingFile(target.toStdString());
        if (!failure.empty()) {
            fail(L(failure.c_str()));
            return;
        }
    }
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
