// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "timeset.cfg": the camera sets its clock from this file on the card. It holds exactly 19 ASCII bytes,
// "yyyy/MM/dd HH:mm:ss" in the camera's local time, with no line end.

#include "core/util/SafeFile.h"

#include <optional>
#include <string>
#include <string_view>

namespace nura {

inline constexpr const char* kClockFileName = "timeset.cfg";
inline constexpr size_t kClockTextSize = 19;

struct ClockTime {
    int year = 2000; // 1000 to 9999, so that the text keeps its 19 bytes
    int month = 1;
    int day = 1;
    int hour = 0; // 24-hour clock
    int minute = 0;
    int second = 0;

    bool operator==(const ClockTime&) const = default;
};

// True for a real calendar date and time of day (no 30 February, no 24:00:00, no leap second).
bool isValidClockTime(const ClockTime& t);
// "2024/03/05 14:07:09".
std::string clockText(const ClockTime& t);
// "YYYY-MM-DD HH:MM:SS" exactly, a real date and time; none otherwise.
std::optional<ClockTime> parseClockArgument(std::string_view text);
// The computer's local time now.
ClockTime localClockNow();

// Replaces the file with the 19 bytes (an older, longer file keeps no stale tail), through
// writeFileSafely: never through a link, never into a device, and on a full card in place.
// The time must be valid (isValidClockTime).
FileStatus saveClockFile(const std::string& path, const ClockTime& t);
// The same, empty on success, otherwise why not. Nothing is written for an invalid time.
std::string writeClockFile(const std::string& path, const ClockTime& t);

} // namespace nura
