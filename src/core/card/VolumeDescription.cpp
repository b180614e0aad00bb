// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/card/VolumeDescription.h"

namespace nura {
namespace {

bool isUsb(const VolumeDescription& v) {
    return v.removable && v.protocol && *v.protocol == kUsbProtocol;
}

} // namespace

std::vector<std::string> removableVolumePaths(const std::vector<VolumeDescription>& volumes) {
    std::vector<std::string> paths;
    for (const auto& v : volumes) {
        if (v.removable && !v.mountPath.empty()) {
            paths.push_back(v.mountPath);
        }
    }
    return paths;
}

std::vector<std::string> usbVolumePaths(const std::vector<VolumeDescription>& volumes) {
    std::vector<std::string> paths;
    for (const auto& v : volumes) {
        if (isUsb(v) && !v.mountPath.empty()) {
            paths.push_back(v.mountPath);
        }
    }
    return paths;
}

std::vector<TKUSBDiskEntity> usbDiskEntities(const std::vector<VolumeDescription>& volumes) {
    std::vector<TKUSBDiskEntity> disks;
    for (const auto& v : volumes) {
        if (!isUsb(v) || v.mountPath.empty() || !v.deviceName || v.deviceName->empty()) {
            continue;
        }
        disks.emplace_back(v.volumeName.value_or(""), v.mountPath, *v.deviceName, v.deviceModel,
                           v.mediaSize.value_or(0), v.writable.value_or(false), v.mediaWhole.value_or(false),
                           v.key, v.uuid.value_or(""), v.driveId.value_or(""), v.driveSerial.value_or(""),
                           v.deviceNumber.value_or(0));
    }
    return disks;
}

DiskIdentity diskIdentity(const VolumeDescription& v) {
    return {v.key,
            v.uuid.value_or(""),
            v.volumeName.value_or(""),
            v.mediaSize.value_or(0),
            v.driveId.value_or(""),
            v.driveSerial.value_or(""),
            v.deviceNumber.value_or(0)};
}

} // namespace nura
