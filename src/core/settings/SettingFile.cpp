#include "core/settings/SettingFile.h"

#include "core/log.h"
#include "core/settings/FileDataRules.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace nura {
namespace {

constexpr const char* kFileOpenFail = "msg.file_open_fail";
constexpr const char* kFileDamaged = "msg.file_damaged";

class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() { close(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    int close() {
        const int fd = m_fd;
        m_fd = -1;
        return fd >= 0 ? ::close(fd) : 0;
    }

private:
    int m_fd;
};

std::string directoryOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

SettingFileWriteCall g_writeCall = &::pwrite;

// Writes the bytes from offset 0; `written` tells how many reached the file when it stops short.
bool writeAll(int fd, const unsigned char* data, std::size_t size, std::size_t& written) {
    written = 0;
    while (written < size) {
        const ssize_t n = g_writeCall(fd, data + written, size - written, static_cast<off_t>(written));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        written += static_cast<std::size_t>(n);
    }
    return true;
}

std::string fail(const char* step, int error, const std::string& tempPath) {
    logf("%s fail:%s", step, std::strerror(error));
    if (!tempPath.empty()) {
        ::unlink(tempPath.c_str());
    }
    return kFileOpenFail;
}

// No room on the card for a second file, or a folder that cannot take one: the case for rewriting in place.
bool noRoomBeside(int error) {
    return error == ENOSPC || error == EDQUOT || error == EACCES;
}

// Puts back the first `count` old bytes after a write in place stopped; the file is whole again only if
// that works.
std::string putBack(int fd, const unsigned char* old, std::size_t count, const std::string& path) {
    std::size_t restored = 0;
    if (writeAll(fd, old, count, restored) && ::fsync(fd) == 0) {
        return kFileOpenFail;
    }
    logf("restore fail:%s; %s may hold part of the new settings", std::strerror(errno), path.c_str());
    return kFileDamaged;
}

// The card's own file, rewritten where it lies: no truncation, so its clusters stay its own, and the old
// bytes are read first so that a write that stops part-way can be undone.
std::string rewriteInPlace(const _FILEDATA& record, const std::string& path) {
    // Not through a link, which the file beside would have replaced rather than followed.
    Fd file(::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW));
    if (!file.valid()) {
        return fail("fopen", errno, {});
    }
    struct stat st {};
    if (::fstat(file.get(), &st) != 0) {
        return fail("fstat", errno, {});
    }
    if (!S_ISREG(st.st_mode) || st.st_size != static_cast<off_t>(kFileDataSize)) {
        logf("%s is not a 500-byte settings file; not rewritten in place", path.c_str());
        return kFileOpenFail;
    }
    unsigned char old[kFileDataSize];
    std::size_t got = 0;
    while (got < kFileDataSize) {
        const ssize_t n = ::pread(file.get(), old + got, kFileDataSize - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return fail("fread", n < 0 ? errno : EIO, {});
        }
        got += static_cast<std::size_t>(n);
    }

    logf("rewriting %s in place", path.c_str());
    std::size_t written = 0;
    if (!writeAll(file.get(), reinterpret_cast<const unsigned char*>(&record), kFileDataSize, written)) {
        fail("fwrite", errno, {});
        return putBack(file.get(), old, written, path);
    }
    if (::fsync(file.get()) != 0) {
        fail("fsync", errno, {});
        return putBack(file.get(), old, kFileDataSize, path);
    }
    // The bytes are on the card once fsync has answered; closing cannot take them back.
    (void)file.close();
    return {};
}

// The file beside could not be created or written: gives up on it and, when the card is full or the
// folder locked, rewrites the card's file in place instead.
std::string abandonFileBeside(const char* step, int error, const std::string& tempPath,
                              const _FILEDATA& record, const std::string& path) {
    fail(step, error, tempPath);
    return noRoomBeside(error) ? rewriteInPlace(record, path) : kFileOpenFail;
}

} // namespace

SettingFileWriteCall setSettingFileWriteCall(SettingFileWriteCall call) {
    const SettingFileWriteCall previous = g_writeCall;
    g_writeCall = call ? call : &::pwrite;
    return previous;
}

ReadSettingResult ReadSettingFile(const std::string& path, _FILEDATA& record) {
    // Non-blocking so that a FIFO or device in the file's place cannot stall the open; it is refused below.
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid()) {
        return ReadSettingResult::CannotOpen;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        return ReadSettingResult::ReadFailed;
    }
    if (!S_ISREG(st.st_mode) || st.st_size != static_cast<off_t>(kFileDataSize)) {
        return ReadSettingResult::WrongSize;
    }
    // One byte more than the record, to notice a file that grew since fstat.
    unsigned char buffer[kFileDataSize + 1];
    std::size_t got = 0;
    while (got < sizeof buffer) {
        const ssize_t n = ::read(fd.get(), buffer + got, sizeof buffer - got);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return ReadSettingResult::ReadFailed;
        }
        if (n == 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    if (got != kFileDataSize) {
        return ReadSettingResult::WrongSize;
    }
    std::memcpy(&record, buffer, kFileDataSize);
    return ReadSettingResult::Ok;
}

std::string WriteSettingFile(const _FILEDATA& record, const std::string& path) {
    // The new bytes go to a file beside the old one and replace it by rename, which is atomic on the same
    // file system: truncating the card's file in place would leave it empty or half-written if the card
    // were pulled out or the write failed.
    const std::string dir = directoryOf(path);
    const auto slash = path.find_last_of('/');
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    if (base.empty()) {
        return fail("fopen", EISDIR, {});
    }

    std::string tempPath;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        tempPath = (dir == "/" ? "" : dir) + "/." + base + ".new" + std::to_string(::getpid()) + "-" +
                   std::to_string(attempt);
        fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) {
            break;
        }
    }
    if (fd < 0) {
        return abandonFileBeside("fopen", errno, {}, record, path);
    }
    Fd file(fd);

    // Keep the permissions of the file being replaced.
    struct stat old {};
    if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        (void)::fchmod(file.get(), old.st_mode & 07777);
    }

    std::size_t written = 0;
    if (!writeAll(file.get(), reinterpret_cast<const unsigned char*>(&record), kFileDataSize, written)) {
        return abandonFileBeside("fwrite", errno, tempPath, record, path);
    }
    // A card that is full may only say so when the data is flushed.
    if (::fsync(file.get()) != 0) {
        return abandonFileBeside("fsync", errno, tempPath, record, path);
    }
    if (file.close() != 0) {
        return abandonFileBeside("fclose", errno, tempPath, record, path);
    }
    if (::rename(tempPath.c_str(), path.c_str()) != 0) {
        return fail("rename", errno, tempPath);
    }
    // Make the rename itself durable; a folder that cannot be synced does not undo the save.
    Fd folder(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.valid()) {
        (void)::fsync(folder.get());
    }
    return {};
}

std::string WriteDefaultSettingFile(const std::string& path) {
    _FILEDATA record{};
    SetDefaultFileData(record);
    return WriteSettingFile(record, path);
}

} // namespace nura
