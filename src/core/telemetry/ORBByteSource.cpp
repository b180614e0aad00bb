// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/telemetry/ORBByteSource.h"

#include <algorithm>
#include <utility>

namespace nura {

bool ORBMemoryByteSource::readAt(uint64_t position, std::span<std::byte> out) {
    if (position > m_bytes.size() || out.size() > m_bytes.size() - position) {
        return false;
    }
    std::copy_n(m_bytes.begin() + static_cast<ptrdiff_t>(position), out.size(), out.begin());
    return true;
}

std::unique_ptr<ORBFileByteSource> ORBFileByteSource::open(const std::string& path) {
    return from(ReadableFile::open(path));
}

std::unique_ptr<ORBFileByteSource> ORBFileByteSource::from(ReadableFile file) {
    if (!file.ok()) {
        return nullptr;
    }
    return std::unique_ptr<ORBFileByteSource>(new ORBFileByteSource(std::move(file)));
}

bool ORBFileByteSource::readAt(uint64_t position, std::span<std::byte> out) {
    if (position > m_file.size() || out.size() > m_file.size() - position) {
        return false;
    }
    return m_file.readAt(position, out);
}

} // namespace nura
