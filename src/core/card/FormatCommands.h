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

// Fewer clusters than this make a volume that devices following the cluster-count rule read as FAT16.
inline constexpr uint64_t kMinFat32Clusters = 65525;

// The clusters a FAT32 volume of `volumeSize` bytes gets with 32 reserved sectors, two FATs and
// `sectorsPerCluster` 512-byte sectors a cluster, counted as the formatter counts them.
uint64_t fat32ClusterCount(uint64_t volumeSize, long sectorsPerCluster);
// The cluster figure the camera expects: 32 below 7 GiB (7,516,192,768 bytes), 128 from there on.
// Given to the formatter as its sectors-per-cluster figure, which cards formatted for the camera have
// always had. A card too small for that figure to give kMinFat32Clusters (under about 1.07 GB) gets the
// largest smaller figure that does; 0 when no figure does: the card is too small for FAT32.
long clusterSizeByVolumeSizeInKB(uint64_t volumeSize);
// The size of a cluster the figure gives, for the user: "16 KB" / "64 KB"; "-" for a card too small.
std::string clusterSizeText(uint64_t volumeSize);

// True when `device` is `disk` itself or one of its partitions (/dev/sdb1 of /dev/sdb, /dev/mmcblk0p1 of
// /dev/mmcblk0).
bool isDeviceOfDisk(const std::string& device, const std::string& disk);

// Unmount: the one partition, or for a whole disk every mounted device of that disk (in the order given).
std::vector<CommandLine> unmountCommandLines(const TKUSBDiskEntity& disk,
                                             const std::vector<std::string>& mountedDevices);
// The privileged format, by the helper program `helper` (nura-format-card): the device the question named,
// its device number and volume serial as the disk service gave them, and the serial the new volume gets.
// The helper refuses when the device it opens is not that disk or does not carry that serial, and picks the
// cluster figure from the size it finds. Empty when the disk service gave no device number.
CommandLine formatCommandLine(const TKUSBDiskEntity& disk, const std::string& helper, uint32_t newSerial);
CommandLine mountCommandLine(const TKUSBDiskEntity& disk);

} // namespace nura
