// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/util/SafeFile.h"

#include "core/log.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace nura {

namespace {

SafeFileWriteCall g_writeCall = &::pwrite;
SafeFileStepHook g_stepHook = nullptr;

int injected(SafeFileStep step) {
    return g_stepHook ? g_stepHook(step) : 0;
}

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

std::string baseOfPath(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string join(const std::string& dir, const std::string& name) {
    return (dir == "/" ? "" : dir) + "/" + name;
}

// Writes from `offset`; `written` tells how many reached the file when it stops short.
bool writeAllAt(int fd, const char* data, std::size_t size, uint64_t offset, std::size_t& written) {
    written = 0;
    while (written < size) {
        const ssize_t n =
            g_writeCall(fd, data + written, size - written, static_cast<off_t>(offset + written));
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

bool syncFd(int fd) {
    if (const int e = injected(SafeFileStep::Sync)) {
        errno = e;
        return false;
    }
    return ::fsync(fd) == 0;
}

// No room on the disk for a second file, or a folder that cannot take one.
bool noRoomBeside(int error) {
    return error == ENOSPC || error == EDQUOT || error == EACCES;
}

bool processIsGone(long pid) {
    if (pid <= 0 || pid == static_cast<long>(::getpid())) {
        return false;
    }
    return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

// Digits from `at` to the first of `stop`; -1 when there are none or another byte comes first.
long digitsUntil(std::string_view s, size_t& at, char stop) {
    long v = 0;
    const size_t start = at;
    while (at < s.size() && s[at] >= '0' && s[at] <= '9' && at - start < 9) {
        v = v * 10 + (s[at] - '0');
        ++at;
    }
    if (at == start || at >= s.size() || s[at] != stop) {
        return -1;
    }
    ++at;
    return v;
}

// The part of a target's name its temporary file carries: all of it, unless the name is so long that
// ".NAME.nura-PID-N.tmp" would pass the file system's limit of 255 bytes a name; then its start, cut
// where a character begins so that a card that stores names as UTF-16 takes it.
std::string temporaryStem(const std::string& base) {
    constexpr size_t kNameMax = 255;
    constexpr size_t kAround = std::string_view(".").size() + std::string_view(".nura-").size() +
                               10 /* pid */ + 1 + 2 /* attempt */ + std::string_view(".tmp").size();
    if (base.size() + kAround <= kNameMax) {
        return base;
    }
    size_t cut = kNameMax - kAround;
    while (cut > 0 && (static_cast<unsigned char>(base[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    return base.substr(0, cut);
}

// The process that left a temporary file of `base`, or -1 when the name is not ours. Both this
// program's pattern ".NAME.nura-PID-N.tmp" and the earlier ".NAME.newPID-N" of config.bin saves.
long ownerOfTempName(std::string_view name, const std::string& base) {
    const std::string prefix = "." + temporaryStem(base) + ".";
    if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix) {
        return -1;
    }
    std::string_view rest = name.substr(prefix.size());
    size_t at = 0;
    if (rest.starts_with("nura-")) {
        at = 5;
        const long pid = digitsUntil(rest, at, '-');
        if (pid < 0 || !rest.substr(at).ends_with(".tmp")) {
            return -1;
        }
        const std::string_view n = rest.substr(at, rest.size() - at - 4);
        return !n.empty() && std::all_of(n.begin(), n.end(), [](char c) { return c >= '0' && c <= '9'; })
                   ? pid
                   : -1;
    }
    if (rest.starts_with("new")) {
        at = 3;
        const long pid = digitsUntil(rest, at, '-');
        const std::string_view n = rest.substr(at);
        return pid >= 0 && !n.empty() &&
                       std::all_of(n.begin(), n.end(), [](char c) { return c >= '0' && c <= '9'; })
                   ? pid
                   : -1;
    }
    return -1;
}

void removeStaleTemps(const std::string& dir, const std::string& base) {
    DIR* d = ::opendir(dir.c_str());
    if (!d) {
        return;
    }
    std::vector<std::string> stale;
    while (const dirent* e = ::readdir(d)) {
        const long owner = ownerOfTempName(e->d_name, base);
        if (owner > 0 && processIsGone(owner)) {
            stale.emplace_back(e->d_name);
        }
    }
    ::closedir(d);
    for (const auto& name : stale) {
        const std::string p = join(dir, name);
        struct stat st {};
        // Only plain files: a link or folder of that name is not something this program left.
        if (::lstat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::unlink(p.c_str()) == 0) {
            logf("removed %s, left by an earlier save that did not finish", p.c_str());
        }
    }
}

// The target as it stands: refused when it is not a regular file or a link, or is read-only.
FileStatus checkTarget(const std::string& path, mode_t& modeToKeep, bool& exists) {
    exists = false;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return errno == ENOENT ? FileStatus{} : FileStatus{FileFault::CannotOpen, errno};
    }
    exists = true;
    if (S_ISLNK(st.st_mode)) {
        // The link itself is replaced; it keeps nothing of what it pointed at.
        return {};
    }
    if (!S_ISREG(st.st_mode)) {
        return {FileFault::NotRegular, S_ISDIR(st.st_mode) ? EISDIR : 0};
    }
    // Root passes access() on any file, so the mode bits decide: on FAT they are the read-only attribute.
    if ((st.st_mode & 0222) == 0) {
        return {FileFault::ReadOnly, EACCES};
    }
    modeToKeep = st.st_mode & 07777;
    return {};
}

// The target rewritten where it lies: no truncation, so its clusters stay its own, and the old bytes are
// read first so that a write that stops part-way can be undone.
FileStatus rewriteInPlace(const std::string& path, std::string_view bytes) {
    // Not through a link, which the file beside would have replaced rather than followed.
    Fd file(::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW));
    if (!file.valid()) {
        return {FileFault::Io, errno};
    }
    struct stat st {};
    if (::fstat(file.get(), &st) != 0) {
        return {FileFault::Io, errno};
    }
    if (!S_ISREG(st.st_mode)) {
        return {FileFault::NotRegular, 0};
    }
    if (st.st_size != static_cast<off_t>(bytes.size())) {
        logf("%s is %lld bytes, not %zu: not rewritten in place", path.c_str(),
             static_cast<long long>(st.st_size), bytes.size());
        return {FileFault::Io, ENOSPC};
    }
    std::string old(bytes.size(), '\0');
    std::size_t got = 0;
    while (got < old.size()) {
        const ssize_t n = ::pread(file.get(), old.data() + got, old.size() - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return {FileFault::Io, n < 0 ? errno : EIO};
        }
        got += static_cast<std::size_t>(n);
    }

    logf("rewriting %s in place", path.c_str());
    auto putBack = [&](std::size_t count, int why) -> FileStatus {
        std::size_t restored = 0;
        if (writeAllAt(file.get(), old.data(), count, 0, restored) && syncFd(file.get())) {
            return {FileFault::Io, why};
        }
        logf("restore fail:%s; %s may hold part of the new contents", std::strerror(errno), path.c_str());
        return {FileFault::Damaged, why};
    };
    std::size_t written = 0;
    if (!writeAllAt(file.get(), bytes.data(), bytes.size(), 0, written)) {
        const int why = errno;
        logf("fwrite fail:%s", std::strerror(why));
        return putBack(written, why);
    }
    if (!syncFd(file.get())) {
        const int why = errno;
        logf("fsync fail:%s", std::strerror(why));
        return putBack(bytes.size(), why);
    }
    // The bytes are on the disk once fsync has answered; closing cannot take them back.
    (void)file.close();
    return {};
}

// Puts the finished file in place; without `replace` an existing name (even a link) is kept: EEXIST.
bool renameOver(const std::string& from, const std::string& to, bool replace) {
    if (replace) {
        return ::rename(from.c_str(), to.c_str()) == 0;
    }
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    // A file system without the no-replace rename: look, then rename.
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::rename(from.c_str(), to.c_str()) == 0;
}

} // namespace

std::string describeWriteError(int error) {
    return error == ENOSPC ? std::string("the disk is full") : std::string(std::strerror(error));
}

std::string FileStatus::describe() const {
    switch (fault) {
    case FileFault::None:
        return "done";
    case FileFault::NotRegular:
        return error == EISDIR ? "is a directory, not a regular file" : "not a regular file";
    case FileFault::ReadOnly:
        return "the file is read-only";
    case FileFault::Damaged:
        return std::string(std::strerror(error)) + "; the old contents could not be put back";
    case FileFault::CannotOpen:
    case FileFault::Io:
        break;
    }
    return std::strerror(error ? error : EIO);
}

std::string directoryOfPath(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// ---- Reading ----

ReadableFile::~ReadableFile() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

ReadableFile::ReadableFile(ReadableFile&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_size(other.m_size), m_status(other.m_status),
      m_readError(other.m_readError) {}

ReadableFile& ReadableFile::operator=(ReadableFile&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = std::exchange(other.m_fd, -1);
        m_size = other.m_size;
        m_status = other.m_status;
        m_readError = other.m_readError;
    }
    return *this;
}

ReadableFile ReadableFile::open(const std::string& path) {
    ReadableFile file;
    // Not blocking: opening a FIFO for reading would otherwise wait for a writer that never comes.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        file.m_status = {errno == ENXIO ? FileFault::NotRegular : FileFault::CannotOpen, errno};
        return file;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        file.m_status = {FileFault::CannotOpen, errno};
        ::close(fd);
        return file;
    }
    if (!S_ISREG(st.st_mode)) {
        file.m_status = {FileFault::NotRegular, S_ISDIR(st.st_mode) ? EISDIR : 0};
        ::close(fd);
        return file;
    }
    file.m_fd = fd;
    file.m_size = static_cast<uint64_t>(st.st_size);
    file.m_status = {};
    return file;
}

bool ReadableFile::readAt(uint64_t position, std::span<std::byte> out) const {
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n =
            ::pread(m_fd, out.data() + done, out.size() - done, static_cast<off_t>(position + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            if (m_readError == 0) {
                m_readError = errno;
            }
            return false;
        }
        if (n == 0) {
            return false; // the file shrank
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

int ReadableFile::release() {
    return std::exchange(m_fd, -1);
}

FileBytes readFileBytes(const std::string& path, uint64_t limit) {
    FileBytes out;
    const ReadableFile file = ReadableFile::open(path);
    out.status = file.status();
    if (!file.ok()) {
        return out;
    }
    const uint64_t wanted = std::min(file.size(), limit);
    out.cappedAtLimit = file.size() > limit;
    out.bytes.resize(static_cast<std::size_t>(wanted));
    std::size_t got = 0;
    while (got < out.bytes.size()) {
        const ssize_t n = ::read(file.fd(), out.bytes.data() + got, out.bytes.size() - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            out.status = {FileFault::Io, errno};
            out.bytes.clear();
            return out;
        }
        if (n == 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    out.bytes.resize(got);
    return out;
}

// ---- Writing ----

SafeFileWriter::SafeFileWriter(std::string path, WriteFallback fallback)
    : m_path(std::move(path)), m_fallback(fallback) {}

SafeFileWriter::~SafeFileWriter() {
    cancel();
}

void SafeFileWriter::cancel() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_tempPath.empty()) {
        ::unlink(m_tempPath.c_str());
        m_tempPath.clear();
    }
}

// The file beside cannot be had: gives it up and, for a fixed-size file on a full disk, goes on in place.
FileStatus SafeFileWriter::abandon(FileStatus why) {
    cancel();
    if (why.fault == FileFault::Io && m_fallback == WriteFallback::InPlaceWhenFull &&
        noRoomBeside(why.error)) {
        logf("no room beside %s (%s): rewriting it in place", m_path.c_str(), std::strerror(why.error));
        m_status = {};
        m_inPlace = true;
        m_noRoomError = why.error;
        return {};
    }
    m_status = why;
    return why;
}

FileStatus SafeFileWriter::begin() {
    const std::string base = baseOfPath(m_path);
    if (base.empty() || base == "." || base == "..") {
        return m_status = {FileFault::NotRegular, EISDIR};
    }
    mode_t mode = 0;
    bool exists = false;
    if (const FileStatus target = checkTarget(m_path, mode, exists); !target.ok()) {
        return m_status = target;
    }
    const std::string dir = directoryOfPath(m_path);
    removeStaleTemps(dir, base);
    int fd = -1;
    int error = 0;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        m_tempPath = join(dir, "." + temporaryStem(base) + ".nura-" + std::to_string(::getpid()) + "-" +
                                   std::to_string(attempt) + ".tmp");
        if ((error = injected(SafeFileStep::CreateTemp)) != 0) {
            break;
        }
        fd = ::open(m_tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        error = fd < 0 ? errno : 0;
        if (fd < 0 && error != EEXIST) {
            break;
        }
    }
    if (fd < 0) {
        m_tempPath.clear();
        logf("fopen fail:%s (beside %s)", std::strerror(error), m_path.c_str());
        return abandon({error == ENOENT || error == ENOTDIR ? FileFault::CannotOpen : FileFault::Io, error});
    }
    m_fd = fd;
    if (mode != 0) {
        (void)::fchmod(m_fd, mode);
    }
    return {};
}

bool SafeFileWriter::write(std::string_view bytes) {
    if (!m_status.ok()) {
        return false;
    }
    if (m_fallback == WriteFallback::InPlaceWhenFull) {
        m_kept.append(bytes);
    }
    if (m_inPlace) {
        return true;
    }
    if (m_fd < 0) {
        m_status = {FileFault::Io, EBADF};
        return false;
    }
    std::size_t written = 0;
    if (!writeAllAt(m_fd, bytes.data(), bytes.size(), m_written, written)) {
        const int error = errno;
        logf("fwrite fail:%s", std::strerror(error));
        return abandon({FileFault::Io, error}).ok();
    }
    m_written += bytes.size();
    return true;
}

FileStatus SafeFileWriter::commit(Replace replace) {
    if (!m_status.ok()) {
        cancel();
        return m_status;
    }
    if (m_inPlace) {
        m_inPlace = false;
        if (replace == Replace::Never) {
            return m_status = {FileFault::Io, EEXIST}; // rewriting in place is replacing
        }
        m_status = rewriteInPlace(m_path, m_kept);
        if (m_status.fault == FileFault::Io && (m_status.error == ENOENT || m_status.error == ELOOP)) {
            // No file of its own to rewrite (none, or a link): the reason is still the full disk.
            m_status.error = m_noRoomError;
        }
        return m_status;
    }
    if (m_fd < 0) {
        return m_status = {FileFault::Io, EBADF};
    }
    // A full disk may only say so when the data is flushed.
    if (!syncFd(m_fd)) {
        const int error = errno;
        logf("fsync fail:%s", std::strerror(error));
        if (!abandon({FileFault::Io, error}).ok() || !m_inPlace) {
            return m_status;
        }
        return commit(replace);
    }
    const int fd = std::exchange(m_fd, -1);
    if (::close(fd) != 0) {
        const int error = errno;
        logf("fclose fail:%s", std::strerror(error));
        if (!abandon({FileFault::Io, error}).ok() || !m_inPlace) {
            return m_status;
        }
        return commit(replace);
    }
    int error = injected(SafeFileStep::Rename);
    if (error == 0 && !renameOver(m_tempPath, m_path, replace == Replace::Always)) {
        error = errno;
    }
    if (error != 0) {
        logf("rename fail:%s", std::strerror(error));
        cancel();
        return m_status = {error == EISDIR ? FileFault::NotRegular : FileFault::Io, error};
    }
    m_tempPath.clear();
    // Make the rename itself durable; a folder that cannot be synced does not undo the save.
    Fd folder(::open(directoryOfPath(m_path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.valid()) {
        (void)::fsync(folder.get());
    }
    return {};
}

FileStatus writeFileSafely(const std::string& path, std::string_view bytes, WriteFallback fallback) {
    SafeFileWriter writer(path, fallback);
    if (const FileStatus s = writer.begin(); !s.ok()) {
        return s;
    }
    writer.write(bytes);
    return writer.commit();
}

SafeFileWriteCall setSafeFileWriteCall(SafeFileWriteCall call) {
    const SafeFileWriteCall previous = g_writeCall;
    g_writeCall = call ? call : &::pwrite;
    return previous;
}

SafeFileStepHook setSafeFileStepHook(SafeFileStepHook hook) {
    const SafeFileStepHook previous = g_stepHook;
    g_stepHook = hook;
    return previous;
}

} // namespace nura
