// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/settings/TimeZone.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

using namespace nura;

TEST(TimeZone, LocalZoneFollowsTheSystemZone) {
    const char* old = std::getenv("TZ");
    const std::string saved = old ? old : "";
    struct Case {
        const char* tz;
        int index;
    } cases[] = {{"UTC0", 14},   {"<+0845>-8:45", -1}, {"<-0430>4:30", 8}, {"<+0545>-5:45", 23},
                 {"<-12>12", 0}, {"<+13>-13", 33},     {"<+14>-14", -1},   {"<-0330>3:30", 10}};
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
