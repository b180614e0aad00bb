// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/card/FormatCommands.h"
#include "core/card/CardFormat.h"

#include <gtest/gtest.h>

using namespace nura;

namespace {

TKUSBDiskEntity disk(const std::string& device, uint64_t size, bool whole) {
    return TKUSBDiskEntity("NURA", "/media/u/NURA", device, std::nullopt, size, true, whole, "");
}

} // namespace

TEST(FormatCommands, ClusterFigureChangesAtSevenGibibytesAndShrinksOnlyForASmallCard) {
    EXPECT_EQ(clusterSizeByVolumeSizeInKB(7516192767ull), 32);
    EXPECT_EQ(clusterSizeByVolumeSizeInKB(7516192768ull), 128);
    // The text is the real cluster size of the sectors-per-cluster figure: 32 x 512 bytes, 128 x 512.
    EXPECT_EQ(clusterSizeText(7516192767ull), "16 KB");
    EXPECT_EQ(clusterSizeText(7516192768ull), "64 KB");
    // A small card's figures and the refusal of one too small for FAT32 are the format helper's test.
    EXPECT_EQ(clusterSizeText(0), "-");
}

TEST(FormatCommands, TheHelperIsToldTheDiskOfTheQuestionByNumberAndSerial) {
    const TKUSBDiskEntity card("NURA", "/media/NURA", "/dev/sdb1", std::nullopt, 1, true, false, "/o/sdb1",
                               "1A2B-3C4D", "", "", (8u << 8) | 17u);
    EXPECT_EQ(formatCommandLine(card, "/usr/libexec/nura/nura-format-card", 0x5E6F7A8B),
              (CommandLine{"/usr/libexec/nura/nura-format-card", "--device-id", "8:17", "--serial",
                           "1A2B-3C4D", "--new-serial", "5E6F-7A8B", "--", "/dev/sdb1"}));
    // Without the device number nothing could tell the disk named from another under its name.
    EXPECT_TRUE(formatCommandLine(disk("/dev/sdb1", 1, false), "nura-format-card", 1).empty());
    EXPECT_EQ(mountCommandLine(disk("/dev/sdb1", 1, false)),
              (CommandLine{"udisksctl", "mount", "-b", "/dev/sdb1"}));
}

TEST(FormatCommands, UnmountThePartitionOrEveryMountedPartOfTheWholeDisk) {
    const std::vector<std::string> mounted = {"/dev/sda1", "/dev/sdb1",  "/dev/sdb2",
                                              "/dev/sdb1", "/dev/sdbc1", "/dev/sdb"};
    EXPECT_EQ(unmountCommandLines(disk("/dev/sdb1", 1, false), mounted),
              (std::vector<CommandLine>{{"udisksctl", "unmount", "-b", "/dev/sdb1"}}));
    EXPECT_EQ(unmountCommandLines(disk("/dev/sdb", 1, true), mounted),
              (std::vector<CommandLine>{{"udisksctl", "unmount", "-b", "/dev/sdb1"},
                                        {"udisksctl", "unmount", "-b", "/dev/sdb2"},
                                        {"udisksctl", "unmount", "-b", "/dev/sdb"}}));
    EXPECT_EQ(unmountCommandLines(disk("/dev/mmcblk0", 1, true), {"/dev/mmcblk0p1", "/dev/mmcblk01"}),
              (std::vector<CommandLine>{{"udisksctl", "unmount", "-b", "/dev/mmcblk0p1"}}));
    // Another card's reader, not a partition of this one: its name only starts with this disk's.
    EXPECT_EQ(unmountCommandLines(disk("/dev/mmcblk1", 1, true), {"/dev/mmcblk123", "/dev/mmcblk1p2"}),
              (std::vector<CommandLine>{{"udisksctl", "unmount", "-b", "/dev/mmcblk1p2"}}));
    EXPECT_TRUE(unmountCommandLines(disk("/dev/sdc", 1, true), mounted).empty());
}

// The serial the helper compares with the question's, read from hand-made boot sectors as the disk
// service shows it: a card that comes as exFAT or NTFS, or a stick with ext4, can be formatted too.
TEST(FormatCommands, VolumeSerialsReadAsTheDiskServiceWritesThem) {
    auto sector = [](size_t size = 4096) { return std::vector<std::byte>(size); };
    auto put = [](std::vector<std::byte>& b, size_t at, std::initializer_list<int> bytes) {
        for (int v : bytes) {
            b[at++] = static_cast<std::byte>(v);
        }
    };
    auto text = [](std::vector<std::byte>& b, size_t at, const char* s) {
        for (; *s; ++s) {
            b[at++] = static_cast<std::byte>(*s);
        }
    };
    std::vector<std::byte> fat16 = sector();
    put(fat16, 11, {0x00, 0x02});
    put(fat16, 17, {0x00, 0x02});
    put(fat16, 22, {0x20, 0x00});
    put(fat16, 38, {0x29, 0x4D, 0x3C, 0x2B, 0x1A});
    put(fat16, 510, {0x55, 0xAA});
    EXPECT_EQ(volumeSerialOf(fat16), "1A2B-3C4D");
    std::vector<std::byte> fat32 = sector();
    put(fat32, 11, {0x00, 0x02});
    put(fat32, 66, {0x29, 0x8B, 0x7A, 0x6F, 0x5E});
    put(fat32, 510, {0x55, 0xAA});
    EXPECT_EQ(volumeSerialOf(fat32), "5E6F-7A8B");
    std::vector<std::byte> exfat = sector();
    text(exfat, 3, "EXFAT   ");
    put(exfat, 100, {0x44, 0x33, 0x22, 0x11});
    EXPECT_EQ(volumeSerialOf(exfat), "1122-3344");
    std::vector<std::byte> ntfs = sector();
    text(ntfs, 3, "NTFS    ");
    put(ntfs, 72, {0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01});
    EXPECT_EQ(volumeSerialOf(ntfs), "0102030405060708");
    std::vector<std::byte> ext4 = sector();
    put(ext4, 1024 + 56, {0x53, 0xEF});
    put(ext4, 1024 + 104, {0xDE, 0xAD, 0xBE, 0xEF, 0, 1, 0, 2, 0, 3, 0, 4, 5, 6, 7, 8});
    EXPECT_EQ(volumeSerialOf(ext4), "deadbeef-0001-0002-0003-000405060708");
    EXPECT_EQ(volumeSerialOf(sector()), "");
    EXPECT_EQ(volumeSerialOf(sector(100)), "");
    EXPECT_EQ(parseFatSerial("5e6f-7a8b"), 0x5E6F7A8Bu);
    EXPECT_FALSE(parseFatSerial("5E6F7A8B0"));
    EXPECT_FALSE(parseFatSerial("5E-6F7A8B"));
}
