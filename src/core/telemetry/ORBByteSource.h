// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Random-access bytes of a recording: a file for the application, memory for tests and fuzzing.
// A read succeeds only when every requested byte lies inside the source.

#include "core/util/SafeFile.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>

namespace nura {

class ORBByteSource {
public:
    virtual ~ORBByteSource() = default;
    virtual uint64_t size() const = 0;
    // Fills all of `out` from `position`, or returns false.
    virtual bool readAt(uint64_t position, std::span<std::byte> out) = 0;
    // The errno of the first read the system refused (EIO from a pulled card), or 0. When set, a failed
    // read means "cannot read", not "the file ends here".
    virtual int readError() const { return 0; }
};

class ORBMemoryByteSource final : public ORBByteSource {
public:
    explicit ORBMemoryByteSource(std::span<const std::byte> bytes) : m_bytes(bytes) {}
    uint64_t size() const override { return m_bytes.size(); }
    bool readAt(uint64_t position, std::span<std::byte> out) override;

private:
    std::span<const std::byte> m_bytes;
};

// Reads with positioned reads on one descriptor: one system call per read, no seeking.
class ORBFileByteSource final : public ORBByteSource {
public:
    // Null when the path cannot be opened for reading or is not a regular file (ReadableFile::open).
    static std::unique_ptr<ORBFileByteSource> open(const std::string& path);
    // Reads an already opened file; null when `file` did not open.
    static std::unique_ptr<ORBFileByteSource> from(ReadableFile file);

    uint64_t size() const override { return m_file.size(); }
    bool readAt(uint64_t position, std::span<std::byte> out) override;
    int readError() const override { return m_file.readError(); }
    // The descriptor, for copies in the kernel of the very file that was read.
    int fd() const { return m_file.fd(); }

private:
    explicit ORBFileByteSource(ReadableFile file) : m_file(std::move(file)) {}
    ReadableFile m_file;
};

} // namespace nura
