// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/repair/ParameterSets.h"

#include <cstdint>
#include <string_view>

namespace nura {
namespace {

uint32_t u32be(std::span<const std::byte> b, size_t at) {
    return static_cast<uint32_t>(b[at]) << 24 | static_cast<uint32_t>(b[at + 1]) << 16 |
           static_cast<uint32_t>(b[at + 2]) << 8 | static_cast<uint32_t>(b[at + 3]);
}

// Reads the bits of a unit's payload, emulation-prevention bytes (00 00 03) taken out.
class Bits {
public:
    explicit Bits(std::span<const std::byte> payload) {
        int zeros = 0;
        for (std::byte b : payload) {
            const auto v = static_cast<uint8_t>(b);
            if (zeros >= 2 && v == 3) {
                zeros = 0;
                continue;
            }
            zeros = v == 0 ? zeros + 1 : 0;
            m_bytes.push_back(v);
        }
    }
    bool failed() const { return m_failed; }
    uint32_t bit() {
        if (m_pos >= m_bytes.size() * 8) {
            m_failed = true;
            return 0;
        }
        const uint32_t b = (m_bytes[m_pos / 8] >> (7 - m_pos % 8)) & 1;
        ++m_pos;
        return b;
    }
    uint32_t bits(int n) {
        uint32_t v = 0;
        for (int k = 0; k < n; ++k) {
            v = v << 1 | bit();
        }
        return v;
    }
    // Exp-Golomb, unsigned; a code longer than 31 bits is taken for damage.
    uint32_t ue() {
        int zeros = 0;
        while (!m_failed && bit() == 0) {
            if (++zeros > 31) {
                m_failed = true;
                return 0;
            }
        }
        return m_failed ? 0 : (uint32_t{1} << zeros) - 1 + bits(zeros);
    }
    int32_t se() {
        const uint32_t k = ue();
        return (k & 1) ? static_cast<int32_t>((k + 1) / 2) : -static_cast<int32_t>(k / 2);
    }

private:
    std::vector<uint8_t> m_bytes;
    size_t m_pos = 0;
    bool m_failed = false;
};

void skipScalingList(Bits& b, int size) {
    int last = 8, next = 8;
    for (int j = 0; j < size && !b.failed(); ++j) {
        if (next != 0) {
            next = (last + b.se() + 256) % 256;
        }
        last = next == 0 ? last : next;
    }
}

} // namespace

std::optional<ParameterSets> parameterSetsOfSampleEntry(std::span<const std::byte> entry) {
    // avc1: an 8-byte box header and 78 bytes of visual sample entry, then its boxes.
    constexpr size_t kBoxesAt = 86;
    if (entry.size() < kBoxesAt ||
        std::string_view(reinterpret_cast<const char*>(entry.data()) + 4, 4) != "avc1") {
        return std::nullopt;
    }
    std::span<const std::byte> avcC;
    for (size_t at = kBoxesAt; at + 8 <= entry.size();) {
        const uint32_t size = u32be(entry, at);
        if (size < 8 || size > entry.size() - at) {
            break;
        }
        if (std::string_view(reinterpret_cast<const char*>(entry.data()) + at + 4, 4) == "avcC") {
            avcC = entry.subspan(at + 8, size - 8);
            break;
        }
        at += size;
    }
    if (avcC.size() < 7) {
        return std::nullopt;
    }
    ParameterSets sets;
    size_t at = 5;
    // Each list: a count, then units of a 16-bit length each; the SPS count keeps 5 bits.
    for (int list = 0; list < 2; ++list) {
        if (at >= avcC.size()) {
            return std::nullopt;
        }
        const int count = static_cast<int>(avcC[at++]) & (list == 0 ? 0x1F : 0xFF);
        for (int k = 0; k < count; ++k) {
            if (at + 2 > avcC.size()) {
                return std::nullopt;
            }
            const size_t n = static_cast<size_t>(avcC[at]) << 8 | static_cast<size_t>(avcC[at + 1]);
            at += 2;
            if (n > avcC.size() - at) {
                return std::nullopt;
            }
            auto& into = list == 0 ? sets.sps : sets.pps;
            if (into.empty()) {
                into.assign(avcC.begin() + static_cast<std::ptrdiff_t>(at),
                            avcC.begin() + static_cast<std::ptrdiff_t>(at + n));
            }
            at += n;
        }
    }
    if (!sets.complete()) {
        return std::nullopt;
    }
    return sets;
}

void collectParameterSets(std::span<const std::byte> frame, int lengthSize, ParameterSets& sets) {
    const auto l = static_cast<size_t>(lengthSize);
    for (size_t at = 0; l > 0 && at + l < frame.size();) {
        size_t n = 0;
        for (size_t k = 0; k < l; ++k) {
            n = n << 8 | static_cast<size_t>(frame[at + k]);
        }
        at += l;
        if (n == 0 || n > frame.size() - at) {
            return;
        }
        const int type = static_cast<int>(frame[at]) & 0x1F;
        auto* into = type == 7 ? &sets.sps : type == 8 ? &sets.pps : nullptr;
        if (into != nullptr && into->empty()) {
            into->assign(frame.begin() + static_cast<std::ptrdiff_t>(at),
                         frame.begin() + static_cast<std::ptrdiff_t>(at + n));
        }
        at += n;
    }
}

std::optional<PictureSize> pictureSizeOf(std::span<const std::byte> sps) {
    if (sps.size() < 4 || (static_cast<int>(sps[0]) & 0x1F) != 7) {
        return std::nullopt;
    }
    Bits b(sps.subspan(1));
    const uint32_t profile = b.bits(8);
    b.bits(16); // constraint flags, level
    b.ue();     // seq_parameter_set_id
    uint32_t chroma = 1;
    bool separatePlanes = false;
    switch (profile) {
    case 100:
    case 110:
    case 122:
    case 244:
    case 44:
    case 83:
    case 86:
    case 118:
    case 128:
    case 138:
    case 139:
    case 134:
    case 135:
        chroma = b.ue();
        if (chroma == 3) {
            separatePlanes = b.bit() != 0;
        }
        b.ue(); // bit depths
        b.ue();
        b.bit();
        if (b.bit() != 0) { // scaling matrices
            for (int i = 0; i < (chroma != 3 ? 8 : 12); ++i) {
                if (b.bit() != 0) {
                    skipScalingList(b, i < 6 ? 16 : 64);
                }
            }
        }
        break;
    default:
        break;
    }
    b.ue(); // log2_max_frame_num
    const uint32_t pocType = b.ue();
    if (pocType == 0) {
        b.ue();
    } else if (pocType == 1) {
        b.bit();
        b.se();
        b.se();
        const uint32_t cycle = b.ue();
        for (uint32_t i = 0; i < cycle && i < 256 && !b.failed(); ++i) {
            b.se();
        }
    }
    b.ue(); // max_num_ref_frames
    b.bit();
    const uint64_t mbsWide = uint64_t{b.ue()} + 1;
    const uint64_t mapUnitsHigh = uint64_t{b.ue()} + 1;
    const bool framesOnly = b.bit() != 0;
    if (!framesOnly) {
        b.bit();
    }
    b.bit(); // direct_8x8_inference
    uint64_t left = 0, right = 0, top = 0, bottom = 0;
    if (b.bit() != 0) {
        left = b.ue();
        right = b.ue();
        top = b.ue();
        bottom = b.ue();
    }
    if (b.failed() || chroma > 3 || mbsWide > 1024 || mapUnitsHigh > 1024) {
        return std::nullopt;
    }
    const uint64_t arrayType = separatePlanes ? 0 : chroma;
    const uint64_t cropX = arrayType == 0 ? 1 : (arrayType == 3 ? 1 : 2);
    const uint64_t cropY = (arrayType == 1 ? 2 : 1) * (framesOnly ? 1 : 2);
    const uint64_t width = mbsWide * 16, height = mapUnitsHigh * 16 * (framesOnly ? 1 : 2);
    if ((left + right) * cropX >= width || (top + bottom) * cropY >= height) {
        return std::nullopt;
    }
    return PictureSize{static_cast<int>(width - (left + right) * cropX),
                       static_cast<int>(height - (top + bottom) * cropY)};
}

} // namespace nura
