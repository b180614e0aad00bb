// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/settings/TimeZone.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

using namespace nura;

TEST(TimeZone, OffsetsMapToTableIndex) {
    EXPECT_EQ(TimeZoneIndexForOffset(-12 * 3600), 0);
    EXPECT_EQ(TimeZoneIndexForOffset(13 * 3600), 33);
    EXPECT_EQ(TimeZoneIndexForOffset(14 * 3600), -1);
    EXPECT_EQ(TimeZoneIndexForOffset(-(3 * 3600 + 30 * 60)), 10);
}

TEST(TimeZone, LocalZoneFollowsTheSystemZone) {
    const char* old = std::getenv("TZ");
    const std::string saved = old ? old : "";
    struct Case {
        const char* tz;
        int index;
    } cases[] = {{"UTC0", 14}, {"<+0845>-8:45", -1}, {"<-0430>4:30", 8}, {"<+0545>-5:45", 23}};
    for (const auto& c : cases) {
        setenv("TZ", c.tz, 1);
        tzset();
        EXPECT_EQ(FindLocalTimeZoneIndex(), c.index) << c.tz;
    }
    if (old) {
        setenv("TZ", saved.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}
