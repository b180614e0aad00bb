// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Appends big-endian MP4 boxes to a byte buffer; nested boxes get their size when closed. The movie
// box and the tests' hand-made files are built with it; media data is streamed instead (CameraMp4Writer).

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace nura {

class Mp4BoxBuilder {
public:
    struct Closed {
        std::string path;
        uint64_t offset;
        uint64_t size;
    };

    void begin(std::string_view type);
    void beginFull(std::string_view type, uint8_t version, uint32_t flags);
    void end();
    // A whole box made elsewhere, copied as it is and placed like one built here.
    void rawBox(std::span<const std::byte> box);

    void u8(uint8_t v) { m_out.push_back(static_cast<std::byte>(v)); }
    void u16(uint16_t v);
    void u32(uint32_t v);
    void u64(uint64_t v);
    void zeros(size_t n) { m_out.insert(m_out.end(), n, std::byte{0}); }
    void fourcc(std::string_view type);
    void bytes(std::span<const std::byte> b) { m_out.insert(m_out.end(), b.begin(), b.end()); }
    void text(std::string_view s); // zero-terminated
    void matrix();                 // the identity transformation of tkhd and mvhd

    size_t size() const { return m_out.size(); }
    std::vector<std::byte>& buffer() { return m_out; }
    const std::vector<Closed>& closed() const { return m_closed; }

private:
    std::string childPath(std::string_view type);
    struct Open {
        size_t offset;
        std::string path;
    };
    std::vector<std::byte> m_out;
    std::vector<Open> m_open;
    std::vector<Closed> m_closed;
    std::vector<std::vector<std::string>> m_childTypes{{}};
};

} // namespace nura
