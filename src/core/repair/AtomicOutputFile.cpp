#include "core/repair/AtomicOutputFile.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace nura {
namespace {

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

AtomicOutputFile::~AtomicOutputFile() {
    discard();
}

bool AtomicOutputFile::open(const std::string& target) {
    discard();
    m_target = target;
    const auto slash = target.rfind('/');
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string pattern = folderOf(target) + "/." + name + ".part-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    const int fd = ::mkostemp(buf.data(), O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    ::fchmod(fd, 0644);
    m_fd = fd;
    m_temp = buf.data();
    return true;
}

bool AtomicOutputFile::commit(bool replace) {
    if (m_fd < 0) {
        errno = EBADF;
        return false;
    }
    if (::fsync(m_fd) != 0) {
        const int e = errno;
        discard();
        errno = e;
        return false;
    }
    const int closed = ::close(m_fd);
    m_fd = -1;
    int renamed = -1;
    if (closed == 0) {
        if (replace) {
            renamed = ::rename(m_temp.c_str(), m_target.c_str());
        } else {
            renamed = ::renameat2(AT_FDCWD, m_temp.c_str(), AT_FDCWD, m_target.c_str(), RENAME_NOREPLACE);
            if (renamed != 0 && (errno == EINVAL || errno == ENOSYS)) {
                // A file system without the no-replace rename: check, then rename.
                struct stat st {};
                if (::lstat(m_target.c_str(), &st) == 0) {
                    errno = EEXIST;
                } else {
                    renamed = ::rename(m_temp.c_str(), m_target.c_str());
                }
            }
        }
    }
    if (closed != 0 || renamed != 0) {
        const int e = errno;
        discard();
        errno = e;
        return false;
    }
    m_temp.clear();
    const int dir = ::open(folderOf(m_target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

void AtomicOutputFile::discard() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temp.empty()) {
        ::unlink(m_temp.c_str());
        m_temp.clear();
    }
}

} // namespace nura
