// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/card/CameraCard.h"

#include <filesystem>
#include <system_error>

namespace nura {

bool pathExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

std::string pathInVolume(const std::string& volumeRoot, const std::string& name) {
    if (!volumeRoot.empty() && volumeRoot.back() == '/') {
        return volumeRoot + name;
    }
    return volumeRoot + "/" + name;
}

std::optional<TKUSBDiskEntity> findCameraCardDisk(const std::vector<TKUSBDiskEntity>& disks,
                                                  const PathExists& exists) {
    const auto labelled = [](const TKUSBDiskEntity& d) { return d.volumeName() == kCameraVolumeName; };
    const std::function<bool(const TKUSBDiskEntity&)> passes[] = {
        [&](const TKUSBDiskEntity& d) {
            return labelled(d) && d.writable() && exists(pathInVolume(d.mountedPath(), kSettingFileName));
        },
        [&](const TKUSBDiskEntity& d) { return labelled(d) && d.writable(); },
        [&](const TKUSBDiskEntity& d) { return labelled(d); },
        [](const TKUSBDiskEntity& d) { return d.writable(); },
        [](const TKUSBDiskEntity&) { return true; },
    };
    for (const auto& pass : passes) {
        for (const auto& disk : disks) {
            if (pass(disk)) {
                return disk;
            }
        }
    }
    return std::nullopt;
}

std::optional<std::string> findVolumeContainingFile(const std::vector<std::string>& volumeRoots,
                                                    const std::string& name, const PathExists& exists) {
    for (const auto& root : volumeRoots) {
        if (exists(pathInVolume(root, name))) {
            return root;
        }
    }
    return std::nullopt;
}

} // namespace nura
