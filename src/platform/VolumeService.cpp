// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/VolumeService.h"

#include "core/card/CameraCard.h"
#include "core/log.h"
#include "platform/UDisks2VolumeService.h"

#include <QDBusConnection>

namespace nura {
namespace {

QList<QUrl> urls(const std::vector<std::string>& paths) {
    QList<QUrl> list;
    for (const auto& p : paths) {
        list.append(QUrl::fromLocalFile(QString::fromStdString(p)));
    }
    return list;
}

} // namespace

QList<QUrl> VolumeService::mountedRemovableVolumeURLs() {
    return urls(removableVolumePaths(describeMountedVolumes()));
}

QList<QUrl> VolumeService::mountedUSBVolumeURLs() {
    return urls(usbVolumePaths(describeMountedVolumes()));
}

std::vector<TKUSBDiskEntity> VolumeService::mountedUSBDisks() {
    std::vector<TKUSBDiskEntity> disks = usbDiskEntities(describeMountedVolumes());
    for (const auto& d : disks) {
        logf("%s", d.mountedPath().c_str());
    }
    return disks;
}

std::optional<QUrl> VolumeService::findUSBVolumeContainingFile(const QString& name) {
    const auto root = findVolumeContainingFile(usbVolumePaths(describeMountedVolumes()), name.toStdString());
    if (!root) {
        return std::nullopt;
    }
    return QUrl::fromLocalFile(QString::fromStdString(*root));
}

std::optional<TKUSBDiskEntity> VolumeService::findCameraCardDisk() {
    return nura::findCameraCardDisk(mountedUSBDisks());
}

std::optional<VolumeDescription> VolumeService::describeVolume(const std::string& objectPath) {
    for (auto& v : describeMountedVolumes()) {
        if (v.key == objectPath) {
            return std::move(v);
        }
    }
    return std::nullopt;
}

std::unique_ptr<VolumeService> createVolumeService() {
    return std::make_unique<UDisks2VolumeService>(QDBusConnection::systemBus());
}

} // namespace nura
