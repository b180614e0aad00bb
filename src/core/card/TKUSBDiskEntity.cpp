// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/card/TKUSBDiskEntity.h"

#include "core/card/ByteSizeText.h"

#include <string_view>

namespace nura {

TKUSBDiskEntity::TKUSBDiskEntity(std::string volumeName, std::string mountedPath, std::string deviceFilePath,
                                 std::optional<std::string> deviceModel, uint64_t volumeSize, bool writable,
                                 bool mediaWhole, std::string key, std::string uuid, std::string driveId,
                                 std::string driveSerial, uint64_t deviceNumber)
    : m_volumeName(std::move(volumeName)), m_mountedPath(std::move(mountedPath)),
      m_deviceFilePath(std::move(deviceFilePath)), m_deviceModel(std::move(deviceModel)),
      m_volumeSize(volumeSize), m_writable(writable), m_mediaWhole(mediaWhole), m_key(std::move(key)),
      m_uuid(std::move(uuid)), m_driveId(std::move(driveId)), m_driveSerial(std::move(driveSerial)),
      m_deviceNumber(deviceNumber) {}

DiskIdentity TKUSBDiskEntity::identity() const {
    return {m_key, m_uuid, m_volumeName, m_volumeSize, m_driveId, m_driveSerial, m_deviceNumber};
}

std::string TKUSBDiskEntity::displayString() const {
    // Appended piece by piece: GCC 12 at -O3 takes `"[" + temporary` for an overlapping copy.
    std::string text = "[";
    text += byteSizeText(m_volumeSize);
    text += "] ";
    // FAT's own word for a volume without a label.
    text += m_volumeName.empty() ? std::string_view("NO NAME") : std::string_view(m_volumeName);
    text += ' ';
    if (m_deviceModel) {
        text += '<';
        text += *m_deviceModel;
        text += '>';
    }
    return text;
}

} // namespace nura
