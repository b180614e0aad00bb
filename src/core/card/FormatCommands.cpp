// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/card/FormatCommands.h"

#include "core/card/CardFormat.h"

#include <algorithm>
#include <cctype>

namespace nura {

namespace {
constexpr uint64_t kSector = 512;
constexpr uint64_t kReservedSectors = 32;
constexpr uint64_t kFats = 2;
} // namespace

uint64_t fat32ClusterCount(uint64_t volumeSize, long sectorsPerCluster) {
    const uint64_t sectors = volumeSize / kSector;
    if (sectorsPerCluster <= 0 || sectors <= kReservedSectors) {
        return 0;
    }
    const auto perCluster = static_cast<uint64_t>(sectorsPerCluster);
    // First guess with the FATs' share spread over the clusters, then the whole FAT sectors that guess
    // needs taken off the data area (the unused tail of a FAT sector holds no cluster).
    const uint64_t data = sectors - kReservedSectors;
    const uint64_t guess = (data * kSector + kFats * 8) / (perCluster * kSector + kFats * 4);
    const uint64_t fatSectors = ((guess + 2) * 4 + kSector - 1) / kSector;
    if (data <= kFats * fatSectors) {
        return 0;
    }
    return std::min((data - kFats * fatSectors) / perCluster, fatSectors * kSector / 4 - 2);
}

long clusterSizeByVolumeSizeInKB(uint64_t volumeSize) {
    for (long figure = (volumeSize >> 30) < 7 ? 32 : 128; figure >= 1; figure /= 2) {
        if (fat32ClusterCount(volumeSize, figure) >= kMinFat32Clusters) {
            return figure;
        }
    }
    return 0;
}

std::string clusterSizeText(uint64_t volumeSize) {
    // The figure counts 512-byte sectors: 32 sectors are 16 KiB, 128 are 64 KiB.
    const long figure = clusterSizeByVolumeSizeInKB(volumeSize);
    if (figure == 0) {
        return "-";
    }
    return figure >= 2 ? std::to_string(figure * 512 / 1024) + " KB" : "512 bytes";
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

CommandLine formatCommandLine(const TKUSBDiskEntity& disk, const std::string& helper, uint32_t newSerial) {
    if (disk.deviceNumber() == 0) {
        return {};
    }
    return {helper,
            "--device-id",
            deviceIdOfNumber(disk.deviceNumber()),
            "--serial",
            disk.uuid(),
            "--new-serial",
            fatSerialText(newSerial),
            "--",
            disk.deviceFilePath()};
}

CommandLine mountCommandLine(const TKUSBDiskEntity& disk) {
    return {"udisksctl", "mount", "-b", disk.deviceFilePath()};
}

} // namespace nura
