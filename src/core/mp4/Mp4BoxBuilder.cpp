// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/mp4/Mp4BoxBuilder.h"

#include "core/telemetry/ByteOrder.h"

#include <algorithm>
#include <cassert>

namespace nura {

std::string Mp4BoxBuilder::childPath(std::string_view type) {
    // Path names repeat a type's index among its siblings when it is not the first: trak, trak[2].
    auto& siblings = m_childTypes.back();
    const auto n = std::count(siblings.begin(), siblings.end(), std::string(type));
    siblings.emplace_back(type);
    std::string path = m_open.empty() ? "" : m_open.back().path + "/";
    path += type;
    if (n > 0) {
        path.append("[").append(std::to_string(n + 1)).append("]");
    }
    return path;
}

void Mp4BoxBuilder::rawBox(std::span<const std::byte> box) {
    std::string type(4, '?');
    for (size_t k = 0; k < 4 && 4 + k < box.size(); ++k) {
        type[k] = static_cast<char>(box[4 + k]);
    }
    m_closed.push_back({childPath(type), m_out.size(), box.size()});
    bytes(box);
}

void Mp4BoxBuilder::begin(std::string_view type) {
    m_open.push_back({m_out.size(), childPath(type)});
    m_childTypes.emplace_back();
    u32(0);
    fourcc(type);
}

void Mp4BoxBuilder::beginFull(std::string_view type, uint8_t version, uint32_t flags) {
    begin(type);
    u32(static_cast<uint32_t>(version) << 24 | (flags & 0xFFFFFF));
}

void Mp4BoxBuilder::end() {
    assert(!m_open.empty());
    const Open box = m_open.back();
    m_open.pop_back();
    m_childTypes.pop_back();
    const auto size = static_cast<uint32_t>(m_out.size() - box.offset);
    bytes::writeU32BE(m_out, box.offset, size);
    m_closed.push_back({box.path, box.offset, size});
}

void Mp4BoxBuilder::u16(uint16_t v) {
    u8(static_cast<uint8_t>(v >> 8));
    u8(static_cast<uint8_t>(v));
}

void Mp4BoxBuilder::u32(uint32_t v) {
    u16(static_cast<uint16_t>(v >> 16));
    u16(static_cast<uint16_t>(v));
}

void Mp4BoxBuilder::u64(uint64_t v) {
    u32(static_cast<uint32_t>(v >> 32));
    u32(static_cast<uint32_t>(v));
}

void Mp4BoxBuilder::fourcc(std::string_view type) {
    for (size_t k = 0; k < 4; ++k) {
        u8(k < type.size() ? static_cast<uint8_t>(type[k]) : ' ');
    }
}

void Mp4BoxBuilder::text(std::string_view s) {
    for (char c : s) {
        u8(static_cast<uint8_t>(c));
    }
    u8(0);
}

void Mp4BoxBuilder::matrix() {
    const uint32_t m[9] = {0x00010000, 0, 0, 0, 0x00010000, 0, 0, 0, 0x40000000};
    for (uint32_t v : m) {
        u32(v);
    }
}

} // namespace nura
