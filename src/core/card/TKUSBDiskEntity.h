#pragma once
// One mounted USB volume as the disk service describes it. An immutable value: a list of them is a
// snapshot, and a disk is found again after re-enumeration by its deviceFilePath.

#include <cstdint>
#include <optional>
#include <string>

namespace nura {

class TKUSBDiskEntity {
public:
    TKUSBDiskEntity(std::string volumeName, std::string mountedPath, std::string deviceFilePath,
                    std::optional<std::string> deviceModel, uint64_t volumeSize, bool writable,
                    bool mediaWhole, std::string key);

    const std::string& volumeName() const { return m_volumeName; } // "" when the volume has no label
    const std::string& mountedPath() const { return m_mountedPath; }
    const std::string& deviceFilePath() const { return m_deviceFilePath; } // e.g. /dev/sdb1
    const std::optional<std::string>& deviceModel() const { return m_deviceModel; }
    uint64_t volumeSize() const { return m_volumeSize; }
    bool writable() const { return m_writable; }
    bool mediaWhole() const { return m_mediaWhole; }
    const std::string& key() const { return m_key; } // the medium's path in the disk service

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
};

} // namespace nura
