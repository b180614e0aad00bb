// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// config.bin on the card: reading, and writing so that a card pulled out mid-save still holds either the
// old file or the new one whole.

#include "core/settings/FileData.h"
#include "core/util/SafeFile.h"

#include <cstddef>
#include <string>
#include <sys/types.h>

namespace nura {

enum class ReadSettingResult {
    Ok,
    CannotOpen, // missing or unreadable; the record is unchanged
    NotRegular, // a FIFO, device or folder in the file's place; the record is unchanged
    WrongSize,  // not exactly 500 bytes, so not the camera's record; the record is unchanged
    ReadFailed, // an I/O error part-way; the record is unchanged
};

// Replaces all 500 bytes of the record, cfg_ver and checksum included, with the file's; checks no field.
ReadSettingResult ReadSettingFile(const std::string& path, _FILEDATA& record);

// Writes the record's 500 bytes as they are, through writeFileSafely: a file beside replaces the old one,
// and a card the camera keeps full (or a folder that cannot be written) gets a regular 500-byte file
// rewritten in place, with the old bytes put back if the write stops part-way. A read-only or non-regular
// target is refused. The status says why a save failed; the old file is intact unless it is Damaged.
FileStatus SaveSettingFile(const _FILEDATA& record, const std::string& path);

// The same, as a message key after logging the system's error: empty on success,
//  - "msg.file_read_only": the file's mode says read-only, nothing was written;
//  - "msg.file_damaged": the old bytes could not be put back after a write in place stopped part-way;
//  - "msg.file_open_fail": anything else; nothing was saved and the old file is left as it was.
std::string WriteSettingFile(const _FILEDATA& record, const std::string& path);

// The call that puts bytes into a file at an offset (pwrite), shared with every safe write. Tests replace
// it to make a write stop part-way or fail; returns the previous one.
using SettingFileWriteCall = SafeFileWriteCall;
SettingFileWriteCall setSettingFileWriteCall(SettingFileWriteCall call);

// A zeroed record with the factory defaults, written unsealed (checksum 0) for a freshly formatted card.
std::string WriteDefaultSettingFile(const std::string& path);

// Holds config.bin still for one read, edit and save, so that two edits at once never lose one. The lock
// is on the file itself (flock): a card the camera keeps full has no room for a lock file beside it. A
// save renames a new file over the locked one, so once the lock is taken the path must still name the
// locked file; if it does not, the new file is locked instead. Links are followed, as the reader follows
// them. Nothing is locked when there is no regular file there (missing, a FIFO, a folder): the read that
// follows says why.
class SettingFileLock {
public:
    explicit SettingFileLock(const std::string& path);
    ~SettingFileLock();
    SettingFileLock(const SettingFileLock&) = delete;
    SettingFileLock& operator=(const SettingFileLock&) = delete;

    bool held() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

} // namespace nura
