// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: a drive-record file decoded, and the cells and export lines made from its records.
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
    // Every record goes through the same cells: the first and the last stand for the rest, so that a
    // long input costs what a short one does and the run gets through more of them.
    if (!file.records.empty()) {
        (void)nura::driveRecordCsvLine(file.records.front(), 0);
        (void)nura::driveRecordCsvLine(file.records.back(), file.records.size() - 1);
    }
    return 0;
}
