// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/log.h"
#include "core/settings/FileDataRules.h"
#include "core/settings/SettingFile.h"

#include "CoreTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace nura;
using coretest::runWithoutRoot;
using coretest::slurp;
using coretest::writeBytes;
namespace fs = std::filesystem;

namespace {

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override { m_dir = coretest::freshTestFolder("nura-settings"); }
    void TearDown() override { fs::remove_all(m_dir); }

    std::string path(const char* name) const { return (m_dir / name).string(); }

    std::vector<std::string> folderEntries() const { return coretest::sortedNames(m_dir); }

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
}

TEST_F(SettingsFile, DefaultFileIsUnsealedDefaults) {
    ASSERT_EQ(WriteDefaultSettingFile(path("config.bin")), "");
    const std::string data = slurp(path("config.bin"));
    ASSERT_EQ(data.size(), 500u);
    _FILEDATA expected{};
    SetDefaultFileData(expected);
    EXPECT_EQ(data, std::string(reinterpret_cast<const char*>(&expected), 500)); // its checksum left at 0
}

namespace {

std::string pathOfDescriptor(int fd) {
    char target[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

// Stands in for the system's write: the file written beside the old one finds the card full, and the
// card's own file takes `budget` bytes before its write fails.
struct FakeWrite {
    static inline bool cardFull = false;
    static inline long budget = -1;       // -1: no limit
    static inline bool noWayBack = false; // once a write has failed, every later one fails too
    static inline bool failed = false;
    static inline int calls = 0;

    static void reset() {
        cardFull = false;
        budget = -1;
        noWayBack = false;
        failed = false;
        calls = 0;
    }

    static ssize_t call(int fd, const void* data, std::size_t size, off_t offset) {
        ++calls;
        const std::string name = fs::path(pathOfDescriptor(fd)).filename().string();
        if (cardFull && !name.empty() && name.front() == '.') {
            errno = ENOSPC;
            return -1;
        }
        if (failed && noWayBack) {
            errno = EIO;
            return -1;
        }
        if (budget >= 0) {
            if (budget == 0) {
                failed = true;
                budget = -1; // the old bytes then fit back where they were
                errno = ENOSPC;
                return -1;
            }
            size = std::min<std::size_t>(size, static_cast<std::size_t>(budget));
            budget -= static_cast<long>(size);
        }
        return ::pwrite(fd, data, size, offset);
    }
};

class SettingsFileInPlace : public SettingsFile {
protected:
    void SetUp() override {
        SettingsFile::SetUp();
        FakeWrite::reset();
        m_previous = setSettingFileWriteCall(&FakeWrite::call);
        m_old = std::string(500, '\0');
        for (std::size_t i = 0; i < m_old.size(); ++i) {
            m_old[i] = static_cast<char>(i * 7 + 3);
        }
        writeBytes(path("config.bin"), m_old);
    }
    void TearDown() override {
        setSettingFileWriteCall(m_previous);
        SettingsFile::TearDown();
    }
    // Runs `body` as a user who is not root, with the system's own write, in a folder that takes no new file.
    int inLockedFolder(const std::function<int()>& body) {
        setSettingFileWriteCall(m_previous);
        fs::permissions(path("config.bin"), fs::perms(0666));
        fs::permissions(m_dir, fs::perms(0555));
        const int status = runWithoutRoot(body);
        fs::permissions(m_dir, fs::perms(0755));
        return status;
    }
    static std::string bytesOf(const _FILEDATA& r) {
        return std::string(reinterpret_cast<const char*>(&r), 500);
    }

    SettingFileWriteCall m_previous = nullptr;
    std::string m_old;
};

} // namespace

TEST_F(SettingsFileInPlace, WriteStoppingPartWayPutsTheOldBytesBack) {
    FakeWrite::cardFull = true;
    const _FILEDATA r = marked(0x5A);
    for (const long budget : {0L, 1L, 100L, 499L}) {
        FakeWrite::budget = budget;
        FakeWrite::failed = false;
        EXPECT_EQ(WriteSettingFile(r, path("config.bin")), "msg.file_open_fail") << budget;
        EXPECT_EQ(slurp(path("config.bin")), m_old) << budget;
    }
    EXPECT_EQ(folderEntries(), std::vector<std::string>{"config.bin"});
}

TEST_F(SettingsFileInPlace, OldBytesThatCannotBePutBackAreReportedAsDamage) {
    FakeWrite::cardFull = true;
    FakeWrite::budget = 100;
    FakeWrite::noWayBack = true;
    LogCapture log;
    EXPECT_EQ(WriteSettingFile(marked(0x5A), path("config.bin")), "msg.file_damaged");
    EXPECT_EQ(slurp(path("config.bin")).substr(100), m_old.substr(100));
}

TEST_F(SettingsFileInPlace, LockedFolderRewritesTheFileInPlace) {
    const _FILEDATA r = marked(0x5A);
    EXPECT_EQ(inLockedFolder([&] { return WriteSettingFile(r, path("config.bin")).empty() ? 0 : 1; }), 0);
    EXPECT_EQ(slurp(path("config.bin")), bytesOf(r));
    EXPECT_EQ(folderEntries(), std::vector<std::string>{"config.bin"});
}

TEST_F(SettingsFile, ReadOnlyFileIsRefusedEvenForRoot) {
    // Mode 0444 is FAT's read-only attribute; root passes access(), so the mode bits decide.
    writeBytes(path("config.bin"), std::string(500, 'o'));
    fs::permissions(path("config.bin"), fs::perms(0444));
    EXPECT_EQ(WriteSettingFile(marked(1), path("config.bin")), "msg.file_read_only");
    EXPECT_EQ(slurp(path("config.bin")), std::string(500, 'o'));
    EXPECT_EQ(folderEntries(), std::vector<std::string>{"config.bin"});
}

// A save renames a new file over the locked one. An edit that was waiting on the old file must take the
// lock on the new one, or a third edit could hold the new file at the same time and one change be lost.
TEST_F(SettingsFile, AWaitingLockFollowsTheFileASaveRenamedIntoPlace) {
    const std::string file = path("config.bin");
    ASSERT_TRUE(SaveSettingFile(marked(1), file).ok());
    struct stat old {};
    ASSERT_EQ(::stat(file.c_str(), &old), 0);
    auto first = std::make_unique<SettingFileLock>(file);
    ASSERT_TRUE(first->held());

    std::atomic<bool> release{false}, heldBySecond{false};
    std::thread second([&] {
        const SettingFileLock lock(file);
        heldBySecond = lock.held();
        while (!release) {
            std::this_thread::yield();
        }
    });
    // The second edit is waiting when the kernel lists it as blocked on the old file ("->" in /proc/locks).
    const std::string inode = ":" + std::to_string(old.st_ino) + " ";
    for (int look = 0; look < 10000; ++look) {
        std::ifstream locks("/proc/locks");
        std::string line;
        bool waiting = false;
        while (std::getline(locks, line)) {
            waiting =
                waiting || (line.find("->") != std::string::npos && line.find(inode) != std::string::npos);
        }
        if (waiting) {
            break;
        }
        ::usleep(1000);
    }
    ASSERT_TRUE(SaveSettingFile(marked(2), file).ok()); // a new file, renamed over the locked one
    first.reset();
    while (!heldBySecond) {
        std::this_thread::yield();
    }
    const int fd = ::open(file.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    EXPECT_NE(::flock(fd, LOCK_EX | LOCK_NB), 0) << "the new file is not held by the waiting edit";
    ::close(fd);
    release = true;
    second.join();
}
