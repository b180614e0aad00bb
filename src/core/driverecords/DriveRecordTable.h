// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The drive-record table: its 17 columns, the text of each cell, and the comma-separated export.
// The viewer's table, its export and `nura drive` all take their titles and texts from here, so the three
// always agree.

#include "core/driverecords/DriveRecordFile.h"
#include "core/util/ExportText.h" // csvField
#include "core/util/SafeFile.h"

#include <array>
#include <cstdio>
#include <string>
#include <vector>

namespace nura {

struct DriveRecordColumn {
    const char* key;   // string-table key of the viewer's header
    const char* title; // English title: header of the table and of the export
    int width;         // points
};

inline constexpr size_t kDriveRecordColumnCount = 17;
extern const std::array<DriveRecordColumn, kDriveRecordColumnCount> kDriveRecordColumns;

// The cell text of a record shown at `row` (0-based) in `column`; empty for a column past the last.
std::string driveRecordCell(const _FLASH_SAVE_VALUE_STRUCT& record, size_t row, size_t column);

// One export line, "\n" included: the titles, or a record's cells.
std::string driveRecordCsvHeader();
std::string driveRecordCsvLine(const _FLASH_SAVE_VALUE_STRUCT& record, size_t row);

// Streams the whole export; false when the stream reported an error.
bool writeDriveRecordCsv(std::FILE* out, const std::vector<_FLASH_SAVE_VALUE_STRUCT>& records);
// Replaces the file at `path` with the export, through SafeFileWriter: a failure keeps the old file.
FileStatus saveDriveRecordCsvFile(const std::string& path,
                                  const std::vector<_FLASH_SAVE_VALUE_STRUCT>& records);
// The same; empty on success, otherwise why not.
std::string writeDriveRecordCsvFile(const std::string& path,
                                    const std::vector<_FLASH_SAVE_VALUE_STRUCT>& records);

} // namespace nura
