// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/driverecords/DriveRecordFile.h"
#include "core/driverecords/DriveRecordTable.h"

#include "CoreTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
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

// Any 44 bytes make a record; the header before them counts how many there are.
const std::vector<std::byte> kRecord(44, std::byte{0x5A});

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

// Whole records are the drive command's test, with bytes laid out by struct; here each column's edges.
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
    EXPECT_EQ(driveRecordCell(r, 4, 0), "5");
    EXPECT_EQ(driveRecordCell(r, 4, kDriveRecordColumnCount), "");
}

// The headers a user meets are the drive command's test; here the bounds of the count.
TEST(DriveRecord, RecordsAreSizedByWhatTheFileHolds) {
    const auto other = parseDriveRecordFile(fileWith(kMaxDriveRecords + 1, 2));
    EXPECT_EQ(other.status, DriveRecordReadStatus::BadHeader);
    EXPECT_TRUE(other.records.empty());
    const auto most = parseDriveRecordFile(fileWith(kMaxDriveRecords, 1));
    ASSERT_EQ(most.records.size(), 1u);
    EXPECT_EQ(most.records[0], decodeDriveRecord(kRecord));

    // A count smaller than the file: the rest is not records.
    EXPECT_EQ(parseDriveRecordFile(fileWith(1, 3)).records.size(), 1u);
}

TEST(DriveRecordCsv, QuotesOnlyFieldsThatNeedIt) {
    EXPECT_EQ(csvField("12.4"), "12.4");
    EXPECT_EQ(csvField(" 0.5"), " 0.5");
    EXPECT_EQ(csvField("a,b"), "\"a,b\"");
    EXPECT_EQ(csvField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(csvField("two\nlines"), "\"two\nlines\"");
    EXPECT_EQ(csvField("cr\r"), "\"cr\r\"");
}

// The text of each line is the drive command's test; the export is that text, and only that.
TEST(DriveRecordCsv, ExportIsExactlyTheTextAndReplacesALongerFile) {
    const auto path = tempPath("export.csv");
    std::ofstream(path, std::ios::binary) << std::string(4000, 'x');
    const auto r = decodeDriveRecord(kRecord);
    ASSERT_EQ(writeDriveRecordCsvFile(path.string(), {r, r}), "");
    EXPECT_EQ(slurp(path), driveRecordCsvHeader() + driveRecordCsvLine(r, 0) + driveRecordCsvLine(r, 1));
    std::filesystem::remove(path);
}
