// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/card/ByteSizeText.h"

#include <cstdio>

namespace nura {

std::string byteSizeText(uint64_t n) {
    char buf[32];
    if (n < 1024) {
        std::snprintf(buf, sizeof buf, "%llu B", static_cast<unsigned long long>(n));
        return buf;
    }
    static constexpr char kUnits[] = "kMGTPEZY";
    constexpr int kLastUnit = 7;
    unsigned long long q = n;
    unsigned long long r = 0;
    bool lowerRemainders = false; // any remainder before the last was non-zero: an exact half rounds up
    int unit = -1;
    for (;;) {
        lowerRemainders = lowerRemainders || r != 0;
        r = q % 1024;
        q /= 1024;
        ++unit;
        if (q < 1024 || unit == kLastUnit) {
            break;
        }
    }
    if (q >= 10) {
        if (r > 512 || (r == 512 && (q % 2 == 1 || lowerRemainders))) {
            ++q;
        }
        if (q == 1024 && unit != kLastUnit) {
            std::snprintf(buf, sizeof buf, "1.0 %cB", kUnits[unit + 1]);
        } else {
            std::snprintf(buf, sizeof buf, "%llu %cB", q, kUnits[unit]);
        }
        return buf;
    }
    if (r < 950) {
        unsigned long long digit = r / 100;
        const unsigned long long rest = r % 100;
        if (rest > 50 || (rest == 50 && (digit % 2 == 1 || lowerRemainders))) {
            ++digit;
        }
        std::snprintf(buf, sizeof buf, "%llu.%llu %cB", q, digit, kUnits[unit]);
    } else if (q == 9) {
        std::snprintf(buf, sizeof buf, "10 %cB", kUnits[unit]);
    } else {
        std::snprintf(buf, sizeof buf, "%llu.0 %cB", q + 1, kUnits[unit]);
    }
    return buf;
}

} // namespace nura
