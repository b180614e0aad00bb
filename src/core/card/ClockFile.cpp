// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/card/ClockFile.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace nura {

namespace {

bool isLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(int y, int m) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : kDays[m - 1];
}

// Exactly `width` decimal digits at `at`.
std::optional<int> digits(std::string_view s, size_t at, size_t width) {
    int v = 0;
    for (size_t i = at; i < at + width; ++i) {
        if (s[i] < '0' || s[i] > '9') {
            return std::nullopt;
        }
        v = v * 10 + (s[i] - '0');
    }
    return v;
}

} // namespace

bool isValidClockTime(const ClockTime& t) {
    return t.year >= 1000 && t.year <= 9999 && t.month >= 1 && t.month <= 12 && t.day >= 1 &&
           t.day <= daysInMonth(t.year, t.month) && t.hour >= 0 && t.hour <= 23 && t.minute >= 0 &&
           t.minute <= 59 && t.second >= 0 && t.second <= 59;
}

std::string clockText(const ClockTime& t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d/%02d/%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return buf;
}

std::optional<ClockTime> parseClockArgument(std::string_view s) {
    // YYYY-MM-DD HH:MM:SS
    if (s.size() != 19 || s[4] != '-' || s[7] != '-' || s[10] != ' ' || s[13] != ':' || s[16] != ':') {
        return std::nullopt;
    }
    const auto y = digits(s, 0, 4), mo = digits(s, 5, 2), d = digits(s, 8, 2), h = digits(s, 11, 2),
               mi = digits(s, 14, 2), se = digits(s, 17, 2);
    if (!y || !mo || !d || !h || !mi || !se) {
        return std::nullopt;
    }
    const ClockTime t{*y, *mo, *d, *h, *mi, *se};
    if (!isValidClockTime(t)) {
        return std::nullopt;
    }
    return t;
}

ClockTime localClockNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
            local.tm_hour,        local.tm_min,     std::min(local.tm_sec, 59)};
}

FileStatus saveClockFile(const std::string& path, const ClockTime& t) {
    // A fixed-size file: on a card the camera keeps full it is rewritten in place rather than not at all.
    return writeFileSafely(path, clockText(t), WriteFallback::InPlaceWhenFull);
}

std::string writeClockFile(const std::string& path, const ClockTime& t) {
    if (!isValidClockTime(t)) {
        return "not a valid date and time";
    }
    const FileStatus status = saveClockFile(path, t);
    return status.ok() ? std::string() : status.describe();
}

} // namespace nura
