// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/mp4/Mp4Sink.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace nura {

bool Mp4MemorySink::write(std::span<const std::byte> bytes) {
    m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
    return true;
}

bool Mp4MemorySink::patch(uint64_t position, std::span<const std::byte> bytes) {
    if (position > m_bytes.size() || bytes.size() > m_bytes.size() - position) {
        return false;
    }
    std::copy(bytes.begin(), bytes.end(), m_bytes.begin() + static_cast<ptrdiff_t>(position));
    return true;
}

bool Mp4MemorySink::reserve(uint64_t n) {
    m_bytes.resize(m_bytes.size() + n);
    return true;
}

Mp4FileSink::Mp4FileSink(int fd, size_t bufferSize)
    : m_fd(fd), m_capacity(std::max<size_t>(bufferSize, 4096)) {
    m_buffer.reserve(m_capacity);
}

bool Mp4FileSink::writeAt(uint64_t position, std::span<const std::byte> bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::pwrite(m_fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(position + done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            m_errno = n < 0 ? errno : ENOSPC;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

bool Mp4FileSink::writeAll(std::span<const std::byte> bytes) {
    // At the sink's own position: bytes that others copy into the file (reserved here) are passed
    // over without moving the descriptor's offset for each of them.
    if (!writeAt(m_written, bytes)) {
        return false;
    }
    m_written += bytes.size();
    return true;
}

bool Mp4FileSink::write(std::span<const std::byte> bytes) {
    if (m_errno != 0) {
        return false;
    }
    if (m_buffer.size() + bytes.size() > m_capacity) {
        if (!flush()) {
            return false;
        }
        // A block as large as the buffer goes straight out rather than through it.
        if (bytes.size() >= m_capacity) {
            return writeAll(bytes);
        }
    }
    m_buffer.insert(m_buffer.end(), bytes.begin(), bytes.end());
    return true;
}

bool Mp4FileSink::flush() {
    if (m_errno != 0) {
        return false;
    }
    const bool ok = writeAll(m_buffer);
    m_buffer.clear();
    return ok;
}

bool Mp4FileSink::reserve(uint64_t n) {
    if (!flush()) {
        return false;
    }
    m_written += n;
    return true;
}

bool Mp4FileSink::patch(uint64_t position, std::span<const std::byte> bytes) {
    if (!flush()) {
        return false;
    }
    if (position > m_written || bytes.size() > m_written - position) {
        return false;
    }
    return writeAt(position, bytes);
}

} // namespace nura
