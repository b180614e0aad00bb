// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The camera's drive-record file ("DrvInfo/nura_000.drv"), little-endian throughout:
//   0   u32  record count N
//   4   8    further header bytes, not interpreted
//   12  44*N records, in file order
// The count is the camera's word only: the file decides how many records there really are.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace nura {

inline constexpr size_t kDriveRecordHeaderSize = 12;
inline constexpr size_t kDriveRecordSize = 44;
// No camera writes anywhere near this many; a header counting more is not a drive-record header (the
// first bytes of some other file), and the bound keeps a huge or hostile file from taking all memory.
inline constexpr size_t kMaxDriveRecords = size_t{1} << 22;

// One 44-byte record, its fields kept raw as the camera wrote them.
struct _FLASH_SAVE_VALUE_STRUCT {
    uint16_t seq = 0;       // 0
    uint8_t dayOfWeek = 0;  // 2: 0 = Sunday .. 6 = Saturday
    uint8_t status = 0;     // 3: 1 'A', 2 'F', other 'V'
    uint8_t year = 0;       // 4: minus 1900
    uint8_t month = 0;      // 5
    uint8_t day = 0;        // 6
    uint8_t hour = 0;       // 7
    uint8_t minute = 0;     // 8
    uint8_t second = 0;     // 9
    uint16_t latDeg = 0;    // 10: ddmm
    uint16_t latFrac = 0;   // 12: four decimal digits of the minutes
    uint16_t lonDeg = 0;    // 14: dddmm
    uint16_t lonFrac = 0;   // 16
    uint16_t curSpeed = 0;  // 18
    uint32_t distance = 0;  // 20: tenths
    uint32_t reserved1 = 0; // 24
    uint16_t maxSpeed = 0;  // 28
    int8_t reserved2 = 0;   // 30
    int8_t reserved3 = 0;   // 31
    int16_t gsenX = 0;      // 32: 1/256 g
    int16_t gsenY = 0;      // 34
    int16_t gsenZ = 0;      // 36
    int16_t battery = 0;    // 38: tenths of a volt
    int16_t ttc = 0;        // 40: tenths
    int16_t dtc = 0;        // 42: tenths

    bool operator==(const _FLASH_SAVE_VALUE_STRUCT&) const = default;
};

// Decodes one record; the span holds at least kDriveRecordSize bytes.
_FLASH_SAVE_VALUE_STRUCT decodeDriveRecord(std::span<const std::byte> bytes);

enum class DriveRecordReadStatus {
    Ok,
    CannotOpen, // missing or unreadable
    NotRegular, // a FIFO, device or folder in the file's place
    TooShort,   // shorter than the 12-byte header: not a drive-record file
    BadHeader,  // the header counts more than kMaxDriveRecords, or counts records and not one is whole
    ReadFailed, // an I/O error part-way
};

struct DriveRecordFile {
    DriveRecordReadStatus status = DriveRecordReadStatus::CannotOpen;
    uint32_t headerCount = 0;                      // what the header claims
    std::vector<_FLASH_SAVE_VALUE_STRUCT> records; // the whole records the file really holds, at most N
    int error = 0;                                 // errno when it could not be opened or read
};

// Decodes a whole file held in memory.
DriveRecordFile parseDriveRecordFile(std::span<const std::byte> bytes);
// Reads a file (readFileBytes: a FIFO or device is refused at once); logs "fopen fail:PATH" when it
// cannot be opened.
DriveRecordFile readDriveRecordFile(const std::string& path);

} // namespace nura
