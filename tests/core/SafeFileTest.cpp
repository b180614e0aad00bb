// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/util/SafeFile.h"
#include "core/util/OutputCheck.h"

#include "CoreTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace nura;
using coretest::slurp;
using coretest::writeBytes;
namespace fs = std::filesystem;

namespace {

SafeFileStep g_failStep;
int g_failError = 0;
int g_failTimes = -1; // how many more times the step fails; -1 for always
int failAtStep(SafeFileStep step) {
    if (step != g_failStep || g_failTimes == 0) {
        return 0;
    }
    if (g_failTimes > 0) {
        --g_failTimes;
    }
    return g_failError;
}

class SafeFile : public ::testing::Test {
protected:
    void SetUp() override { m_dir = coretest::freshTestFolder("nura-safefile"); }
    void TearDown() override {
        setSafeFileStepHook(nullptr);
        g_failTimes = -1;
        fs::remove_all(m_dir);
    }
    std::string path(const std::string& name) const { return (m_dir / name).string(); }
    std::vector<std::string> entries() const { return coretest::sortedNames(m_dir); }
    // The step fails with `error` the next `times` times it is taken (-1: every time).
    static void failAt(SafeFileStep step, int error, int times = -1) {
        g_failStep = step;
        g_failError = error;
        g_failTimes = times;
        setSafeFileStepHook(&failAtStep);
    }
    fs::path m_dir;
};

} // namespace

// A FIFO, a device, a folder or a missing file given to a reader or a writer, and a link to read through,
// are every command's test (hostile_inputs_test.py); here the cap on what is read.
TEST_F(SafeFile, AReadIsCappedAtItsLimit) {
    writeBytes(path("real"), "abc");
    const FileBytes capped = readFileBytes(path("real"), 2);
    EXPECT_TRUE(capped.status.ok());
    EXPECT_TRUE(capped.cappedAtLimit);
    EXPECT_EQ(capped.bytes.size(), 2u);
}

// A link given as the target is replaced, not followed: config set's test, and the repair's here.
TEST_F(SafeFile, WriteReplacesTheFileKeepingItsMode) {
    writeBytes(path("target"), "old contents, longer than the new");
    ::chmod(path("target").c_str(), 0640);
    ASSERT_TRUE(writeFileSafely(path("target"), "new").ok());
    EXPECT_EQ(slurp(path("target")), "new");
    EXPECT_EQ(fs::status(path("target")).permissions() & fs::perms::all, fs::perms(0640));
    EXPECT_EQ(entries(), std::vector<std::string>{"target"});
}

TEST_F(SafeFile, AFailureAtEachStepKeepsTheOldFileAndLeavesNothingBeside) {
    for (const SafeFileStep step : {SafeFileStep::CreateTemp, SafeFileStep::Sync, SafeFileStep::Rename}) {
        for (const int error : {ENOSPC, EIO}) {
            writeBytes(path("export.csv"), "old");
            failAt(step, error);
            const FileStatus status = writeFileSafely(path("export.csv"), "new contents");
            setSafeFileStepHook(nullptr);
            EXPECT_FALSE(status.ok()) << static_cast<int>(step);
            EXPECT_EQ(status.error, error);
            EXPECT_EQ(slurp(path("export.csv")), "old") << static_cast<int>(step);
            EXPECT_EQ(entries(), std::vector<std::string>{"export.csv"}) << static_cast<int>(step);
        }
    }
}

TEST_F(SafeFile, AFixedSizeFileOnAFullDiskIsRewrittenInPlace) {
    for (const SafeFileStep step : {SafeFileStep::CreateTemp, SafeFileStep::Sync}) {
        writeBytes(path("timeset.cfg"), "2020/01/01 00:00:00");
        struct stat before {};
        ::stat(path("timeset.cfg").c_str(), &before);
        failAt(step, ENOSPC, 1); // the file beside only
        const FileStatus status =
            writeFileSafely(path("timeset.cfg"), "2024/03/05 14:07:09", WriteFallback::InPlaceWhenFull);
        EXPECT_TRUE(status.ok()) << static_cast<int>(step);
        EXPECT_EQ(slurp(path("timeset.cfg")), "2024/03/05 14:07:09");
        struct stat after {};
        ::stat(path("timeset.cfg").c_str(), &after);
        EXPECT_EQ(after.st_ino, before.st_ino) << "rewritten where it lies";

        // When the rewrite in place cannot be synced either, the old bytes go back.
        writeBytes(path("timeset.cfg"), "2020/01/01 00:00:00");
        failAt(SafeFileStep::Sync, ENOSPC, 2);
        EXPECT_EQ(
            writeFileSafely(path("timeset.cfg"), "2024/03/05 14:07:09", WriteFallback::InPlaceWhenFull).fault,
            FileFault::Io);
        EXPECT_EQ(slurp(path("timeset.cfg")), "2020/01/01 00:00:00");
        setSafeFileStepHook(nullptr);
        EXPECT_EQ(entries(), std::vector<std::string>{"timeset.cfg"});
    }
    // Another size, or no file at all, is not rewritten in place: the full disk is the answer.
    writeBytes(path("timeset.cfg"), "short");
    failAt(SafeFileStep::CreateTemp, ENOSPC);
    EXPECT_EQ(
        writeFileSafely(path("timeset.cfg"), "2024/03/05 14:07:09", WriteFallback::InPlaceWhenFull).error,
        ENOSPC);
    EXPECT_EQ(writeFileSafely(path("none.cfg"), "2024/03/05 14:07:09", WriteFallback::InPlaceWhenFull).error,
              ENOSPC);
    setSafeFileStepHook(nullptr);
    EXPECT_EQ(slurp(path("timeset.cfg")), "short");
    EXPECT_FALSE(fs::exists(path("none.cfg")));
}

TEST_F(SafeFile, StaleTemporaryFilesOfGoneProcessesAreRemovedByTheNextWrite) {
    // A process that has ended: its pid is free (for as long as this test runs, near enough).
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(0);
    }
    ::waitpid(child, nullptr, 0);
    const std::string gone = std::to_string(child);
    const std::string alive = std::to_string(::getppid());
    writeBytes(path(".config.bin.nura-" + gone + "-0.tmp"), "half");
    writeBytes(path(".config.bin.new" + gone + "-3"), "half, from an earlier version");
    writeBytes(path(".config.bin.nura-" + alive + "-0.tmp"), "a save still running");
    writeBytes(path(".config.bin.nura-" + gone + "-0.tmp.mine"), "not our pattern");
    writeBytes(path(".other.nura-" + gone + "-0.tmp"), "another file's");
    ASSERT_TRUE(writeFileSafely(path("config.bin"), std::string(500, 'x')).ok());
    std::vector<std::string> kept = {".config.bin.nura-" + alive + "-0.tmp",
                                     ".config.bin.nura-" + gone + "-0.tmp.mine",
                                     ".other.nura-" + gone + "-0.tmp", "config.bin"};
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(entries(), kept);
}

TEST_F(SafeFile, AStreamDroppedWithoutCommitLeavesTheOldFile) {
    writeBytes(path("trip.gpx"), "old");
    {
        SafeFileWriter writer(path("trip.gpx"));
        ASSERT_TRUE(writer.begin().ok());
        writer.write("part of a new file");
    }
    EXPECT_EQ(slurp(path("trip.gpx")), "old");
    EXPECT_EQ(entries(), std::vector<std::string>{"trip.gpx"});
}

// A writer that fills the temporary file through its descriptor (a copy made in the kernel) and must not
// replace a file that appeared meanwhile, a link included.
TEST_F(SafeFile, ADescriptorWrittenFileIsPutInPlaceOnlyWhereNothingIs) {
    SafeFileWriter writer(path("repaired.MP4"));
    ASSERT_TRUE(writer.begin().ok());
    ASSERT_GE(writer.fd(), 0);
    ASSERT_EQ(::pwrite(writer.fd(), "frames", 6, 0), 6);
    ASSERT_EQ(::symlink("elsewhere", path("repaired.MP4").c_str()), 0);
    const FileStatus kept = writer.commit(SafeFileWriter::Replace::Never);
    EXPECT_EQ(kept.error, EEXIST);
    EXPECT_EQ(entries(), std::vector<std::string>{"repaired.MP4"});
    EXPECT_TRUE(fs::is_symlink(path("repaired.MP4")));

    SafeFileWriter forced(path("repaired.MP4"));
    ASSERT_TRUE(forced.begin().ok());
    ASSERT_EQ(::pwrite(forced.fd(), "frames", 6, 0), 6);
    ASSERT_TRUE(forced.commit(SafeFileWriter::Replace::Always).ok());
    EXPECT_FALSE(fs::is_symlink(path("repaired.MP4")));
    EXPECT_EQ(slurp(path("repaired.MP4")), "frames");
}

TEST_F(SafeFile, AnOutputThatIsOneOfTheInputsIsFoundHoweverItIsNamed) {
    writeBytes(path("a.mp4"), {1});
    writeBytes(path("b.mp4"), {2});
    const std::vector<std::string> inputs{path("a.mp4"), path("b.mp4")};
    EXPECT_EQ(outputAmongInputs(path("new.mp4"), inputs), std::nullopt) << "not there yet";
    EXPECT_EQ(outputAmongInputs(path("b.mp4"), inputs), path("b.mp4"));
    ASSERT_EQ(::link(path("b.mp4").c_str(), path("hard.mp4").c_str()), 0);
    EXPECT_EQ(outputAmongInputs(path("hard.mp4"), inputs), path("b.mp4")) << "another name, same inode";
    ASSERT_EQ(::symlink("b.mp4", path("to-b.mp4").c_str()), 0);
    EXPECT_EQ(outputAmongInputs(path("to-b.mp4"), inputs), path("b.mp4")) << "the link resolves to an input";
    // The rename would replace the link itself, which is what the command reads when given it.
    EXPECT_EQ(outputAmongInputs(path("to-b.mp4"), {path("to-b.mp4")}), path("to-b.mp4"));
    EXPECT_EQ(outputAmongInputs(path("a.mp4"), {path("gone.mp4"), path("a.mp4")}), path("a.mp4"));
}

// The temporary name adds some 20 bytes to the target's; a long target name must still be written, and
// what a killed writer leaves of it must still be cleaned up as this program's.
TEST_F(SafeFile, ALongNameIsWrittenAndItsLeftoversAreStillCleanedUp) {
    const std::string name = std::string(246, 'a') + ".MP4";
    ASSERT_EQ(name.size(), 250u);
    const pid_t child = ::fork();
    if (child == 0) {
        SafeFileWriter writer(path(name));
        ::_exit(writer.begin().ok() ? 0 : 1); // ends without cleaning up, as a killed process would
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the temporary file could not be made";
    ASSERT_EQ(entries().size(), 1u);
    EXPECT_NE(entries()[0].find(".nura-" + std::to_string(child) + "-"), std::string::npos) << entries()[0];

    ASSERT_TRUE(writeFileSafely(path(name), "frames").ok());
    EXPECT_EQ(entries(), std::vector<std::string>{name});
    EXPECT_EQ(slurp(path(name)), "frames");

    // Shortened where a character begins: a card that keeps names as UTF-16 refuses a broken one.
    std::string accented;
    while (accented.size() < 246) {
        accented += "\xC3\xA9";
    }
    SafeFileWriter writer(path(accented + ".MP4"));
    ASSERT_TRUE(writer.begin().ok());
    const std::string temp = fs::path(writer.temporaryPath()).filename().string();
    EXPECT_EQ(temp.compare(0, 3, ".\xC3\xA9"), 0);
    EXPECT_NE(temp[temp.find(".nura-") - 1], '\xC3') << "a character cut in two";
}
