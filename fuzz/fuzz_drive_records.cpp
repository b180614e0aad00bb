// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: a drive-record file decoded and every cell and export line made from it.
#include "core/driverecords/DriveRecordFile.h"
#include "core/driverecords/DriveRecordTable.h"

#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto file = nura::parseDriveRecordFile(std::span(reinterpret_cast<const std::byte*>(data), size));
    if (file.records.size() > file.headerCount || file.records.size() * nura::kDriveRecordSize > size) {
        __builtin_trap();
    }
    for (size_t i = 0; i < file.records.size(); ++i) {
        (void)nura::driveRecordCsvLine(file.records[i], i);
    }
    return 0;
}
