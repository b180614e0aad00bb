#pragma once
// config.bin on the card: reading, and writing so that a card pulled out mid-save still holds either the
// old file or the new one whole.

#include "core/settings/FileData.h"

#include <string>

namespace nura {

enum class ReadSettingResult {
    Ok,
    CannotOpen, // missing or unreadable; the record is unchanged
    WrongSize,  // not exactly 500 bytes, so not the camera's record; the record is unchanged
    ReadFailed, // an I/O error part-way; the record is unchanged
};

// Replaces all 500 bytes of the record, cfg_ver and checksum included, with the file's; checks no field.
ReadSettingResult ReadSettingFile(const std::string& path, _FILEDATA& record);

// Writes the record's 500 bytes as they are. Returns an empty text on success, otherwise the message key
// "msg.file_open_fail" after logging the system's error; the old file is then left as it was.
std::string WriteSettingFile(const _FILEDATA& record, const std::string& path);

// A zeroed record with the factory defaults, written unsealed (checksum 0) for a freshly formatted card.
std::string WriteDefaultSettingFile(const std::string& path);

} // namespace nura
