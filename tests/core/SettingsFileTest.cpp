#include "core/log.h"
#include "core/settings/FileDataRules.h"
#include "core/settings/SettingFile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

using namespace nura;
namespace fs = std::filesystem;

namespace {

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("nura-settings-" + std::to_string(::getpid()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::string path(const char* name) const { return (m_dir / name).string(); }

    static void writeBytes(const std::string& p, const std::string& data) {
        std::ofstream(p, std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
    }
    static std::string readBytes(const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::vector<std::string> folderEntries() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(m_dir)) {
            names.push_back(e.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path m_dir;
};

_FILEDATA marked(unsigned char fill) {
    _FILEDATA r;
    std::memset(&r, fill, sizeof r);
    return r;
}

} // namespace

TEST_F(SettingsFile, OnlyAWholeRecordIsRead) {
    std::mt19937 rng(4);
    std::string random(500, '\0');
    for (auto& c : random) {
        c = static_cast<char>(rng());
    }
    struct Case {
        std::string content;
        ReadSettingResult expected;
    } cases[] = {
        {"", ReadSettingResult::WrongSize},
        {std::string(499, 'x'), ReadSettingResult::WrongSize},
        {std::string(501, 'x'), ReadSettingResult::WrongSize},
        {random, ReadSettingResult::Ok},
    };
    for (const auto& c : cases) {
        writeBytes(path("config.bin"), c.content);
        _FILEDATA r = marked(0xEE);
        EXPECT_EQ(ReadSettingFile(path("config.bin"), r), c.expected) << c.content.size();
        const std::string got(reinterpret_cast<const char*>(&r), sizeof r);
        EXPECT_EQ(got, c.expected == ReadSettingResult::Ok ? c.content : std::string(500, '\xEE'));
    }
    _FILEDATA r = marked(0xEE);
    EXPECT_EQ(ReadSettingFile(path("missing.bin"), r), ReadSettingResult::CannotOpen);
    EXPECT_EQ(ReadSettingFile(m_dir.string(), r), ReadSettingResult::WrongSize); // a folder
    ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
    EXPECT_EQ(ReadSettingFile(path("fifo"), r), ReadSettingResult::WrongSize); // no writer: must not wait
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&r), sizeof r), std::string(500, '\xEE'));
}

TEST_F(SettingsFile, WriteReplacesWholeFileAndLeavesNoTemporary) {
    writeBytes(path("config.bin"), std::string(1000, 'o')); // longer than a record
    fs::permissions(path("config.bin"), fs::perms(0640));
    _FILEDATA r{};
    SetDefaultFileData(r);
    SealFileData(r);
    EXPECT_EQ(WriteSettingFile(r, path("config.bin")), "");
    EXPECT_EQ(readBytes(path("config.bin")), std::string(reinterpret_cast<const char*>(&r), 500));
    EXPECT_EQ(folderEntries(), std::vector<std::string>{"config.bin"});
    EXPECT_EQ(fs::status(path("config.bin")).permissions(), fs::perms(0640));

    _FILEDATA back{};
    ASSERT_EQ(ReadSettingFile(path("config.bin"), back), ReadSettingResult::Ok);
    EXPECT_EQ(std::memcmp(&back, &r, 500), 0);
}

TEST_F(SettingsFile, FailedWriteKeepsOldFileAndSaysWhy) {
    // Tests may run as root, who can write anywhere: a path below a regular file is unwritable for anyone.
    writeBytes(path("plain"), "x");
    const _FILEDATA r = marked(1);
    LogCapture log;
    EXPECT_EQ(WriteSettingFile(r, path("plain") + "/config.bin"), "msg.file_open_fail");
    EXPECT_TRUE(log.contains("fopen fail:Not a directory"));

    // A folder where the file should be: the rename fails and nothing else is left behind.
    fs::create_directory(path("config.bin"));
    EXPECT_EQ(WriteSettingFile(r, path("config.bin")), "msg.file_open_fail");
    EXPECT_EQ(folderEntries(), (std::vector<std::string>{"config.bin", "plain"}));
    EXPECT_EQ(readBytes(path("plain")), "x");
}

TEST_F(SettingsFile, DefaultFileIsUnsealedDefaults) {
    ASSERT_EQ(WriteDefaultSettingFile(path("config.bin")), "");
    const std::string data = readBytes(path("config.bin"));
    ASSERT_EQ(data.size(), 500u);
    _FILEDATA expected{};
    SetDefaultFileData(expected);
    EXPECT_EQ(data, std::string(reinterpret_cast<const char*>(&expected), 500));
    EXPECT_EQ(data[2], 0);
    EXPECT_EQ(data[3], 0);
}
