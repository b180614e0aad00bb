// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Byte-by-byte integer access: the camera's own records are little-endian, MP4 sizes and offsets big-endian.
// Callers check the span's length before calling; these helpers only read or write the bytes named.

#include <cstddef>
#include <cstdint>
#include <span>

namespace nura::bytes {

inline uint32_t readU32LE(std::span<const std::byte> b, size_t at) {
    return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
           static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

inline int32_t readI32LE(std::span<const std::byte> b, size_t at) {
    return static_cast<int32_t>(readU32LE(b, at));
}

inline uint32_t readU32BE(std::span<const std::byte> b, size_t at) {
    return static_cast<uint32_t>(b[at]) << 24 | static_cast<uint32_t>(b[at + 1]) << 16 |
           static_cast<uint32_t>(b[at + 2]) << 8 | static_cast<uint32_t>(b[at + 3]);
}

inline void writeU32LE(std::span<std::byte> b, size_t at, uint32_t v) {
    for (size_t k = 0; k < 4; ++k) {
        b[at + k] = static_cast<std::byte>(v >> (8 * k));
    }
}

inline void writeU32BE(std::span<std::byte> b, size_t at, uint32_t v) {
    for (size_t k = 0; k < 4; ++k) {
        b[at + k] = static_cast<std::byte>(v >> (8 * (3 - k)));
    }
}

} // namespace nura::bytes
