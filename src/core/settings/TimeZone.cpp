// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/settings/TimeZone.h"

#include <ctime>

namespace nura {

int TimeZoneIndexForOffset(long offsetSeconds) {
    const long hours = offsetSeconds / 3600; // truncated toward zero, so -4:30 is -4 h and -30 min
    const long minutes = (offsetSeconds - hours * 3600) / 60;
    const long wanted = hours * 100 + minutes;
    for (std::size_t i = 0; i < TimeZoneOffsetTable.size(); ++i) {
        if (TimeZoneOffsetTable[i] == wanted) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int FindLocalTimeZoneIndex() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) == nullptr) {
        return -1;
    }
    return TimeZoneIndexForOffset(local.tm_gmtoff);
}

} // namespace nura
