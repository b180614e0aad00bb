// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where a written MP4 goes: memory for tests and the sample writers, a file descriptor for real output.
// Writes go out in order; one earlier range may be patched afterwards (the media data's size).

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace nura {

class Mp4Sink {
public:
    virtual ~Mp4Sink() = default;
    virtual bool write(std::span<const std::byte> bytes) = 0;
    // Replaces bytes already written at `position`.
    virtual bool patch(uint64_t position, std::span<const std::byte> bytes) = 0;
    // Everything written so far has reached the file (or the buffer).
    virtual bool flush() = 0;
    // Moves past `n` bytes that are placed at the current position by other means (a copy from one
    // file to another in the kernel); they read as zeros until then.
    virtual bool reserve(uint64_t n) = 0;
    virtual uint64_t position() const = 0;
};

class Mp4MemorySink final : public Mp4Sink {
public:
    bool write(std::span<const std::byte> bytes) override;
    bool patch(uint64_t position, std::span<const std::byte> bytes) override;
    bool flush() override { return true; }
    bool reserve(uint64_t n) override;
    uint64_t position() const override { return m_bytes.size(); }
    std::vector<std::byte>& bytes() { return m_bytes; }

private:
    std::vector<std::byte> m_bytes;
};

// Buffers writes into large blocks; does not own the descriptor and never syncs it (the caller
// decides when the data must be on the device). The descriptor is a new, empty file, written at the
// sink's own positions (its offset is not used).
class Mp4FileSink final : public Mp4Sink {
public:
    explicit Mp4FileSink(int fd, size_t bufferSize = size_t{4} << 20);
    bool write(std::span<const std::byte> bytes) override;
    bool patch(uint64_t position, std::span<const std::byte> bytes) override;
    bool flush() override;
    bool reserve(uint64_t n) override;
    uint64_t position() const override { return m_written + m_buffer.size(); }
    int error() const { return m_errno; } // errno of the first failed write, 0 if none

private:
    bool writeAll(std::span<const std::byte> bytes);
    bool writeAt(uint64_t position, std::span<const std::byte> bytes);
    int m_fd;
    size_t m_capacity;
    std::vector<std::byte> m_buffer;
    uint64_t m_written = 0;
    int m_errno = 0;
};

} // namespace nura
