// SPDX-License-Identifier: GPL-3.0-or-later
// nura drive FILE [--format text|csv]: the camera's drive records, as the viewer's table shows them or as
// its export writes them.

#include "cli/FileMessages.h"
#include "cli/commands.h"
#include "core/driverecords/DriveRecordFile.h"
#include "core/driverecords/DriveRecordTable.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

using namespace nura;

namespace {

bool printTable(const DriveRecordFile& file) {
    // Each column as wide as its widest text, numbers to the right as in the viewer.
    size_t widths[kDriveRecordColumnCount];
    for (size_t c = 0; c < kDriveRecordColumnCount; ++c) {
        widths[c] = std::strlen(kDriveRecordColumns[c].title);
        for (size_t r = 0; r < file.records.size(); ++r) {
            widths[c] = std::max(widths[c], driveRecordCell(file.records[r], r, c).size());
        }
    }
    auto printRow = [&](auto cellText) {
        std::string line;
        for (size_t c = 0; c < kDriveRecordColumnCount; ++c) {
            const std::string cell = cellText(c);
            line.append(c ? "  " : "").append(widths[c] - std::min(widths[c], cell.size()), ' ').append(cell);
        }
        line += '\n';
        return std::fwrite(line.data(), 1, line.size(), stdout) == line.size();
    };
    if (!printRow([](size_t c) { return std::string(kDriveRecordColumns[c].title); })) {
        return false;
    }
    for (size_t r = 0; r < file.records.size(); ++r) {
        if (!printRow([&](size_t c) { return driveRecordCell(file.records[r], r, c); })) {
            return false;
        }
    }
    return std::fflush(stdout) == 0;
}

} // namespace

int runDrive(const std::string& path, const std::string& format) {
    const DriveRecordFile file = readDriveRecordFile(path);
    switch (file.status) {
    case DriveRecordReadStatus::Ok:
        break;
    case DriveRecordReadStatus::TooShort:
        std::fprintf(stderr,
                     "nura drive: %s is shorter than the 12-byte header (truncated), not a drive-record "
                     "file\n",
                     path.c_str());
        return exitcode::kNotOurFile;
    case DriveRecordReadStatus::BadHeader:
        if (file.headerCount > kMaxDriveRecords) {
            std::fprintf(stderr,
                         "nura drive: %s: not a drive-record file: its header counts %u records, more than "
                         "the %zu a drive-record file may hold\n",
                         path.c_str(), file.headerCount, kMaxDriveRecords);
        } else {
            std::fprintf(stderr,
                         "nura drive: %s: not a drive-record file: its header counts %u records and it holds "
                         "not one whole record\n",
                         path.c_str(), file.headerCount);
        }
        return exitcode::kNotOurFile;
    case DriveRecordReadStatus::NotRegular:
        return reportFileFailure("nura drive", "read", path, {FileFault::NotRegular, 0});
    case DriveRecordReadStatus::CannotOpen:
        return reportFileFailure("nura drive", "read", path, {FileFault::CannotOpen, file.error});
    case DriveRecordReadStatus::ReadFailed:
        return reportFileFailure("nura drive", "read", path, {FileFault::Io, file.error});
    }
    if (file.headerCount > file.records.size()) {
        std::fprintf(stderr, "nura drive: %s: the header counts %u records, the file holds %zu whole ones\n",
                     path.c_str(), file.headerCount, file.records.size());
    }
    const bool written = format == "csv" ? writeDriveRecordCsv(stdout, file.records) : printTable(file);
    if (!written) {
        std::fprintf(stderr, "nura drive: cannot write the output: %s\n", std::strerror(errno));
        return exitcode::kCannotAccess;
    }
    return exitcode::kDone;
}
