#include "core/telemetry/ORBByteSource.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nura {

bool ORBMemoryByteSource::readAt(uint64_t position, std::span<std::byte> out) {
    if (position > m_bytes.size() || out.size() > m_bytes.size() - position) {
        return false;
    }
    std::copy_n(m_bytes.begin() + static_cast<ptrdiff_t>(position), out.size(), out.begin());
    return true;
}

std::unique_ptr<ORBFileByteSource> ORBFileByteSource::open(const std::string& path) {
    // Not blocking: opening a named pipe for reading would otherwise wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return nullptr;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<ORBFileByteSource>(new ORBFileByteSource(fd, static_cast<uint64_t>(st.st_size)));
}

ORBFileByteSource::~ORBFileByteSource() {
    ::close(m_fd);
}

bool ORBFileByteSource::readAt(uint64_t position, std::span<std::byte> out) {
    if (position > m_size || out.size() > m_size - position) {
        return false;
    }
    size_t done = 0;
    while (done < out.size()) {
        const ssize_t n =
            ::pread(m_fd, out.data() + done, out.size() - done, static_cast<off_t>(position + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false; // the file shrank, or a read error
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace nura
