#pragma once
// config.bin on the card: reading, and writing so that a card pulled out mid-save still holds either the
// old file or the new one whole.

#include "core/settings/FileData.h"

#include <cstddef>
#include <string>
#include <sys/types.h>

namespace nura {

enum class ReadSettingResult {
    Ok,
    CannotOpen, // missing or unreadable; the record is unchanged
    WrongSize,  // not exactly 500 bytes, so not the camera's record; the record is unchanged
    ReadFailed, // an I/O error part-way; the record is unchanged
};

// Replaces all 500 bytes of the record, cfg_ver and checksum included, with the file's; checks no field.
ReadSettingResult ReadSettingFile(const std::string& path, _FILEDATA& record);

// Writes the record's 500 bytes as they are. Returns an empty text on success, otherwise a message key after
// logging the system's error:
//  - "msg.file_open_fail": nothing was saved and the old file is left as it was;
//  - "msg.file_damaged": the file was being rewritten in place, the write stopped part-way and its old
//    bytes could not be put back, so it may now hold a mix of old and new bytes.
// The new bytes normally go to a file beside the old one that then replaces it. A card the camera keeps
// full, or a folder that cannot be written, has no room for that file: a regular 500-byte file is then
// rewritten in place, and a write that stops part-way puts the old bytes back.
std::string WriteSettingFile(const _FILEDATA& record, const std::string& path);

// The call that puts bytes into a file at an offset (pwrite). Tests replace it to make a write stop
// part-way or fail; returns the previous one.
using SettingFileWriteCall = ssize_t (*)(int fd, const void* data, std::size_t size, off_t offset);
SettingFileWriteCall setSettingFileWriteCall(SettingFileWriteCall call);

// A zeroed record with the factory defaults, written unsealed (checksum 0) for a freshly formatted card.
std::string WriteDefaultSettingFile(const std::string& path);

} // namespace nura
