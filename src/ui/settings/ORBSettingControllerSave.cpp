// SPDX-License-Identifier: GPL-3.0-or-later
// Saving the settings: where to, what to ask first, and the write itself under the file's lock.
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

constexpr qint64 kSettingFileSize = static_cast<qint64>(kFileDataSize);

// A file name's bytes for the user's eyes; the bytes themselves go to the file calls.
QString shown(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

// Why a save did not write, in the user's terms.
QString whyUnwritten(const FileStatus& status) {
    switch (status.fault) {
    case FileFault::ReadOnly:
        return L("msg.file_read_only");
    case FileFault::Damaged:
        return L("msg.file_damaged");
    case FileFault::NotRegular:
        // A folder or a FIFO is not a card that is full or write-protected: say what it is.
        return QStringLiteral("It %1; nothing was written.")
            .arg(status.error == EISDIR ? QStringLiteral("is a folder, not a regular file")
                                        : QStringLiteral("is not a regular file"));
    default:
        break;
    }
    return L("msg.write_protected_disk");
}

} // namespace

std::string ORBSettingController::chooseSavePath(QString& question) {
    if (m_configFile) {
        return *m_configFile;
    }
    if (m_selectedUSBDisk) {
        const std::string path = pathInVolume(m_selectedUSBDisk->mountedPath(), kSettingFileName);
        if (pathExists(path)) {
            return path;
        }
    }
    if (m_services.volumes) {
        if (auto disk = m_services.volumes->findCameraCardDisk()) {
            const std::string path = pathInVolume(disk->mountedPath(), kSettingFileName);
            // The card the settings came from has gone; another one now takes its place.
            if (m_selectedUSBDisk && (disk->mountedPath() != m_selectedUSBDisk->mountedPath() ||
                                      disk->deviceFilePath() != m_selectedUSBDisk->deviceFilePath())) {
                question =
                    L("msg.config_other_volume_fmt")
                        .arg(QString::fromStdString(m_selectedUSBDisk->displayString()).trimmed(),
                             QStringLiteral("%1 (%2)").arg(
                                 shown(path), QString::fromStdString(disk->displayString()).trimmed()));
            }
            return path;
        }
    }
    const QString chosen = m_services.chooseSavePath
                               ? m_services.chooseSavePath(this, m_services.documentsDirectory)
                               : QString();
    return QFile::encodeName(chosen).toStdString();
}

// The volume serial of the card mounted where the settings' card was, as the disk service gives it now.
std::string ORBSettingController::currentSerial() const {
    if (!m_selectedUSBDisk || !m_services.volumes) {
        return {};
    }
    for (const auto& volume : m_services.volumes->describeMountedVolumes()) {
        if (volume.mountPath == m_selectedUSBDisk->mountedPath()) {
            return volume.uuid.value_or("");
        }
    }
    return {};
}

// What changed at `path` since its bytes were `bytes` on the card with `serial`: empty when nothing did.
// A file that is no longer there holds nothing to lose.
QString ORBSettingController::changedSinceRead(const std::string& path, const std::string& bytes,
                                               const std::string& serial, std::string& bytesNow,
                                               std::string& serialNow) const {
    const FileBytes now = readFileBytes(path, kSettingFileSize + 1);
    bytesNow.assign(reinterpret_cast<const char*>(now.bytes.data()), now.bytes.size());
    serialNow = m_selectedUSBDisk ? currentSerial() : std::string();
    if (!now.status.ok()) {
        return {};
    }
    QStringList what;
    if (m_selectedUSBDisk && serialNow != serial) {
        what << QStringLiteral("another card is in the reader (volume serial %1, before %2)")
                    .arg(serialNow.empty() ? QStringLiteral("none") : QString::fromStdString(serialNow),
                         serial.empty() ? QStringLiteral("none") : QString::fromStdString(serial));
    }
    if (bytesNow != bytes) {
        what << QStringLiteral("the file was changed by something else");
    }
    if (what.isEmpty()) {
        return {};
    }
    return QStringLiteral("%1 is not what these settings were read from: %2. Replace it?")
        .arg(shown(path), what.join(QStringLiteral("; ")));
}

void ORBSettingController::onSave() {
    if (m_loading) {
        return;
    }
    const QString message = validateUserInput();
    if (!message.isEmpty()) {
        ShowAlertSheet(this, QStringLiteral("NURA"), message);
        return;
    }
    if (!populate()) {
        return;
    }
    SealFileData(m_FileData);
    QString question;
    const std::string path = chooseSavePath(question);
    if (path.empty()) {
        return;
    }
    if (question.isEmpty()) {
        question = replaceQuestion(path);
    }
    auto ask = [this](const QString& text) {
        return m_services.confirm && m_services.confirm(this, L("save"), text);
    };
    if (!question.isEmpty() && !ask(question)) {
        return;
    }
    // Over the file the settings came from, what is replaced must still be what was read: the card may
    // have been swapped for another under the same name, or the file edited meanwhile. The lock keeps a
    // `nura config set` from slipping in between the look and the write; it is let go while the user is
    // asked, and what was agreed to is looked at again once it is back.
    const bool overRead = m_SettingFilePath && *m_SettingFilePath == path;
    std::string expectedBytes = m_readBytes, expectedSerial = m_readSerial;
    std::string serialNow;
    FileStatus status;
    for (bool saved = false; !saved;) {
        QString changed;
        std::string bytesNow;
        {
            const SettingFileLock lock(path);
            changed = overRead ? changedSinceRead(path, expectedBytes, expectedSerial, bytesNow, serialNow)
                               : QString();
            if (changed.isEmpty()) {
                status = SaveSettingFile(m_FileData, path);
                saved = true;
            }
        }
        if (!saved) {
            if (!ask(changed)) {
                return;
            }
            expectedBytes = bytesNow;
            expectedSerial = serialNow;
        }
    }
    if (!status.ok()) {
        logf("cannot write %s: %s", path.c_str(), status.describe().c_str());
        ShowAlertSheet(this, QStringLiteral("Warn"),
                       QStringLiteral("%1\n%2").arg(whyUnwritten(status), shown(path)));
        return;
    }
    if (overRead) {
        m_readBytes.assign(reinterpret_cast<const char*>(&m_FileData), sizeof m_FileData);
        m_readSerial = serialNow;
    }
    m_unreadPath.reset();
    emit saved(shown(path));
    ShowAlertSheet(this, shown(path), L("msg.saved"), [this] { onCloseCmd(); });
}

// A file there that the settings did not come from, or that is not a settings record, is replaced only
// when the user says so.
QString ORBSettingController::replaceQuestion(const std::string& path) const {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return {};
    }
    struct stat unread {};
    if (m_unreadPath && ::stat(m_unreadPath->c_str(), &unread) == 0 && unread.st_dev == st.st_dev &&
        unread.st_ino == st.st_ino) {
        return L("msg.config_replace_unread_fmt").arg(shown(path));
    }
    if (st.st_size != kSettingFileSize) {
        return L("msg.config_replace_size_fmt").arg(shown(path)).arg(static_cast<qint64>(st.st_size));
    }
    return {};
}

} // namespace nura
