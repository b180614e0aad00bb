// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/card/ByteSizeText.h"
#include "core/card/CameraCard.h"

#include <gtest/gtest.h>

#include <limits>
#include <set>

using namespace nura;

TEST(ByteSizeText, ShortTextsRoundAsTheCameraToolsDo) {
    struct Case {
        uint64_t bytes;
        const char* text;
    } cases[] = {
        {0, "0 B"},
        {1023, "1023 B"},
        {1024, "1.0 kB"},
        {1174, "1.2 kB"}, // remainder 150: digit 1 is odd, the exact half rounds up
        {1074, "1.0 kB"}, // remainder 50: digit 0 is even and nothing lies below, stays
        {4032, "4.0 kB"}, // remainder 960 rounds up to the next whole number
        {10239, "10 kB"},
        {10752, "10 kB"}, // 10 and a half, even: stays
        {11776, "12 kB"}, // 11 and a half, odd: up
        {1048575, "1.0 MB"},
        {7948206080ull, "7.4 GB"},
        {31914983424ull, "30 GB"},
        {std::numeric_limits<uint64_t>::max(), "16 EB"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(byteSizeText(c.bytes), c.text) << c.bytes;
    }
    // Exact half of the decimal with a non-zero lower remainder rounds up even for an even digit:
    // 1 MB + 50 kB + 1 byte.
    EXPECT_EQ(byteSizeText(1048576ull + 50 * 1024 + 1), "1.1 MB");
    EXPECT_EQ(byteSizeText(1048576ull + 50 * 1024), "1.0 MB");
}

TEST(ByteSizeText, NeverLongerThanSevenCharacters) {
    for (uint64_t n = 1; n < std::numeric_limits<uint64_t>::max() / 3; n = n * 3 + 1) {
        for (uint64_t m : {n, n - 1, n + 512}) {
            EXPECT_LE(byteSizeText(m).size(), 7u) << m;
        }
    }
}

namespace {

TKUSBDiskEntity disk(const char* name, bool writable, const char* root) {
    return TKUSBDiskEntity(name, root, std::string("/dev/") + root, std::nullopt, 1, writable, false, root);
}

} // namespace

TEST(FindCameraCardDisk, FivePassesInOrder) {
    const std::set<std::string> files = {"/b/config.bin", "/lower/config.bin", "/ro/config.bin"};
    const PathExists exists = [&](const std::string& p) { return files.count(p) > 0; };
    struct Case {
        const char* what;
        std::vector<TKUSBDiskEntity> disks;
        const char* chosen; // mount path, nullptr for none
    } cases[] = {
        {"empty list", {}, nullptr},
        {"1: NURA, writable, with config.bin, though second",
         {disk("NURA", true, "a"), disk("NURA", true, "/b")},
         "/b"},
        {"2: NURA and writable over a write-protected NURA with config.bin",
         {disk("NURA", false, "/ro"), disk("NURA", true, "/c")},
         "/c"},
        {"3: a write-protected NURA over a writable stick",
         {disk("STICK", true, "/s"), disk("NURA", false, "/ro")},
         "/ro"},
        {"lower-case label is not the card", {disk("nura", false, "/lower"), disk("X", true, "/x")}, "/x"},
        {"4: writable over write-protected", {disk("A", false, "/a"), disk("B", true, "/bb")}, "/bb"},
        {"5: the first of the rest", {disk("nura", false, "/lower"), disk("A", false, "/a")}, "/lower"},
    };
    for (const auto& c : cases) {
        const auto chosen = findCameraCardDisk(c.disks, exists);
        if (c.chosen) {
            ASSERT_TRUE(chosen.has_value()) << c.what;
            EXPECT_EQ(chosen->mountedPath(), c.chosen) << c.what;
        } else {
            EXPECT_FALSE(chosen.has_value()) << c.what;
        }
    }
}

TEST(FindVolumeContainingFile, FirstRootHoldingTheName) {
    const PathExists exists = [&](const std::string& p) {
        return p == "/m/two/timeset.cfg" || p == "/m/three/timeset.cfg";
    };
    EXPECT_EQ(findVolumeContainingFile({"/m/one", "/m/two/", "/m/three"}, "timeset.cfg", exists), "/m/two/");
    EXPECT_EQ(findVolumeContainingFile({}, "timeset.cfg", exists), std::nullopt);
    EXPECT_EQ(findVolumeContainingFile({"/m/one"}, "timeset.cfg", exists), std::nullopt);
}
