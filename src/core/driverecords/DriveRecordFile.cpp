// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/driverecords/DriveRecordFile.h"

#include "core/log.h"
#include "core/telemetry/ByteOrder.h"

#include "core/util/SafeFile.h"

#include <algorithm>

namespace nura {

namespace {

uint16_t u16(std::span<const std::byte> b, size_t at) {
    return static_cast<uint16_t>(static_cast<uint16_t>(b[at]) | static_cast<uint16_t>(b[at + 1]) << 8);
}

int16_t i16(std::span<const std::byte> b, size_t at) {
    return static_cast<int16_t>(u16(b, at));
}

uint8_t u8(std::span<const std::byte> b, size_t at) {
    return static_cast<uint8_t>(b[at]);
}

// How many records to take: the header's count, but never more than the bytes after the header hold.
size_t wholeRecords(uint32_t headerCount, uint64_t bytesAfterHeader) {
    const uint64_t held = bytesAfterHeader / kDriveRecordSize;
    return static_cast<size_t>(std::min<uint64_t>(headerCount, held));
}

} // namespace

_FLASH_SAVE_VALUE_STRUCT decodeDriveRecord(std::span<const std::byte> b) {
    _FLASH_SAVE_VALUE_STRUCT r;
    r.seq = u16(b, 0);
    r.dayOfWeek = u8(b, 2);
    r.status = u8(b, 3);
    r.year = u8(b, 4);
    r.month = u8(b, 5);
    r.day = u8(b, 6);
    r.hour = u8(b, 7);
    r.minute = u8(b, 8);
    r.second = u8(b, 9);
    r.latDeg = u16(b, 10);
    r.latFrac = u16(b, 12);
    r.lonDeg = u16(b, 14);
    r.lonFrac = u16(b, 16);
    r.curSpeed = u16(b, 18);
    r.distance = bytes::readU32LE(b, 20);
    r.reserved1 = bytes::readU32LE(b, 24);
    r.maxSpeed = u16(b, 28);
    r.reserved2 = static_cast<int8_t>(u8(b, 30));
    r.reserved3 = static_cast<int8_t>(u8(b, 31));
    r.gsenX = i16(b, 32);
    r.gsenY = i16(b, 34);
    r.gsenZ = i16(b, 36);
    r.battery = i16(b, 38);
    r.ttc = i16(b, 40);
    r.dtc = i16(b, 42);
    return r;
}

DriveRecordFile parseDriveRecordFile(std::span<const std::byte> bytes) {
    DriveRecordFile file;
    if (bytes.size() < kDriveRecordHeaderSize) {
        file.status = DriveRecordReadStatus::TooShort;
        return file;
    }
    file.headerCount = bytes::readU32LE(bytes, 0);
    const size_t n = wholeRecords(file.headerCount, bytes.size() - kDriveRecordHeaderSize);
    // A file cut short keeps its whole records; one whose count no camera writes, or that counts
    // records and holds none, is some other file (config.bin, a recording), and its bytes are no rows.
    if (file.headerCount > kMaxDriveRecords || (file.headerCount > 0 && n == 0)) {
        file.status = DriveRecordReadStatus::BadHeader;
        return file;
    }
    file.status = DriveRecordReadStatus::Ok;
    file.records.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        file.records.push_back(decodeDriveRecord(
            bytes.subspan(kDriveRecordHeaderSize + i * kDriveRecordSize, kDriveRecordSize)));
    }
    return file;
}

DriveRecordFile readDriveRecordFile(const std::string& path) {
    // The block is sized by what the file can hold, never by what its header claims, and never past
    // kMaxDriveRecords records: a header counting more is refused.
    constexpr uint64_t kLimit = kDriveRecordHeaderSize + uint64_t{kMaxDriveRecords} * kDriveRecordSize;
    FileBytes read = readFileBytes(path, kLimit);
    DriveRecordFile file;
    switch (read.status.fault) {
    case FileFault::None:
        break;
    case FileFault::NotRegular:
        file.status = DriveRecordReadStatus::NotRegular;
        return file;
    case FileFault::CannotOpen:
        logf("fopen fail:%s", path.c_str());
        file.status = DriveRecordReadStatus::CannotOpen;
        file.error = read.status.error;
        return file;
    default:
        file.status = DriveRecordReadStatus::ReadFailed;
        file.error = read.status.error;
        return file;
    }
    return parseDriveRecordFile(read.bytes);
}

} // namespace nura
