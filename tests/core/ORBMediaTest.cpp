// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/media/ORBMedia.h"
#include "core/media/MediaDirection.h"

#include <gtest/gtest.h>

namespace {

struct NameCase {
    const char* path;
    int year, month, day, hour, minute, second;
    int division, direction;
};

// Expected fields written out for each kind of name the card can hold (and some it should not).
const NameCase kNames[] = {
    {"/card/alwa_20230115_083012_F.MP4", 2023, 1, 15, 8, 30, 12, 0, 0},
    {"/card/motion_20230115_083012_R.mp4", 2023, 1, 15, 8, 30, 12, 1, 1},
    {"/card/event_20230115_083012_F.MP4", 2023, 1, 15, 8, 30, 12, 2, 0},
    // Lengths other than 22, 23, 24: nothing parsed, the fresh object's mode and side stay.
    {"/card/alwa_20230115_08301_F.MP4", 0, 0, 0, 0, 0, 0, 0, 0},
    // Known prefix, no side suffix.
    {"/card/alwa_20230115_083012_X.MP4", 2023, 1, 15, 8, 30, 12, 0, 2},
    // No known prefix, rear suffix.
    {"/card/ALWA_20230115_083012_R.MP4", 0, 0, 0, 0, 0, 0, 0, 1},
    // "alwa_" at the event length: read from position 5.
    {"/card/alwa_20230115_083012xx_F.MP4", 2023, 1, 15, 8, 30, 12, 0, 0},
    // Out of range: unknown date-time, mode kept, side left unknown.
    {"/card/alwa_20231315_083012_F.MP4", 0, 0, 0, 0, 0, 0, 0, 2},
    {"/card/event_20230132_083012_R.MP4", 0, 0, 0, 0, 0, 0, 2, 2},
    {"/card/alwa_19691231_235959_F.MP4", 0, 0, 0, 0, 0, 0, 0, 2},
    {"/card/alwa_20230115_253012_F.MP4", 0, 0, 0, 0, 0, 0, 0, 2},
    // The camera's clock edge values pass; the separator is not looked at.
    {"/card/alwa_20230115_246060_F.MP4", 2023, 1, 15, 24, 60, 60, 0, 0},
    {"/card/alwa_20230115-083012_F.MP4", 2023, 1, 15, 8, 30, 12, 0, 0},
    // Leading blanks and signs convert like a leading integer; "-1" fails the range.
    {"/card/alwa_2023 115_083012_F.MP4", 2023, 1, 15, 8, 30, 12, 0, 0},
    {"/card/alwa_2023-115_083012_F.MP4", 0, 0, 0, 0, 0, 0, 0, 2},
};

} // namespace

TEST(ORBMedia, ParsesEveryKindOfName) {
    for (const auto& c : kNames) {
        SCOPED_TRACE(c.path);
        ORBMedia m(c.path);
        EXPECT_EQ(m.year, c.year);
        EXPECT_EQ(m.month, c.month);
        EXPECT_EQ(m.day, c.day);
        EXPECT_EQ(m.hour, c.hour);
        EXPECT_EQ(m.minute, c.minute);
        EXPECT_EQ(m.second, c.second);
        EXPECT_EQ(m.mediaDivision, c.division);
        EXPECT_EQ(m.mediaDirection, c.direction);
        EXPECT_FALSE(m.didValidated);
    }
}

// The file, folder and group names as the list command shows them are its test (list.py).
TEST(ORBMedia, PathPartsAreKeptAsTheyAreAndARelativePathBecomesAbsolute) {
    ORBMedia m("/card/DCIM/alwa_20230115_083012_F.MP4");
    EXPECT_EQ(m.mediaName, "alwa_20230115_083012_F");
    EXPECT_EQ(m.extension, "MP4");
    EXPECT_EQ(m.yyyymmddhhmiss(), "20230115083012");
    EXPECT_EQ(ORBMedia("/card/readme.txt").yyyymmddhhmiss(), "00000000000000");

    const std::string bytes = "/card/\xff\xfe/alwa_20230115_083012_F.MP4"; // not UTF-8
    EXPECT_EQ(ORBMedia(bytes).path, bytes);
    EXPECT_EQ(ORBMedia(bytes).year, 2023);

    const std::string relative = ORBMedia("DCIM/alwa_20230115_083012_F.MP4").path;
    ASSERT_FALSE(relative.empty());
    EXPECT_EQ(relative.front(), '/');
    EXPECT_TRUE(relative.ends_with("/DCIM/alwa_20230115_083012_F.MP4"));
}

TEST(ORBMedia, OrderByDateThenEventFirstThenFrontFirst) {
    ORBMedia alwaysF("/c/alwa_20230115_083012_F.MP4");
    ORBMedia alwaysR("/c/alwa_20230115_083012_R.MP4");
    ORBMedia eventF("/c/event_20230115_083012_F.MP4");
    ORBMedia motionF("/c/motion_20230115_083012_F.MP4");
    ORBMedia later("/c/alwa_20230115_083013_F.MP4");
    ORBMedia undated("/c/xxxx_20230115_083012_F.MP4");

    EXPECT_LT(alwaysF.compareDate(alwaysR), 0);
    EXPECT_LT(eventF.compareDate(alwaysR), 0);
    EXPECT_LT(eventF.compareDate(motionF), 0);
    EXPECT_LT(motionF.compareDate(alwaysF), 0);
    EXPECT_LT(alwaysR.compareDate(later), 0);
    EXPECT_LT(undated.compareDate(alwaysF), 0);
    EXPECT_EQ(alwaysF.compareDate(ORBMedia("/other/alwa_20230115_083012_F.mp4")), 0);
}

TEST(MediaDirection, PlayerSideIgnoresCaseAndNeedsTheMp4Ending) {
    EXPECT_EQ(mediaDirectionOfPath("/c/alwa_20230115_083012_r.mp4"), 1);
    EXPECT_EQ(mediaDirectionOfPath("/c/alwa_20230115_083012_F.MP4"), 0);
    EXPECT_EQ(mediaDirectionOfPath("/c/alwa_20230115_083012_F.AVI"), 2);
    EXPECT_EQ(mediaDirectionOfPath("_R.MP"), 2);
    EXPECT_EQ(mediaDirectionOfPath("_R.MP4"), 1);
    EXPECT_EQ(mediaDirectionOfPath(""), 2);
}
