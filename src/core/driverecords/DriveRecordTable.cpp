// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/driverecords/DriveRecordTable.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace nura {

const std::array<DriveRecordColumn, kDriveRecordColumnCount> kDriveRecordColumns = {{
    {"setting.flashdata.index", "No.", 38},
    {"setting.flashdata.seq", "Seq", 38},
    {"setting.flashdata.date", "Date", 86},
    {"setting.flashdata.time", "Time", 72},
    {"setting.flashdata.yoil", "Day", 70},
    {"setting.flashdata.lat", "Latitude", 64},
    {"setting.flashdata.lon", "Longitude", 72},
    {"setting.flashdata.driving_distance", "Distance", 60},
    {"setting.flashdata.cur_speed", "Speed", 60},
    {"setting.flashdata.max_speed", "Max speed", 60},
    {"setting.flashdata.value", "Status", 48},
    {"", "X", 48},
    {"", "Y", 48},
    {"", "Z", 48},
    {"setting.flashdata.battery", "Battery", 60},
    {"", "TTC", 60},
    {"", "DTC", 60},
}};

namespace {

template <typename... Args> std::string format(const char* fmt, Args... args) {
    char buf[64];
    const int n = std::snprintf(buf, sizeof buf, fmt, args...);
    return std::string(buf, n < 0 ? 0 : std::min<size_t>(static_cast<size_t>(n), sizeof buf - 1));
}

// Tenths as "12.4" / " 0.5"; a negative value keeps its sign in front ("-0.5", "-12.4").
std::string tenths(int16_t value) {
    const int v = value;
    if (v < 0) {
        return format("-%d.%1d", -v / 10, -v % 10);
    }
    return format("%2d.%1d", v / 10, v % 10);
}

std::string gForce(int16_t value) {
    return format("%+.2f", value * 0.00390625);
}

const char* const kDays[] = {"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"};

} // namespace

std::string driveRecordCell(const _FLASH_SAVE_VALUE_STRUCT& r, size_t row, size_t column) {
    switch (column) {
    case 0:
        return format("%zu", row + 1);
    case 1:
        return format("%d", r.seq);
    case 2:
        return format("%4d/%02d/%02d", r.year + 1900, r.month, r.day);
    case 3:
        return format("%02d:%02d:%02d", r.hour, r.minute, r.second);
    case 4:
        return r.dayOfWeek < 7 ? kDays[r.dayOfWeek] : "-";
    case 5:
        return format("%04d.%04d", r.latDeg, r.latFrac);
    case 6:
        return format("%05d.%04d", r.lonDeg, r.lonFrac);
    case 7:
        return format("%.1f", r.distance / 10.0);
    case 8:
        return format("%d", r.curSpeed);
    case 9:
        return format("%d", r.maxSpeed);
    case 10:
        return r.status == 1 ? "A" : r.status == 2 ? "F" : "V";
    case 11:
        return gForce(r.gsenX);
    case 12:
        return gForce(r.gsenY);
    case 13:
        return gForce(r.gsenZ);
    case 14:
        return tenths(r.battery);
    case 15:
        return tenths(r.ttc);
    case 16:
        return tenths(r.dtc);
    default:
        return {};
    }
}

std::string driveRecordCsvHeader() {
    std::string line;
    for (size_t c = 0; c < kDriveRecordColumns.size(); ++c) {
        line.append(c ? "," : "").append(csvField(kDriveRecordColumns[c].title));
    }
    return line + "\n";
}

std::string driveRecordCsvLine(const _FLASH_SAVE_VALUE_STRUCT& record, size_t row) {
    std::string line;
    for (size_t c = 0; c < kDriveRecordColumns.size(); ++c) {
        line.append(c ? "," : "").append(csvField(driveRecordCell(record, row, c)));
    }
    return line + "\n";
}

bool writeDriveRecordCsv(std::FILE* out, const std::vector<_FLASH_SAVE_VALUE_STRUCT>& records) {
    const std::string header = driveRecordCsvHeader();
    if (std::fwrite(header.data(), 1, header.size(), out) != header.size()) {
        return false;
    }
    for (size_t i = 0; i < records.size(); ++i) {
        const std::string line = driveRecordCsvLine(records[i], i);
        if (std::fwrite(line.data(), 1, line.size(), out) != line.size()) {
            return false;
        }
    }
    return std::fflush(out) == 0 && !std::ferror(out);
}

FileStatus saveDriveRecordCsvFile(const std::string& path,
                                  const std::vector<_FLASH_SAVE_VALUE_STRUCT>& records) {
    // Written beside and renamed over, so an export that fails keeps the old file whole.
    SafeFileWriter out(path);
    if (const FileStatus status = out.begin(); !status.ok()) {
        return status;
    }
    out.write(driveRecordCsvHeader());
    for (size_t i = 0; i < records.size(); ++i) {
        if (!out.write(driveRecordCsvLine(records[i], i))) {
            break;
        }
    }
    return out.commit();
}

std::string writeDriveRecordCsvFile(const std::string& path,
                                    const std::vector<_FLASH_SAVE_VALUE_STRUCT>& records) {
    const FileStatus status = saveDriveRecordCsvFile(path, records);
    return status.ok() ? std::string() : status.describe();
}

} // namespace nura
