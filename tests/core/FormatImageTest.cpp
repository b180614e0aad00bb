// SPDX-License-Identifier: GPL-3.0-or-later
// The privileged format helper run for real on sparse image files (mkfs.fat through the descriptor it
// opened), and the result read back by independent tools (fsck.fat, mtools) and from the boot sector's own
// bytes.

#include "core/card/CardFormat.h"
#include "core/card/FormatCommands.h"

#include "CoreTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace nura;
using coretest::run;
using coretest::slurp;

namespace {

std::string findProgram(const std::string& name) {
    for (const char* dir : {"/usr/sbin", "/usr/bin", "/sbin", "/bin"}) {
        const std::string path = std::string(dir) + "/" + name;
        if (::access(path.c_str(), X_OK) == 0) {
            return path;
        }
    }
    return {};
}

std::string quoted(const std::string& s) {
    return "'" + s + "'";
}

unsigned u16(const std::string& b, size_t at) {
    return static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8;
}

std::string deviceId(const std::filesystem::path& image) {
    struct stat st {};
    return ::stat(image.c_str(), &st) == 0 ? deviceIdOf(st) : std::string();
}

// The helper as the format window runs it (without pkexec: the images are the user's own files).
int formatImage(const std::filesystem::path& image, const std::string& id, const std::string& serial,
                const std::string& newSerial, std::string* output) {
    return run(quoted(NURA_FORMAT_HELPER) + " --device-id " + quoted(id) + " --serial " + quoted(serial) +
                   " --new-serial " + quoted(newSerial) + " -- " + quoted(image.string()),
               output);
}

class FormatHelper : public ::testing::Test {
protected:
    void SetUp() override {
        if (findProgram("mkfs.fat").empty() || findProgram("fsck.fat").empty() ||
            findProgram("mdir").empty()) {
            GTEST_SKIP() << "dosfstools or mtools not installed";
        }
        m_dir = coretest::freshTestFolder("nura-format");
    }
    void TearDown() override {
        if (!m_dir.empty()) {
            std::filesystem::remove_all(m_dir);
        }
    }
    std::filesystem::path sparseImage(const std::string& name, uint64_t size) const {
        const auto image = m_dir / name;
        std::filesystem::resize_file((std::ofstream(image), image), size); // sparse: costs no disk space
        return image;
    }
    std::filesystem::path m_dir;
};

class FormatImage : public FormatHelper, public ::testing::WithParamInterface<std::pair<uint64_t, int>> {};

} // namespace

TEST_P(FormatImage, MakesTheCardsFileSystem) {
    const std::string fsck = findProgram("fsck.fat");
    const auto [size, sectorsPerCluster] = GetParam();
    const auto image = sparseImage("card.img", size);

    std::string out;
    ASSERT_EQ(formatImage(image, deviceId(image), "", "5E6F-7A8B", &out), 0) << out;
    EXPECT_EQ(out.find("WARNING"), std::string::npos) << out;
    EXPECT_EQ(run(quoted(fsck) + " -n " + quoted(image.string()), &out), 0) << out;
    // mtools tells FAT32 from FAT16 by the cluster count, as devices do: a volume short of 65,525 clusters
    // is refused, or read without its label.
    ASSERT_EQ(
        run("MTOOLSRC=/dev/null " + quoted(findProgram("mdir")) + " -i " + quoted(image.string()) + " ::",
            &out),
        0)
        << out;
    EXPECT_NE(out.find("Volume in drive : is NURA"), std::string::npos) << out;

    // The boot sector's own fields.
    const std::string boot = slurp(image, 512);
    ASSERT_EQ(boot.size(), 512u);
    EXPECT_EQ(u16(boot, 11), 512u); // bytes per sector
    EXPECT_EQ(static_cast<unsigned char>(boot[13]), sectorsPerCluster);
    EXPECT_EQ(u16(boot, 14), 32u);                      // reserved sectors
    EXPECT_EQ(static_cast<unsigned char>(boot[16]), 2); // FATs
    EXPECT_EQ(u16(boot, 50), 6u);                       // backup boot sector
    EXPECT_EQ(u16(boot, 67) | u16(boot, 69) << 16, 0x5E6F7A8Bu);
    EXPECT_EQ(boot.substr(71, 11), "NURA       ");
    EXPECT_EQ(boot.substr(82, 8), "FAT32   ");
    const uint64_t total = u16(boot, 32) | uint64_t{u16(boot, 34)} << 16;
    const uint64_t fat = u16(boot, 36) | uint64_t{u16(boot, 38)} << 16;
    const uint64_t clusters = (total - 32 - 2 * fat) / static_cast<uint64_t>(sectorsPerCluster);
    EXPECT_GE(clusters, 65525u);
    EXPECT_EQ(clusters, fat32ClusterCount(size, sectorsPerCluster));
}

// 8 GiB is above the 7 GiB mark (128 sectors a cluster). Under about 1.07 GB the usual 32 would give fewer
// than 65,525 clusters: 1 GiB gets 16, 40 MiB gets 1.
INSTANTIATE_TEST_SUITE_P(Cards, FormatImage,
                         ::testing::Values(std::make_pair(uint64_t{8} << 30, 128),
                                           std::make_pair(uint64_t{1080000000}, 32),
                                           std::make_pair(uint64_t{1} << 30, 16),
                                           std::make_pair(uint64_t{40} << 20, 1)));

// The disk erased is the disk named: a clone with the same serial under another name is never touched, a
// name that now leads to another disk or a medium with another serial is refused naming both, and a disk
// too small for FAT32 is refused.
TEST_F(FormatHelper, ErasesOnlyTheDiskNamedAndRefusesAnyOther) {
    const auto card = sparseImage("card.img", uint64_t{64} << 20);
    std::string out;
    ASSERT_EQ(run(quoted(findProgram("mkfs.fat")) + " -F 32 -i 1A2B3C4D " + quoted(card.string()), &out), 0)
        << out;
    const auto clone = m_dir / "clone.img";
    std::filesystem::copy_file(card, clone);
    const std::string before = slurp(card, 1 << 20);
    ASSERT_EQ(slurp(clone, 1 << 20), before);

    // The clone's name with the card's identity: it is another disk.
    EXPECT_EQ(formatImage(clone, deviceId(card), "1A2B-3C4D", "5E6F-7A8B", &out), 2) << out;
    EXPECT_NE(out.find(deviceId(clone)), std::string::npos) << out;
    EXPECT_NE(out.find(deviceId(card)), std::string::npos) << out;
    EXPECT_NE(out.find("nothing was erased"), std::string::npos) << out;
    // Another medium in the card's place: its serial is not the one the question showed.
    EXPECT_EQ(formatImage(card, deviceId(card), "0BAD-F00D", "5E6F-7A8B", &out), 2) << out;
    EXPECT_NE(out.find("1A2B-3C4D"), std::string::npos) << out;
    EXPECT_NE(out.find("0BAD-F00D"), std::string::npos) << out;
    EXPECT_EQ(slurp(card, 1 << 20), before);
    EXPECT_EQ(slurp(clone, 1 << 20), before);

    ASSERT_EQ(formatImage(card, deviceId(card), "1a2b-3c4d", "5E6F-7A8B", &out), 0) << out;
    const std::string head = slurp(card, 4096);
    EXPECT_EQ(volumeSerialOf(std::as_bytes(std::span(head))), "5E6F-7A8B");
    EXPECT_EQ(slurp(clone, 1 << 20), before);

    const auto tiny = sparseImage("tiny.img", 30 << 20);
    EXPECT_EQ(formatImage(tiny, deviceId(tiny), "", "5E6F-7A8B", &out), 2) << out;
    EXPECT_NE(out.find("too small for FAT32"), std::string::npos) << out;
    EXPECT_EQ(slurp(tiny), std::string(30 << 20, '\0'));
}
