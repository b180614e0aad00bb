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

bool writeAll(int fd, const unsigned char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
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

} // namespace

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
        return fail("fopen", errno, {});
    }
    Fd file(fd);

    // Keep the permissions of the file being replaced.
    struct stat old {};
    if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        (void)::fchmod(file.get(), old.st_mode & 07777);
    }

    if (!writeAll(file.get(), reinterpret_cast<const unsigned char*>(&record), kFileDataSize)) {
        return fail("fwrite", errno, tempPath);
    }
    if (::fsync(file.get()) != 0) {
        return fail("fsync", errno, tempPath);
    }
    if (file.close() != 0) {
        return fail("fclose", errno, tempPath);
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
