// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/card/ClockFile.h"

#include "CoreTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace nura;
using coretest::slurp;

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

// What a save leaves in place of a longer file, and where it cannot write, is the clock command's test.
TEST(ClockFile, SaveWritesNineteenBytesOnThe24HourClock) {
    const auto path = std::filesystem::temp_directory_path() / "nura-timeset.cfg";
    std::filesystem::remove(path);
    ASSERT_EQ(writeClockFile(path.string(), {2024, 3, 5, 13, 0, 0}), "");
    EXPECT_EQ(slurp(path), "2024/03/05 13:00:00");
    EXPECT_EQ(clockText({2024, 3, 5, 0, 0, 0}), "2024/03/05 00:00:00");

    // An impossible time is a failure, and leaves the file alone.
    EXPECT_NE(writeClockFile(path.string(), {2024, 2, 30, 0, 0, 0}), "");
    EXPECT_EQ(slurp(path), "2024/03/05 13:00:00");
    std::filesystem::remove(path);
}
