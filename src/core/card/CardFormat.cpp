// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/card/CardFormat.h"

#include "core/card/FormatCommands.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <sys/sysmacros.h>

namespace nura {
namespace {

uint32_t le(std::span<const std::byte> b, size_t at, size_t n) {
    uint32_t v = 0;
    for (size_t i = n; i-- > 0;) {
        v = v << 8 | std::to_integer<uint32_t>(b[at + i]);
    }
    return v;
}

bool textAt(std::span<const std::byte> b, size_t at, const char* text) {
    const size_t n = std::strlen(text);
    return b.size() >= at + n && std::memcmp(b.data() + at, text, n) == 0;
}

std::string hex(std::span<const std::byte> b, size_t at, size_t n, bool reversed) {
    std::string out;
    char two[3];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(two, sizeof two, "%02X", std::to_integer<unsigned>(b[at + (reversed ? n - 1 - i : i)]));
        out += two;
    }
    return out;
}

} // namespace

std::string deviceIdOf(const struct stat& st) {
    if (S_ISBLK(st.st_mode)) {
        return std::to_string(::major(st.st_rdev)) + ":" + std::to_string(::minor(st.st_rdev));
    }
    return std::to_string(::major(st.st_dev)) + ":" + std::to_string(::minor(st.st_dev)) + ":" +
           std::to_string(st.st_ino);
}

std::string deviceIdOfNumber(uint64_t deviceNumber) {
    const auto number = static_cast<dev_t>(deviceNumber);
    return std::to_string(::major(number)) + ":" + std::to_string(::minor(number));
}

std::string fatSerialText(uint32_t serial) {
    char text[10];
    std::snprintf(text, sizeof text, "%04X-%04X", serial >> 16, serial & 0xffff);
    return text;
}

std::optional<uint32_t> parseFatSerial(const std::string& text) {
    std::string digits;
    for (char c : text) {
        if (c != '-') {
            digits += c;
        }
    }
    if (digits.size() != 8 || (text.size() == 9 && text[4] != '-') ||
        (text.size() != 8 && text.size() != 9)) {
        return std::nullopt;
    }
    uint32_t v = 0;
    for (char c : digits) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) {
            return std::nullopt;
        }
        v = v << 4 | static_cast<uint32_t>(std::isdigit(static_cast<unsigned char>(c))
                                               ? c - '0'
                                               : std::toupper(static_cast<unsigned char>(c)) - 'A' + 10);
    }
    return v;
}

std::string volumeSerialOf(std::span<const std::byte> b) {
    if (b.size() >= 512 && textAt(b, 3, "EXFAT   ")) {
        return fatSerialText(le(b, 100, 4));
    }
    if (b.size() >= 512 && textAt(b, 3, "NTFS    ")) {
        return hex(b, 72, 8, true);
    }
    const bool bootSignature = b.size() >= 512 && le(b, 510, 2) == 0xAA55;
    if (bootSignature && le(b, 11, 2) != 0) {
        // FAT32 keeps no root folder entries and a zero 16-bit FAT size; its extended fields start at 64.
        const bool fat32 = le(b, 17, 2) == 0 && le(b, 22, 2) == 0;
        const size_t ext = fat32 ? 64 : 36;
        const auto signature = std::to_integer<unsigned>(b[ext + 2]);
        if (signature == 0x29 || signature == 0x28) {
            return fatSerialText(le(b, ext + 3, 4));
        }
    }
    if (b.size() >= 2048 && le(b, 1024 + 56, 2) == 0xEF53) {
        std::string id = hex(b, 1024 + 104, 16, false);
        for (char& c : id) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        return id.substr(0, 8) + "-" + id.substr(8, 4) + "-" + id.substr(12, 4) + "-" + id.substr(16, 4) +
               "-" + id.substr(20);
    }
    return {};
}

std::string newVolumeMismatch(std::span<const std::byte> b, uint32_t serial, long sectorsPerCluster) {
    if (b.size() < 512 || le(b, 510, 2) != 0xAA55 || !textAt(b, 82, "FAT32   ")) {
        return "it holds no FAT32 boot sector";
    }
    if (le(b, 67, 4) != serial) {
        return "its volume serial is " + fatSerialText(le(b, 67, 4)) + ", not " + fatSerialText(serial);
    }
    if (!textAt(b, 71, "NURA       ")) {
        return "its label is not NURA";
    }
    if (le(b, 11, 2) != 512 || static_cast<long>(std::to_integer<unsigned>(b[13])) != sectorsPerCluster) {
        return "its cluster size is not " + std::to_string(sectorsPerCluster) + " sectors";
    }
    const uint64_t total = le(b, 32, 4), reserved = le(b, 14, 2), fats = std::to_integer<unsigned>(b[16]),
                   fatSectors = le(b, 36, 4);
    const uint64_t meta = reserved + fats * fatSectors;
    const uint64_t clusters = total > meta ? (total - meta) / static_cast<uint64_t>(sectorsPerCluster) : 0;
    if (clusters < kMinFat32Clusters) {
        return "it has " + std::to_string(clusters) + " clusters, fewer than FAT32's " +
               std::to_string(kMinFat32Clusters);
    }
    return {};
}

std::vector<std::string> mkfsArguments(const std::string& mkfs, int fd, long sectorsPerCluster,
                                       uint32_t serial) {
    char id[9];
    std::snprintf(id, sizeof id, "%08X", serial);
    return {mkfs,
            "-F",
            "32",
            "-n",
            kCardVolumeLabel,
            "-f",
            "2",
            "-b",
            "6",
            "-R",
            "32",
            "-s",
            std::to_string(sectorsPerCluster),
            "-a",
            "-i",
            id,
            "/proc/self/fd/" + std::to_string(fd)};
}

} // namespace nura
