// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/card/ClockFile.h"

#include "CoreTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace nura;
using coretest::slurp;

TEST(ClockFile, TextIsNineteenBytesOnThe24HourClock) {
    EXPECT_EQ(clockText({2024, 3, 5, 14, 7, 9}), "2024/03/05 14:07:09");
    EXPECT_EQ(clockText({2024, 3, 5, 0, 0, 0}), "2024/03/05 00:00:00");
    EXPECT_EQ(clockText({2024, 3, 5, 13, 0, 0}), "2024/03/05 13:00:00");
}

TEST(ClockFile, ArgumentMustBeARealDateAndTime) {
    EXPECT_EQ(parseClockArgument("2024-03-05 14:07:09"), (ClockTime{2024, 3, 5, 14, 7, 9}));
    EXPECT_EQ(parseClockArgument("2024-02-29 23:59:59"), (ClockTime{2024, 2, 29, 23, 59, 59}));
    for (const char* bad :
         {"2023-02-29 12:00:00", "2024-04-31 12:00:00", "2024-13-01 12:00:00", "2024-00-10 12:00:00",
          "2024-03-05 24:00:00", "2024-03-05 12:60:00", "2024-03-05 12:00:60", "2024/03/05 14:07:09",
          "2024-03-05T14:07:09", "2024-3-5 14:07:09", "2024-03-05 14:07:09 ", "", "+024-03-05 14:07:09",
          "1900-02-29 00:00:00", "0999-01-01 00:00:00"}) {
        EXPECT_FALSE(parseClockArgument(bad)) << bad;
    }
    EXPECT_TRUE(isValidClockTime(localClockNow()));
}

TEST(ClockFile, SaveLeavesExactlyTheNewBytes) {
    const auto path = std::filesystem::temp_directory_path() / "nura-timeset.cfg";
    std::ofstream(path, std::ios::binary) << "1999/12/31 23:59:59ABCDEF"; // 25 bytes
    ASSERT_EQ(writeClockFile(path.string(), {2024, 3, 5, 14, 7, 9}), "");
    EXPECT_EQ(slurp(path), "2024/03/05 14:07:09");

    std::filesystem::remove(path);
    ASSERT_EQ(writeClockFile(path.string(), {2024, 3, 5, 13, 0, 0}), "");
    EXPECT_EQ(slurp(path), "2024/03/05 13:00:00");

    // An impossible time and an unwritable place are failures, and leave the file alone.
    EXPECT_NE(writeClockFile(path.string(), {2024, 2, 30, 0, 0, 0}), "");
    EXPECT_EQ(slurp(path), "2024/03/05 13:00:00");
    std::filesystem::remove(path);
    EXPECT_NE(writeClockFile("/nonexistent-dir/timeset.cfg", {2024, 3, 5, 0, 0, 0}), "");
}
