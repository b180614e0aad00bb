// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The command lines that format the camera's card as FAT32 "NURA": unmount, make the file system, mount.
// Each is an argument list for the command runner, never a shell string.

#include "core/card/TKUSBDiskEntity.h"

#include <cstdint>
#include <string>
#include <vector>

namespace nura {

using CommandLine = std::vector<std::string>;

inline constexpr const char* kCardVolumeLabel = "NURA";

// The cluster figure the camera expects: 32 below 7 GiB (7,516,192,768 bytes), 128 from there on.
// Given to the formatter as its sectors-per-cluster figure, which cards formatted for the camera have
// always had.
long clusterSizeByVolumeSizeInKB(uint64_t volumeSize);
// The size of a cluster the figure gives, for the user: "16 KB" / "64 KB".
std::string clusterSizeText(uint64_t volumeSize);

// True when `device` is `disk` itself or one of its partitions (/dev/sdb1 of /dev/sdb, /dev/mmcblk0p1 of
// /dev/mmcblk0).
bool isDeviceOfDisk(const std::string& device, const std::string& disk);

// Unmount: the one partition, or for a whole disk every mounted device of that disk (in the order given).
std::vector<CommandLine> unmountCommandLines(const TKUSBDiskEntity& disk,
                                             const std::vector<std::string>& mountedDevices);
// The device the formatter is given: /dev/disk/by-uuid/<volume serial> when the volume has one, so that a
// medium swapped in meanwhile (another serial) makes the formatter fail instead of erasing it; else the
// device name.
std::string formatTargetDevice(const TKUSBDiskEntity& disk);
// mkfs.fat -F 32 -n NURA -f 2 -b 6 -R 32 -s CLUSTER -a DEVICE: two FATs, backup boot sector 6, 32 reserved
// sectors; -a keeps the 32 reserved sectors from being raised for alignment. The device is
// formatTargetDevice.
CommandLine formatCommandLine(const TKUSBDiskEntity& disk);
CommandLine mountCommandLine(const TKUSBDiskEntity& disk);

} // namespace nura
