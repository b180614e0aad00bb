// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/settings/FileDataFields.h"
#include "core/settings/FileDataRules.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

using namespace nura;

namespace {

unsigned char* bytes(_FILEDATA& r) {
    return reinterpret_cast<unsigned char*>(&r);
}

_FILEDATA defaults() {
    _FILEDATA r{};
    SetDefaultFileData(r);
    return r;
}

} // namespace

// The golden record was written out from the table of factory defaults, one field a line.
TEST(FileDataDefaults, MatchTheGoldenRecordByteForByte) {
    std::ifstream in(std::string(NURA_TEST_DATA) + "/settings/default-config.txt");
    ASSERT_TRUE(in) << "golden record missing";
    std::string golden;
    std::vector<std::pair<std::size_t, std::string>> fields; // offset, name
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::istringstream words(line);
        std::size_t offset = 0;
        std::string hex, name;
        words >> offset >> hex >> name;
        ASSERT_EQ(offset, golden.size()) << "fields follow each other: " << line;
        ASSERT_EQ(hex.size() % 2, 0u) << line;
        for (std::size_t i = 0; i < hex.size(); i += 2) {
            golden += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
        }
        fields.emplace_back(offset, name);
    }
    ASSERT_EQ(golden.size(), 500u);
    ASSERT_EQ(fields.size(), 118u);

    _FILEDATA r = defaults();
    const std::string made(reinterpret_cast<const char*>(bytes(r)), 500);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const std::size_t begin = fields[i].first;
        const std::size_t end = i + 1 < fields.size() ? fields[i + 1].first : 500;
        EXPECT_EQ(made.substr(begin, end - begin), golden.substr(begin, end - begin)) << fields[i].second;
    }
}

TEST(FileDataDefaults, KeepUserFields) {
    _FILEDATA r{};
    std::memset(&r, 0xAB, sizeof r);
    r.checksum = 0x1234;
    r.time_gmt = 20;
    r.summer_time = 1;
    r.Brightness1 = 5;
    r.dummy1 = 7;
    SetDefaultFileData(r);
    EXPECT_EQ(r.checksum, 0x1234);
    EXPECT_EQ(r.time_gmt, 20);
    EXPECT_EQ(r.summer_time, 1u);
    EXPECT_EQ(r.Brightness1, 5u);
    EXPECT_EQ(r.dummy1, 7);
    // Everything else is overwritten: no 0xAB byte is left outside the kept fields.
    const _FILEDATA fresh = defaults();
    for (const auto& f : fileDataFields()) {
        if (f.name == "checksum" || f.name == "time_gmt" || f.name == "summer_time" ||
            f.name == "Brightness1" || f.name == "dummy1") {
            continue;
        }
        EXPECT_EQ(std::memcmp(bytes(r) + f.offset, reinterpret_cast<const unsigned char*>(&fresh) + f.offset,
                              f.length),
                  0)
            << f.name;
    }
}

TEST(FileDataChecksum, CoversOnlyLowHalvesAfterTheFirstWord) {
    const _FILEDATA base = defaults();
    const uint16_t sum = FileDataChecksum(base);
    _FILEDATA r = base;
    r.cfg_ver = 1;
    EXPECT_EQ(FileDataChecksum(r), sum);
    for (std::size_t k = 1; k < 125; ++k) {
        for (std::size_t i = 0; i < 4; ++i) {
            r = base;
            bytes(r)[4 * k + i] ^= 0x5A;
            if (i < 2) {
                EXPECT_NE(FileDataChecksum(r), sum) << 4 * k + i;
            } else {
                EXPECT_EQ(FileDataChecksum(r), sum) << 4 * k + i;
            }
        }
    }
}

// An empty car number clearing the flag under a matching checksum is the config command's test.
TEST(FileDataSeal, PlateFlagFollowsCarNumberBeforeChecksum) {
    _FILEDATA r = defaults();
    r.osd_plate_flag = 0;
    r.szPlateNumber[0] = '1';
    r.cfg_ver = 7;
    SealFileData(r);
    EXPECT_EQ(r.osd_plate_flag, 1);
    EXPECT_EQ(r.cfg_ver, 7);
    EXPECT_TRUE(FileDataChecksumMatches(r));

    r.szPlateNumber[0] = 0;
    EXPECT_FALSE(FileDataChecksumMatches(r)) << "only the first byte of the car number moved";
}

TEST(FileDataFields, ParseAndFormatByType) {
    _FILEDATA r = defaults();
    struct Case {
        const char* name;
        const char* text;
        const char* shown; // nullptr: refused
    } cases[] = {
        {"ADAS_Car", "256", nullptr},
        {"cfg_ver", "0x5726", "22310"},
        {"cfg_ver", "65536", nullptr},
        {"speed_disp_unit", "4294967295", "4294967295"},
        {"speed_disp_unit", "-1", nullptr},
        {"time_gmt", "-1", "-1"},
        {"time_gmt", "2147483648", nullptr},
        {"gsen_x_threshold", "12abc", nullptr},
        {"gsen_x_threshold", "", nullptr},
        {"ADAS_SafeDistance", "0.1", "0.1"},
        {"ADAS_SafeDistance", "nan", nullptr},
        {"ADAS_SafeDistance", "1e39", nullptr},
        {"szPlateNumber", "12AB3456", "\"12AB3456\""},
        {"szPlateNumber", "123456789", nullptr},
        {"wifi_ssid", "say \"hi\"", "\"say \\\"hi\\\"\""},
        {"dummy00", "1,2,3,4,5,6,7,8", "1,2,3,4,5,6,7,8"},
        {"dummy00", "1,2,3", nullptr},
        {"dummy00", "1,2,3,4,5,6,7,8,9", nullptr},
    };
    for (const auto& c : cases) {
        const FieldDescriptor* f = findFileDataField(c.name);
        ASSERT_NE(f, nullptr) << c.name;
        const _FILEDATA before = r;
        const std::string error = setFieldFromText(r, *f, c.text);
        if (c.shown) {
            EXPECT_EQ(error, "") << c.name << "=" << c.text;
            EXPECT_EQ(formatFieldValue(r, *f), c.shown) << c.name;
        } else {
            EXPECT_NE(error, "") << c.name << "=" << c.text;
            EXPECT_EQ(std::memcmp(&before, &r, sizeof r), 0) << c.name << "=" << c.text;
        }
    }
    // A full-length car number has no terminating zero and must not run into the next field.
    EXPECT_EQ(fieldText(r, *findFileDataField("szPlateNumber")), "12AB3456");
    EXPECT_EQ(findFileDataField("no_such_field"), nullptr);
}
