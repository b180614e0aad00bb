// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/card/FormatCommands.h"

#include <gtest/gtest.h>

using namespace nura;

namespace {

TKUSBDiskEntity disk(const std::string& device, uint64_t size, bool whole) {
    return TKUSBDiskEntity("NURA", "/media/u/NURA", device, std::nullopt, size, true, whole, "");
}

} // namespace

TEST(FormatCommands, ClusterFigureChangesAtSevenGibibytes) {
    EXPECT_EQ(clusterSizeByVolumeSizeInKB(7516192767ull), 32);
    EXPECT_EQ(clusterSizeByVolumeSizeInKB(7516192768ull), 128);
    EXPECT_EQ(clusterSizeByVolumeSizeInKB(0), 32);
    // The text is the real cluster size of the sectors-per-cluster figure: 32 x 512 bytes, 128 x 512.
    EXPECT_EQ(clusterSizeText(7516192767ull), "16 KB");
    EXPECT_EQ(clusterSizeText(7516192768ull), "64 KB");

    EXPECT_EQ(formatCommandLine(disk("/dev/sdb1", 7516192767ull, false)),
              (CommandLine{"mkfs.fat", "-F", "32", "-n", "NURA", "-f", "2", "-b", "6", "-R", "32", "-s", "32",
                           "-a", "/dev/sdb1"}));
    EXPECT_EQ(formatCommandLine(disk("/dev/sdb", 7516192768ull, true)),
              (CommandLine{"mkfs.fat", "-F", "32", "-n", "NURA", "-f", "2", "-b", "6", "-R", "32", "-s",
                           "128", "-a", "/dev/sdb"}));
    // With a volume serial the formatter is pointed at it, so another medium in the reader is not erased.
    const TKUSBDiskEntity serial("NURA", "/media/NURA", "/dev/sdb1", std::nullopt, 1, true, false, "/o/sdb1",
                                 "1A2B-3C4D");
    EXPECT_EQ(formatCommandLine(serial).back(), "/dev/disk/by-uuid/1A2B-3C4D");
    const TKUSBDiskEntity odd("NURA", "/media/NURA", "/dev/sdb1", std::nullopt, 1, true, false, "/o/sdb1",
                              "../../sda");
    EXPECT_EQ(formatCommandLine(odd).back(), "/dev/sdb1");
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
    EXPECT_TRUE(unmountCommandLines(disk("/dev/sdc", 1, true), mounted).empty());
}
