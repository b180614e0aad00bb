// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/card/ConfigBackup.h"

#include "CoreTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <unistd.h>

using namespace nura;
using coretest::slurp;
using coretest::writeBytes;
namespace fs = std::filesystem;

namespace {

class ConfigBackupTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = coretest::freshTestFolder("nura-backup");
        fs::create_directories(m_dir / "card");
        m_record = std::string(500, '\0');
        for (size_t i = 0; i < m_record.size(); ++i) {
            m_record[i] = static_cast<char>(i * 13 + 1);
        }
        writeBytes(card(), m_record);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::vector<std::string> backups() const { return coretest::sortedNames(folder()); }
    std::string card() const { return (m_dir / "card" / "config.bin").string(); }
    std::string folder() const { return (m_dir / "data" / "backups").string(); }

    fs::path m_dir;
    std::string m_record;
};

constexpr std::time_t kMarch5 = 1709647629; // 2024-03-05 14:07:09 UTC

} // namespace

TEST_F(ConfigBackupTest, BackupNamesTheCardAndTimeAndRestoresByteForByte) {
    const ConfigBackup first = backUpConfigFile(card(), folder(), "NU/RA", kMarch5);
    ASSERT_TRUE(first.status.ok()) << first.status.describe();
    EXPECT_EQ(fs::path(first.path).filename(), "config-NU_RA-20240305T140709Z.bin");
    EXPECT_EQ(slurp(first.path), m_record);
    // A second one in the same second does not replace the first.
    const ConfigBackup second = backUpConfigFile(card(), folder(), "", kMarch5);
    EXPECT_EQ(fs::path(second.path).filename(), "config-NO_NAME-20240305T140709Z.bin");

    // The card is erased; the restore puts the same bytes back and the backup is then marked.
    fs::remove(card());
    ASSERT_TRUE(restoreConfigFile(first.path, card()).ok());
    EXPECT_EQ(slurp(card()), m_record);
    const std::string retired = retireConfigBackup(first.path);
    EXPECT_EQ(fs::path(retired).filename(), "config-NU_RA-20240305T140709Z.restored.bin");
    EXPECT_EQ(slurp(retired), m_record);
}

TEST_F(ConfigBackupTest, FailuresNameThePathAndKeepTheBackup) {
    // A backup folder below a regular file cannot be made: the failure names it, nothing is erased later.
    writeBytes(m_dir / "plain", "x");
    const ConfigBackup refused = backUpConfigFile(card(), (m_dir / "plain" / "b").string(), "NURA", kMarch5);
    EXPECT_FALSE(refused.status.ok());
    EXPECT_EQ(refused.path, (m_dir / "plain" / "b").string());

    const ConfigBackup kept = backUpConfigFile(card(), folder(), "NURA", kMarch5);
    ASSERT_TRUE(kept.status.ok());
    // The card did not come back as a folder one can write into: the restore fails, the backup stays.
    fs::remove_all(m_dir / "card");
    EXPECT_FALSE(restoreConfigFile(kept.path, card()).ok());
    EXPECT_EQ(slurp(kept.path), m_record);
}

// A write the system reports done that changed a byte on the way: the backup is not trusted, so the card is
// never erased on the strength of it.
TEST_F(ConfigBackupTest, ABackupThatDidNotLandIntactIsNotReportedKept) {
    const SafeFileWriteCall previous =
        setSafeFileWriteCall([](int fd, const void* data, std::size_t size, off_t offset) -> ssize_t {
            std::string altered(static_cast<const char*>(data), size);
            if (!altered.empty()) {
                altered[altered.size() / 2] ^= 0x01;
            }
            return ::pwrite(fd, altered.data(), altered.size(), offset);
        });
    const ConfigBackup backup = backUpConfigFile(card(), folder(), "NURA", kMarch5);
    setSafeFileWriteCall(previous);
    EXPECT_FALSE(backup.status.ok());
    EXPECT_EQ(slurp(card()), m_record);
}

TEST_F(ConfigBackupTest, OnlyRestoredBackupsArePrunedKeepingTheNewestTwenty) {
    const ConfigBackup unrestored = backUpConfigFile(card(), folder(), "OLD", kMarch5 - 86400 * 400);
    ASSERT_TRUE(unrestored.status.ok());
    for (int day = 0; day < 25; ++day) {
        const ConfigBackup b = backUpConfigFile(card(), folder(), "NURA", kMarch5 + 86400 * day);
        ASSERT_TRUE(b.status.ok());
        retireConfigBackup(b.path);
    }
    const auto names = backups();
    EXPECT_EQ(names.size(), kKeptRestoredBackups + 1);
    EXPECT_NE(std::find(names.begin(), names.end(), fs::path(unrestored.path).filename().string()),
              names.end());
    EXPECT_EQ(std::count_if(names.begin(), names.end(),
                            [](const std::string& n) {
                                return n.find("20240305T") != std::string::npos ||
                                       n.find("20240309T") != std::string::npos;
                            }),
              0)
        << "the five oldest restored ones went";
}
