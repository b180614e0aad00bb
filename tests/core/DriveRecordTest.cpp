// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/driverecords/DriveRecordFile.h"
#include "core/driverecords/DriveRecordTable.h"
#include "core/log.h"

#include "CoreTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <vector>

using namespace nura;
using coretest::slurp;

namespace {

std::vector<std::byte> bytesOf(std::initializer_list<int> values) {
    std::vector<std::byte> out;
    for (int v : values) {
        out.push_back(static_cast<std::byte>(v));
    }
    return out;
}

// The example record written out byte by byte: seq 513, Tuesday, status 1, 2024/03/05 14:07:09,
// 3733.0123 N, 12701.0005 E, speed 60, distance 12345 tenths, max 88, X -256, Y 64, Z 256,
// battery 124, TTC 5, DTC -5.
const std::vector<std::byte> kRecord = bytesOf({
    0x01, 0x02, 2,    1,    124,  3,    5,    14,   7,    9,    // seq, day, status, date, time
    0x95, 0x0e, 0x7b, 0x00, 0x9d, 0x31, 0x05, 0x00,             // 3733, 123, 12701, 5
    0x3c, 0x00, 0x39, 0x30, 0x00, 0x00, 0xff, 0xff, 0xff, 0xff, // speed 60, distance 12345, unused
    0x58, 0x00, 0x80, 0x7f,                                     // max 88, two unused bytes
    0x00, 0xff, 0x40, 0x00, 0x00, 0x01,                         // X -256, Y 64, Z 256
    0x7c, 0x00, 0x05, 0x00, 0xfb, 0xff,                         // battery 124, TTC 5, DTC -5
});

std::vector<std::byte> fileWith(uint32_t count, size_t records, size_t extra = 0) {
    auto out = bytesOf({static_cast<int>(count & 0xff), static_cast<int>((count >> 8) & 0xff),
                        static_cast<int>((count >> 16) & 0xff), static_cast<int>(count >> 24), 0, 0, 0, 0, 0,
                        0, 0, 0});
    for (size_t i = 0; i < records; ++i) {
        out.insert(out.end(), kRecord.begin(), kRecord.end());
    }
    out.insert(out.end(), extra, std::byte{0x77});
    return out;
}

std::filesystem::path tempPath(const char* name) {
    return std::filesystem::temp_directory_path() / (std::string("nura-drv-") + name);
}

} // namespace

TEST(DriveRecord, CellTextsOfTheExampleRecord) {
    ASSERT_EQ(kRecord.size(), 44u);
    const auto r = decodeDriveRecord(kRecord);
    const char* expected[] = {"5",          "513",    "2024/03/05", "14:07:09", "TUE", "3733.0123",
                              "12701.0005", "1234.5", "60",         "88",       "A",   "-1.00",
                              "+0.25",      "+1.00",  "12.4",       " 0.5",     "-0.5"};
    for (size_t c = 0; c < kDriveRecordColumnCount; ++c) {
        EXPECT_EQ(driveRecordCell(r, 4, c), expected[c]) << "column " << c;
    }
    EXPECT_EQ(driveRecordCell(r, 4, 17), "");
}

TEST(DriveRecord, EdgeCellTexts) {
    _FLASH_SAVE_VALUE_STRUCT r;
    r.dayOfWeek = 7;
    r.status = 2;
    EXPECT_EQ(driveRecordCell(r, 0, 4), "-");
    EXPECT_EQ(driveRecordCell(r, 0, 10), "F");
    r.status = 0;
    EXPECT_EQ(driveRecordCell(r, 0, 10), "V");
    r.dayOfWeek = 255;
    EXPECT_EQ(driveRecordCell(r, 0, 4), "-");
    EXPECT_EQ(driveRecordCell(r, 0, 5), "0000.0000");
    EXPECT_EQ(driveRecordCell(r, 0, 6), "00000.0000");
    r.battery = -124;
    r.ttc = INT16_MIN;
    r.dtc = 0;
    EXPECT_EQ(driveRecordCell(r, 0, 14), "-12.4");
    EXPECT_EQ(driveRecordCell(r, 0, 15), "-3276.8");
    EXPECT_EQ(driveRecordCell(r, 0, 16), " 0.0");
    r.gsenX = INT16_MIN;
    EXPECT_EQ(driveRecordCell(r, 0, 11), "-128.00");
    r.distance = UINT32_MAX;
    EXPECT_EQ(driveRecordCell(r, 0, 7), "429496729.5");
}

TEST(DriveRecord, RecordsAreSizedByWhatTheFileHolds) {
    EXPECT_EQ(parseDriveRecordFile(std::vector<std::byte>(11)).status, DriveRecordReadStatus::TooShort);
    const auto empty = parseDriveRecordFile(fileWith(0, 0));
    EXPECT_EQ(empty.status, DriveRecordReadStatus::Ok);
    EXPECT_TRUE(empty.records.empty());

    // A count of 3 with 100 bytes of records gives the 2 whole ones.
    const auto cut = parseDriveRecordFile(fileWith(3, 2, 12));
    EXPECT_EQ(cut.headerCount, 3u);
    ASSERT_EQ(cut.records.size(), 2u);
    EXPECT_EQ(cut.records[1], decodeDriveRecord(kRecord));

    // A count no camera writes, or records counted and not one whole: the bytes are some other file's.
    for (const auto& bytes :
         {fileWith(UINT32_MAX, 1), fileWith(kMaxDriveRecords + 1, 2), fileWith(1, 0, 43)}) {
        const auto other = parseDriveRecordFile(bytes);
        EXPECT_EQ(other.status, DriveRecordReadStatus::BadHeader) << other.headerCount;
        EXPECT_TRUE(other.records.empty());
    }
    EXPECT_EQ(parseDriveRecordFile(fileWith(kMaxDriveRecords, 1)).records.size(), 1u);

    // A count smaller than the file: the rest is not records.
    EXPECT_EQ(parseDriveRecordFile(fileWith(1, 3)).records.size(), 1u);
}

// What each failure means to a user is the command's tests; the viewer's log line is here.
TEST(DriveRecord, AFileThatCannotBeOpenedIsLogged) {
    const auto path = tempPath("missing.drv");
    LogCapture log;
    EXPECT_EQ(readDriveRecordFile(path.string()).status, DriveRecordReadStatus::CannotOpen);
    EXPECT_TRUE(log.contains("fopen fail:" + path.string()));
}

TEST(DriveRecordCsv, QuotesOnlyFieldsThatNeedIt) {
    EXPECT_EQ(csvField("12.4"), "12.4");
    EXPECT_EQ(csvField(" 0.5"), " 0.5");
    EXPECT_EQ(csvField("a,b"), "\"a,b\"");
    EXPECT_EQ(csvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(csvField("two\nlines"), "\"two\nlines\"");
    EXPECT_EQ(csvField("cr\r"), "\"cr\r\"");
}

TEST(DriveRecordCsv, ExportIsExactlyTheTextAndReplacesALongerFile) {
    const auto path = tempPath("export.csv");
    std::ofstream(path, std::ios::binary) << std::string(4000, 'x');
    const auto r = decodeDriveRecord(kRecord);
    ASSERT_EQ(writeDriveRecordCsvFile(path.string(), {r, r}), "");
    EXPECT_EQ(
        slurp(path),
        "No.,Seq,Date,Time,Day,Latitude,Longitude,Distance,Speed,Max speed,Status,X,Y,Z,Battery,TTC,DTC\n"
        "1,513,2024/03/05,14:07:09,TUE,3733.0123,12701.0005,1234.5,60,88,A,-1.00,+0.25,+1.00,12.4, 0.5,"
        "-0.5\n"
        "2,513,2024/03/05,14:07:09,TUE,3733.0123,12701.0005,1234.5,60,88,A,-1.00,+0.25,+1.00,12.4, 0.5,"
        "-0.5\n");
    std::filesystem::remove(path);

    EXPECT_NE(writeDriveRecordCsvFile("/nonexistent-dir/x.csv", {r}), "");
    if (std::filesystem::exists("/dev/full")) {
        std::vector<_FLASH_SAVE_VALUE_STRUCT> many(2000, r);
        EXPECT_NE(writeDriveRecordCsvFile("/dev/full", many), "");
    }
}
