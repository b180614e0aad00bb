// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A mounted volume as the platform's disk service describes it, before any rule is applied. A field the
// service did not give is empty; the rules below decide what an incomplete description is worth.

#include "core/card/TKUSBDiskEntity.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace nura {

inline constexpr const char* kUsbProtocol = "USB";

struct VolumeDescription {
    std::string mountPath; // the volume root
    std::optional<std::string> volumeName;
    bool removable = false;
    std::optional<std::string> protocol; // "USB" for a disk attached by USB
    std::optional<std::string> deviceName;
    std::optional<std::string> deviceModel;
    std::optional<uint64_t> mediaSize;
    std::optional<bool> writable;
    std::optional<bool> mediaWhole;
    std::string key;
    std::optional<std::string> uuid; // the volume serial
    std::optional<std::string> driveId;
    std::optional<std::string> driveSerial;
    std::optional<uint64_t> deviceNumber; // the block device's dev_t
};

// The identity of the described volume (DiskIdentity of TKUSBDiskEntity.h).
DiskIdentity diskIdentity(const VolumeDescription& v);

// Mount paths of the removable volumes, in the order given.
std::vector<std::string> removableVolumePaths(const std::vector<VolumeDescription>& volumes);
// Mount paths of the removable volumes attached by USB (protocol exactly "USB").
std::vector<std::string> usbVolumePaths(const std::vector<VolumeDescription>& volumes);
// One entity per removable USB volume that has a device name. A missing size counts as 0, a missing
// write-protection state as write-protected, a missing whole-medium flag as a partition.
std::vector<TKUSBDiskEntity> usbDiskEntities(const std::vector<VolumeDescription>& volumes);

} // namespace nura
