// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/media/ORBMedia.h"

#include "core/util/Text.h"

#include <cstdio>
#include <ctime>
#include <filesystem>

namespace orb_media {

int32_t leadingInt(std::string_view field) {
    return nura::leadingInt32(field);
}

bool readDateTime(std::string_view name, int64_t p, DateTime& out) {
    if (p < 0 || name.size() < static_cast<size_t>(p) + kDateTimeLength) {
        return false;
    }
    const auto s = name.substr(static_cast<size_t>(p), kDateTimeLength);
    // Position 8 (between date and time) is not looked at.
    out = {leadingInt(s.substr(0, 4)), leadingInt(s.substr(4, 2)),  leadingInt(s.substr(6, 2)),
           leadingInt(s.substr(9, 2)), leadingInt(s.substr(11, 2)), leadingInt(s.substr(13, 2))};
    return true;
}

bool dateTimeInRange(const DateTime& t) {
    // The camera's clock may write hour 24 and minute or second 60; they are kept as written.
    return t.year >= 1970 && t.year <= 2700 && t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= 31 &&
           t.hour >= 0 && t.hour <= 24 && t.minute >= 0 && t.minute <= 60 && t.second >= 0 && t.second <= 60;
}

std::string_view lastComponent(std::string_view path) {
    while (path.size() > 1 && path.back() == '/') {
        path.remove_suffix(1);
    }
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

namespace {

// Position of the extension's dot in a last component, or npos. A leading dot is part of the name.
size_t extensionDot(std::string_view component) {
    const auto dot = component.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == component.size()) {
        return std::string_view::npos;
    }
    return dot;
}

} // namespace

std::string_view baseName(std::string_view path) {
    const auto c = lastComponent(path);
    const auto dot = extensionDot(c);
    return dot == std::string_view::npos ? c : c.substr(0, dot);
}

std::string_view pathExtension(std::string_view path) {
    const auto c = lastComponent(path);
    const auto dot = extensionDot(c);
    return dot == std::string_view::npos ? std::string_view() : c.substr(dot + 1);
}

bool hasMp4Extension(std::string_view path) {
    const auto ext = pathExtension(path);
    return ext.size() == 3 && (ext[0] == 'm' || ext[0] == 'M') && (ext[1] == 'p' || ext[1] == 'P') &&
           ext[2] == '4';
}

} // namespace orb_media

using namespace orb_media;

std::shared_ptr<ORBMedia> ORBMedia::mediaWithPath(std::string_view path) {
    return std::make_shared<ORBMedia>(path);
}

void ORBMedia::parsePath(std::string_view rawPath) {
    if (!rawPath.empty() && rawPath.front() == '/') {
        path.assign(rawPath);
    } else {
        std::error_code ec;
        auto abs = std::filesystem::absolute(std::filesystem::path(std::string(rawPath)), ec);
        path = ec ? std::string(rawPath) : abs.string();
    }
    mediaName.assign(baseName(path));
    extension.assign(pathExtension(path));
    const auto slash = path.rfind('/');
    dir = slash == std::string::npos ? std::string() : path.substr(0, slash == 0 ? 1 : slash);

    const size_t len = mediaName.size();
    if (len != kAlwaysLength && len != kMotionLength && len != kEventLength) {
        _updateToUknown();
        return;
    }
    mediaDirection = 2;

    struct Prefix {
        std::string_view text;
        int32_t division;
    };
    static constexpr Prefix prefixes[] = {{"alwa_", ORBMediaDivisionAlways},
                                          {"motion_", ORBMediaDivisionMotion},
                                          {"event_", ORBMediaDivisionEvent}};
    for (const auto& prefix : prefixes) {
        if (std::string_view(mediaName).starts_with(prefix.text)) {
            mediaDivision = prefix.division;
            if (!_parseTimeByName(mediaName, static_cast<int64_t>(prefix.text.size()))) {
                _updateToUknown();
                return;
            }
            break;
        }
    }
    if (mediaName.ends_with("_F")) {
        mediaDirection = 0;
    } else if (mediaName.ends_with("_R")) {
        mediaDirection = 1;
    }
}

bool ORBMedia::_parseTimeByName(std::string_view name, int64_t startPos) {
    DateTime t{};
    if (!readDateTime(name, startPos, t)) {
        return false;
    }
    year = t.year;
    month = t.month;
    day = t.day;
    hour = t.hour;
    minute = t.minute;
    second = t.second;
    return dateTimeInRange(t);
}

void ORBMedia::_updateToUknown() {
    year = month = day = hour = minute = second = 0;
}

std::string ORBMedia::fileName() const {
    return mediaName + "." + extension;
}

std::string ORBMedia::mediaGroupName() const {
    return mediaName.size() >= 2 ? mediaName.substr(0, mediaName.size() - 2) : std::string();
}

std::string ORBMedia::yyyymmddhhmiss() const {
    char text[96];
    std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", year, month, day, hour, minute, second);
    return text;
}

bool ORBMedia::dateKey(uint64_t& key) const {
    const DateTime t{year, month, day, hour, minute, second};
    const bool unknown = year == 0 && month == 0 && day == 0 && hour == 0 && minute == 0 && second == 0;
    if (!unknown && !dateTimeInRange(t)) {
        return false;
    }
    key = ((((static_cast<uint64_t>(year) * 100 + static_cast<uint64_t>(month)) * 100 +
             static_cast<uint64_t>(day)) *
                100 +
            static_cast<uint64_t>(hour)) *
               100 +
           static_cast<uint64_t>(minute)) *
              100 +
          static_cast<uint64_t>(second);
    return true;
}

int ORBMedia::compareDate(const ORBMedia& other) const {
    uint64_t a = 0, b = 0;
    if (dateKey(a) && other.dateKey(b)) {
        if (a != b) {
            return a < b ? -1 : 1;
        }
    } else {
        const int c = yyyymmddhhmiss().compare(other.yyyymmddhhmiss());
        if (c != 0) {
            return c < 0 ? -1 : 1;
        }
    }
    if (mediaDivision != other.mediaDivision) {
        return mediaDivision > other.mediaDivision ? -1 : 1;
    }
    if (mediaDirection != other.mediaDirection) {
        return mediaDirection < other.mediaDirection ? -1 : 1;
    }
    return 0;
}

std::optional<int64_t> ORBMedia::nameSeconds() const {
    if (year == 0) {
        return std::nullopt;
    }
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return static_cast<int64_t>(::timegm(&t));
}
