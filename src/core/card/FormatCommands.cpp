// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/card/FormatCommands.h"

#include <algorithm>
#include <cctype>

namespace nura {

long clusterSizeByVolumeSizeInKB(uint64_t volumeSize) {
    return (volumeSize >> 30) < 7 ? 32 : 128;
}

std::string clusterSizeText(uint64_t volumeSize) {
    // The figure counts 512-byte sectors: 32 sectors are 16 KiB, 128 are 64 KiB.
    return std::to_string(clusterSizeByVolumeSizeInKB(volumeSize) * 512 / 1024) + " KB";
}

bool isDeviceOfDisk(const std::string& device, const std::string& disk) {
    if (disk.empty() || device.compare(0, disk.size(), disk) != 0) {
        return false;
    }
    std::string rest = device.substr(disk.size());
    if (rest.empty()) {
        return true;
    }
    // A disk whose name ends in a digit numbers its partitions after a "p" (mmcblk0p1, nvme0n1p2).
    if (std::isdigit(static_cast<unsigned char>(disk.back()))) {
        if (rest[0] != 'p') {
            return false;
        }
        rest.erase(0, 1);
    }
    return !rest.empty() && std::all_of(rest.begin(), rest.end(),
                                        [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

std::vector<CommandLine> unmountCommandLines(const TKUSBDiskEntity& disk,
                                             const std::vector<std::string>& mountedDevices) {
    std::vector<CommandLine> lines;
    if (!disk.mediaWhole()) {
        lines.push_back({"udisksctl", "unmount", "-b", disk.deviceFilePath()});
        return lines;
    }
    std::vector<std::string> seen;
    for (const auto& device : mountedDevices) {
        if (isDeviceOfDisk(device, disk.deviceFilePath()) &&
            std::find(seen.begin(), seen.end(), device) == seen.end()) {
            seen.push_back(device);
            lines.push_back({"udisksctl", "unmount", "-b", device});
        }
    }
    return lines;
}

std::string formatTargetDevice(const TKUSBDiskEntity& disk) {
    const std::string& uuid = disk.uuid();
    const bool plain =
        !uuid.empty() && uuid.size() <= 64 && std::all_of(uuid.begin(), uuid.end(), [](char c) {
            return std::isalnum(static_cast<unsigned char>(c)) || c == '-';
        });
    return plain ? "/dev/disk/by-uuid/" + uuid : disk.deviceFilePath();
}

CommandLine formatCommandLine(const TKUSBDiskEntity& disk) {
    return {"mkfs.fat",
            "-F",
            "32",
            "-n",
            kCardVolumeLabel,
            "-f",
            "2",
            "-b",
            "6",
            "-R",
            "32",
            "-s",
            std::to_string(clusterSizeByVolumeSizeInKB(disk.volumeSize())),
            "-a",
            formatTargetDevice(disk)};
}

CommandLine mountCommandLine(const TKUSBDiskEntity& disk) {
    return {"udisksctl", "mount", "-b", disk.deviceFilePath()};
}

} // namespace nura
