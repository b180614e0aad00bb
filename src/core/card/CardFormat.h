// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The privileged half of the format: run by nura-format-card after authentication, on the one open
// descriptor of the disk the user was asked about. It checks that descriptor is still that disk (its
// device number and its volume serial), has the formatter write through that same descriptor, and reads
// the boot sector back before it says the card carries the new volume.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace nura {

// How the disk service and the format question name one disk: "MAJOR:MINOR" of a block device; a disk
// image (a regular file) as "MAJOR:MINOR:INODE" of the file system holding it.
std::string deviceIdOf(const struct stat& st);
// "MAJOR:MINOR" of a device number as the disk service gives it (a dev_t).
std::string deviceIdOfNumber(uint64_t deviceNumber);

// The volume serial in the first bytes of a volume, written as the disk service writes it: FAT and exFAT
// "ABCD-1234", NTFS sixteen hex digits, ext2/3/4 the lower-case UUID. Empty when no serial is found.
std::string volumeSerialOf(std::span<const std::byte> head);
// A 32-bit FAT serial as the disk service writes it: "ABCD-1234".
std::string fatSerialText(uint32_t serial);
// The serial back from "ABCD-1234" (or eight hex digits); nothing when it is not one.
std::optional<uint32_t> parseFatSerial(const std::string& text);

// Why the boot sector of a freshly made volume is not the one asked for (serial, label, FAT32, cluster
// figure, at least kMinFat32Clusters clusters); empty when it is.
std::string newVolumeMismatch(std::span<const std::byte> head, uint32_t serial, long sectorsPerCluster);

// The formatter's argument list for the descriptor `fd`: two FATs, backup boot sector 6, 32 reserved
// sectors (-a keeps them from being raised for alignment), label NURA, the given serial.
std::vector<std::string> mkfsArguments(const std::string& mkfs, int fd, long sectorsPerCluster,
                                       uint32_t serial);

} // namespace nura
