// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One mounted USB volume as the disk service describes it. An immutable value: a list of them is a
// snapshot, and a disk is found again after re-enumeration by its deviceFilePath.

#include <cstdint>
#include <optional>
#include <string>

namespace nura {

// What tells one medium from another in the same reader: a card swapped in keeps the reader's drive id and
// often the device name, but not its volume serial. Empty texts where the disk service gave none.
struct DiskIdentity {
    std::string objectPath; // the block's path in the disk service (the entity's key)
    std::string uuid;       // the volume serial (FAT's, as "ABCD-1234")
    std::string label;
    uint64_t size = 0;
    std::string driveId; // the reader's and its medium's id, as the disk service gives it
    std::string driveSerial;
    uint64_t deviceNumber = 0; // the block device's dev_t; 0 when the disk service gave none

    bool operator==(const DiskIdentity&) const = default;
};

class TKUSBDiskEntity {
public:
    TKUSBDiskEntity(std::string volumeName, std::string mountedPath, std::string deviceFilePath,
                    std::optional<std::string> deviceModel, uint64_t volumeSize, bool writable,
                    bool mediaWhole, std::string key, std::string uuid = {}, std::string driveId = {},
                    std::string driveSerial = {}, uint64_t deviceNumber = 0);

    const std::string& volumeName() const { return m_volumeName; } // "" when the volume has no label
    const std::string& mountedPath() const { return m_mountedPath; }
    const std::string& deviceFilePath() const { return m_deviceFilePath; } // e.g. /dev/sdb1
    const std::optional<std::string>& deviceModel() const { return m_deviceModel; }
    uint64_t volumeSize() const { return m_volumeSize; }
    bool writable() const { return m_writable; }
    bool mediaWhole() const { return m_mediaWhole; }
    const std::string& key() const { return m_key; } // the medium's path in the disk service
    const std::string& uuid() const { return m_uuid; }
    uint64_t deviceNumber() const { return m_deviceNumber; } // dev_t; 0 when unknown
    // Everything the format checks again before it erases the disk.
    DiskIdentity identity() const;

    // "[7.4 GB] NURA " or "[7.4 GB] NURA <Card Reader>"; a volume without a label shows as NO NAME.
    std::string displayString() const;

    bool operator==(const TKUSBDiskEntity&) const = default;

private:
    std::string m_volumeName;
    std::string m_mountedPath;
    std::string m_deviceFilePath;
    std::optional<std::string> m_deviceModel;
    uint64_t m_volumeSize;
    bool m_writable;
    bool m_mediaWhole;
    std::string m_key;
    std::string m_uuid;
    std::string m_driveId;
    std::string m_driveSerial;
    uint64_t m_deviceNumber;
};

} // namespace nura
