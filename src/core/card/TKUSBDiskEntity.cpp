#include "core/card/TKUSBDiskEntity.h"

#include "core/card/ByteSizeText.h"

namespace nura {

TKUSBDiskEntity::TKUSBDiskEntity(std::string volumeName, std::string mountedPath, std::string deviceFilePath,
                                 std::optional<std::string> deviceModel, uint64_t volumeSize, bool writable,
                                 bool mediaWhole, std::string key)
    : m_volumeName(std::move(volumeName)), m_mountedPath(std::move(mountedPath)),
      m_deviceFilePath(std::move(deviceFilePath)), m_deviceModel(std::move(deviceModel)),
      m_volumeSize(volumeSize), m_writable(writable), m_mediaWhole(mediaWhole), m_key(std::move(key)) {}

std::string TKUSBDiskEntity::displayString() const {
    // FAT's own word for a volume without a label.
    std::string text =
        "[" + byteSizeText(m_volumeSize) + "] " + (m_volumeName.empty() ? "NO NAME" : m_volumeName);
    text += ' ';
    if (m_deviceModel) {
        text += "<" + *m_deviceModel + ">";
    }
    return text;
}

} // namespace nura
