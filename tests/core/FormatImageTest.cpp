// SPDX-License-Identifier: GPL-3.0-or-later
// The format command line run for real by mkfs.fat on sparse image files, and the result read back by
// independent tools (fsck.fat, mtools) and from the boot sector's own bytes.

#include "core/card/FormatCommands.h"

#include "CoreTestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

using namespace nura;
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

// Runs a command line (arguments we made, quoted), returning its exit status and output.
int run(const std::string& commandLine, std::string* output = nullptr) {
    std::FILE* p = ::popen((commandLine + " 2>&1").c_str(), "r");
    if (!p) {
        return -1;
    }
    std::array<char, 4096> buf{};
    std::string out;
    size_t n = 0;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) {
        out.append(buf.data(), n);
    }
    const int status = ::pclose(p);
    if (output) {
        *output = out;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

unsigned u16(const std::string& b, size_t at) {
    return static_cast<unsigned char>(b[at]) | static_cast<unsigned char>(b[at + 1]) << 8;
}

class FormatImage : public ::testing::TestWithParam<std::pair<uint64_t, int>> {};

} // namespace

TEST_P(FormatImage, MakesTheCardsFileSystemAndTakesConfigBinBack) {
    const std::string mkfs = findProgram("mkfs.fat"), fsck = findProgram("fsck.fat");
    const std::string minfo = findProgram("minfo"), mcopy = findProgram("mcopy"), mdir = findProgram("mdir");
    if (mkfs.empty() || fsck.empty() || minfo.empty() || mcopy.empty() || mdir.empty()) {
        GTEST_SKIP() << "dosfstools or mtools not installed";
    }
    const auto [size, sectorsPerCluster] = GetParam();
    const auto dir = std::filesystem::temp_directory_path() / ("nura-format-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto image = dir / "card.img";
    std::filesystem::resize_file((std::ofstream(image), image), size); // sparse: costs no disk space

    TKUSBDiskEntity disk("OLD", "", image.string(), std::nullopt, size, true, false, "");
    CommandLine line = formatCommandLine(disk);
    ASSERT_EQ(line.front(), "mkfs.fat");
    line.front() = mkfs;
    std::string commandLine;
    for (const auto& arg : line) {
        commandLine += quoted(arg) + " ";
    }
    std::string out;
    ASSERT_EQ(run(commandLine, &out), 0) << out;

    EXPECT_EQ(run(quoted(fsck) + " -n " + quoted(image.string()), &out), 0) << out;

    // The boot sector's own fields.
    const std::string boot = slurp(image, 512);
    ASSERT_EQ(boot.size(), 512u);
    EXPECT_EQ(u16(boot, 11), 512u); // bytes per sector
    EXPECT_EQ(static_cast<unsigned char>(boot[13]), sectorsPerCluster);
    EXPECT_EQ(u16(boot, 14), 32u);                      // reserved sectors
    EXPECT_EQ(static_cast<unsigned char>(boot[16]), 2); // FATs
    EXPECT_EQ(u16(boot, 50), 6u);                       // backup boot sector
    EXPECT_EQ(boot.substr(71, 11), "NURA       ");
    EXPECT_EQ(boot.substr(82, 8), "FAT32   ");

    // mtools' reading of the same.
    const std::string env = "MTOOLS_SKIP_CHECK=1 MTOOLSRC=/dev/null ";
    ASSERT_EQ(run(env + quoted(minfo) + " -i " + quoted(image.string()) + " ::", &out), 0) << out;
    EXPECT_NE(out.find("reserved (boot) sectors: 32"), std::string::npos) << out;
    EXPECT_NE(out.find("fats: 2"), std::string::npos) << out;
    EXPECT_NE(out.find("backup boot sector=6"), std::string::npos) << out;
    EXPECT_NE(out.find("cluster size: " + std::to_string(sectorsPerCluster) + " sectors"), std::string::npos)
        << out;
    EXPECT_NE(out.find("disk type=\"FAT32   \""), std::string::npos) << out;
    EXPECT_NE(out.find("disk label=\"NURA       \""), std::string::npos) << out;

    // The card's settings record put back and read out again byte for byte.
    std::string record(500, '\0');
    for (size_t i = 0; i < record.size(); ++i) {
        record[i] = static_cast<char>((i * 37 + 11) & 0xff);
    }
    const auto saved = dir / "config.bin";
    std::ofstream(saved, std::ios::binary) << record;
    ASSERT_EQ(
        run(env + quoted(mcopy) + " -i " + quoted(image.string()) + " " + quoted(saved.string()) + " ::",
            &out),
        0)
        << out;
    ASSERT_EQ(run(env + quoted(mdir) + " -i " + quoted(image.string()) + " ::", &out), 0) << out;
    EXPECT_NE(out.find("NURA"), std::string::npos) << out;
    EXPECT_NE(out.find("config   bin       500"), std::string::npos) << out;
    const auto back = dir / "back.bin";
    ASSERT_EQ(
        run(env + quoted(mcopy) + " -i " + quoted(image.string()) + " ::config.bin " + quoted(back.string()),
            &out),
        0)
        << out;
    EXPECT_EQ(slurp(back), record);
    EXPECT_EQ(run(quoted(fsck) + " -n " + quoted(image.string()), &out), 0) << out;

    std::filesystem::remove_all(dir);
}

// 2 GiB is below the 7 GiB mark (32 sectors a cluster), 8 GiB above it (128); both give mtools the 65,525
// clusters it wants of FAT32.
INSTANTIATE_TEST_SUITE_P(Cards, FormatImage,
                         ::testing::Values(std::make_pair(uint64_t{2} << 30, 32),
                                           std::make_pair(uint64_t{8} << 30, 128)));
