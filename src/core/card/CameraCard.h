// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which mounted volume is the camera's card, and which volume holds a given file.

#include "core/card/TKUSBDiskEntity.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace nura {

inline constexpr const char* kCameraVolumeName = "NURA";
inline constexpr const char* kSettingFileName = "config.bin";

using PathExists = std::function<bool(const std::string& path)>;

// True for a file or folder at the path; never throws.
bool pathExists(const std::string& path);

// The volume root joined with a name by one "/".
std::string pathInVolume(const std::string& volumeRoot, const std::string& name);

// Passes over the list in order, the first disk that meets a pass wins: labelled NURA, writable and holding
// config.bin; labelled NURA and writable; labelled NURA; writable; any. The label outranks writability.
std::optional<TKUSBDiskEntity> findCameraCardDisk(const std::vector<TKUSBDiskEntity>& disks,
                                                  const PathExists& exists = pathExists);

// The first volume root whose top level holds an item of that name.
std::optional<std::string> findVolumeContainingFile(const std::vector<std::string>& volumeRoots,
                                                    const std::string& name,
                                                    const PathExists& exists = pathExists);

} // namespace nura
