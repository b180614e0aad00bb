// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/settings/SettingFile.h"

#include "core/log.h"
#include "core/settings/FileDataRules.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nura {

SettingFileWriteCall setSettingFileWriteCall(SettingFileWriteCall call) {
    return setSafeFileWriteCall(call);
}

ReadSettingResult ReadSettingFile(const std::string& path, _FILEDATA& record) {
    const ReadableFile file = ReadableFile::open(path);
    switch (file.status().fault) {
    case FileFault::None:
        break;
    case FileFault::NotRegular:
        return ReadSettingResult::NotRegular;
    default:
        return ReadSettingResult::CannotOpen;
    }
    if (file.size() != kFileDataSize) {
        return ReadSettingResult::WrongSize;
    }
    // One byte more than the record, to notice a file that grew since it was opened.
    std::byte buffer[kFileDataSize + 1];
    if (!file.readAt(0, std::span(buffer).first(kFileDataSize))) {
        return ReadSettingResult::ReadFailed;
    }
    std::byte extra[1];
    if (file.readAt(kFileDataSize, extra)) {
        return ReadSettingResult::WrongSize;
    }
    std::memcpy(&record, buffer, kFileDataSize);
    return ReadSettingResult::Ok;
}

FileStatus SaveSettingFile(const _FILEDATA& record, const std::string& path) {
    return writeFileSafely(path, std::string_view(reinterpret_cast<const char*>(&record), kFileDataSize),
                           WriteFallback::InPlaceWhenFull);
}

std::string WriteSettingFile(const _FILEDATA& record, const std::string& path) {
    const FileStatus status = SaveSettingFile(record, path);
    switch (status.fault) {
    case FileFault::None:
        return {};
    case FileFault::ReadOnly:
        logf("%s is read-only; not replaced", path.c_str());
        return "msg.file_read_only";
    case FileFault::Damaged:
        logf("%s: %s", path.c_str(), status.describe().c_str());
        return "msg.file_damaged";
    default:
        logf("fopen fail:%s: %s", path.c_str(), status.describe().c_str());
        return "msg.file_open_fail";
    }
}

SettingFileLock::SettingFileLock(const std::string& path) {
    // Each turn finds the file another save put in place while this one waited.
    for (int turn = 0; turn < 64; ++turn) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            return;
        }
        struct stat locked {};
        if (::fstat(fd, &locked) != 0 || !S_ISREG(locked.st_mode)) {
            ::close(fd);
            return;
        }
        int taken = 0;
        while ((taken = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
        }
        struct stat now {};
        if (taken == 0 && ::stat(path.c_str(), &now) == 0 && now.st_dev == locked.st_dev &&
            now.st_ino == locked.st_ino) {
            m_fd = fd;
            return;
        }
        ::close(fd);
        if (taken != 0) {
            logf("cannot lock %s: %s", path.c_str(), std::strerror(errno));
            return;
        }
    }
}

SettingFileLock::~SettingFileLock() {
    if (m_fd >= 0) {
        ::close(m_fd); // and with it the lock
    }
}

std::string WriteDefaultSettingFile(const std::string& path) {
    _FILEDATA record{};
    SetDefaultFileData(record);
    return WriteSettingFile(record, path);
}

} // namespace nura
