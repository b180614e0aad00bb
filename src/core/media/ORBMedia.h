// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One recording file, understood from its name alone: mode, start date-time and camera side.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

enum ORBMediaDivision : int32_t {
    ORBMediaDivisionAlways = 0,
    ORBMediaDivisionMotion = 1,
    ORBMediaDivisionEvent = 2
};

class ORBMedia {
public:
    ORBMedia() = default;
    explicit ORBMedia(std::string_view path) { parsePath(path); }
    static std::shared_ptr<ORBMedia> mediaWithPath(std::string_view path);

    void parsePath(std::string_view path);

    // Converts the six date-time fields at `startPos` of `name` into this object and tells whether
    // the name is long enough and every field is in range. The converted values stay either way.
    bool _parseTimeByName(std::string_view name, int64_t startPos);
    void _updateToUknown();

    bool isFrontMedia() const { return mediaDirection == 0; }
    bool isRearMedia() const { return mediaDirection == 1; }
    bool isAlwaysMedia() const { return mediaDivision == ORBMediaDivisionAlways; }
    bool isMotionMedia() const { return mediaDivision == ORBMediaDivisionMotion; }
    bool isEventMedia() const { return mediaDivision == ORBMediaDivisionEvent; }

    // "alwa_20230115_083012_F.MP4": the extension keeps its case from the card.
    std::string fileName() const;
    // The name the front and rear file of one recording share: the base name less "_F"/"_R".
    std::string mediaGroupName() const;
    // "20230115083012"; "00000000000000" when unknown.
    std::string yyyymmddhhmiss() const;
    // Negative when this media comes first: earlier date-time, then event before motion before
    // always, then front before rear before unknown.
    int compareDate(const ORBMedia& other) const;

    std::string path;
    std::string mediaName;
    std::string extension;
    std::string dir;
    int32_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    int32_t mediaDivision = ORBMediaDivisionAlways;
    int32_t mediaDirection = 0;
    bool didValidated = false;

    // The name's date-time as seconds since 1970, read as UTC (the camera's clock has no zone); nothing
    // for a name without a valid date-time.
    std::optional<int64_t> nameSeconds() const;

    // The date-time as one comparable number (the 14-digit text read as a number for in-range
    // values); compareDate falls back to the text for anything else.
    bool dateKey(uint64_t& key) const;
};

namespace orb_media {

// Recording base-name lengths: "alwa_yyyymmdd_hhmiss_F", "event_...", "motion_...".
inline constexpr size_t kAlwaysLength = 22, kEventLength = 23, kMotionLength = 24;
inline constexpr size_t kDateTimeLength = 15; // "yyyymmdd_hhmiss"

struct DateTime {
    int32_t year, month, day, hour, minute, second;
};

// Reads the six fields at position p (no range check); false when the name is too short.
bool readDateTime(std::string_view name, int64_t p, DateTime& out);
bool dateTimeInRange(const DateTime& t);
// A leading decimal integer: blanks skipped, optional sign, digits up to the first non-digit.
int32_t leadingInt(std::string_view field);

// Base name (last component, without extension) and extension of a path.
std::string_view lastComponent(std::string_view path);
std::string_view baseName(std::string_view path);
std::string_view pathExtension(std::string_view path);
// Whether the path's extension is "mp4" in any case, as the camera's recordings have.
bool hasMp4Extension(std::string_view path);

} // namespace orb_media
