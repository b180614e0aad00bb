// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/telemetry/ConvertNmeaCoordinates.h"
#include "core/telemetry/ORBNMEASentenceParser.h"

#include <gtest/gtest.h>

#include <cmath>

using nura::ORBGpsData;
using nura::ORBNMEASentenceParser;

namespace {

constexpr const char* kRmc = "$GPRMC,083012.000,A,3723.2475,N,12158.3416,W,12.5,90.0,150123,,,A*71";
constexpr const char* kGga = "$GPGGA,083012.000,3723.2475,N,12158.3416,W,1,07,1.2,25.0,M,-25.0,M,,0000*51";

double single(double v) {
    return static_cast<double>(static_cast<float>(v));
}

} // namespace

// The speed, course and validity of real receivers' sentences agree with gpsd's in the real data test.
TEST(NmeaSentenceParser, RecommendedMinimumSetsSpeedCourseValidityAndTimeButNotPosition) {
    ORBNMEASentenceParser p;
    ASSERT_TRUE(p.parse(kRmc));
    const ORBGpsData& s = p.current();
    EXPECT_EQ(s.Now, (nura::_SYSTEMTIME{2023, 1, 0, 15, 8, 30, 12, 0}));
    EXPECT_EQ(s.Latitude, 0.0);
    EXPECT_EQ(s.Longitude, 0.0);

    // A nine-character time leaves the clock alone; any status but A clears validity.
    ASSERT_TRUE(p.parse("$GPRMC,091500.00,V,,,,,3.0,45.0,160123,,,N*00"));
    EXPECT_EQ(p.current().Now.wHour, 8);
    EXPECT_EQ(p.current().Now.wDay, 15);
    EXPECT_EQ(p.current().gpsValid, 0);
    EXPECT_EQ(p.current().SpeedOverGround, 3.0);

    // Right length, unreadable digits: those parts become 0.
    ASSERT_TRUE(p.parse("$GNRMC,08x012.5y7,A,,,,,,,1501zz,,,A*00"));
    EXPECT_EQ(p.current().Now, (nura::_SYSTEMTIME{2000, 1, 0, 15, 8, 0, 12, 0}));
}

TEST(NmeaSentenceParser, FixDataSetsPositionThroughSinglePrecisionAndCountOnlyFromGps) {
    ORBNMEASentenceParser p;
    ASSERT_TRUE(p.parse(kGga));
    const ORBGpsData& s = p.current();
    EXPECT_EQ(s.Latitude, single(3723.2475));
    EXPECT_EQ(s.Longitude, single(12158.3416));
    EXPECT_EQ(s.SatelliteUsedCount, 7u);
    EXPECT_EQ(s.HDOP, single(1.2));

    ORBNMEASentenceParser gn;
    ASSERT_TRUE(gn.parse("$GNGGA,083012.000,3723.2475,N,12158.3416,W,1,07,1.2,25.0,M,-25.0,M,,0000*4F"));
    EXPECT_EQ(gn.current().SatelliteUsedCount, 0u);
    EXPECT_EQ(gn.current().HDOP, single(1.2));

    // Empty position fields keep the previous position and hemispheres.
    ASSERT_TRUE(p.parse("$GNGGA,083013.000,,,,,0,00,,,M,,M,,*00"));
    EXPECT_EQ(p.current().Latitude, single(3723.2475));
    EXPECT_EQ(p.current().EW, 'W');
    EXPECT_EQ(p.current().HDOP, single(1.2));
}

TEST(NmeaSentenceParser, ActiveSatellitesAddGpsAndGlonassAndOutrankFixData) {
    ORBNMEASentenceParser p;
    ASSERT_TRUE(p.parse("$GNGSA,A,3,05,12,25,,,,,,,,,,2.1,1.2,1.7*2B"));
    EXPECT_EQ(p.current().SatelliteUsedCount, 3u);
    EXPECT_EQ(p.current().Cnt_GNGSA, 1);
    ASSERT_TRUE(p.parse("$GNGSA,A,3,70,71,,,,,,,,,,,2.1,1.2,1.7*2B"));
    EXPECT_EQ(p.current().SatelliteUsedCount, 5u);
    EXPECT_EQ(p.current().SatelliteUsedCount_GLONASS, 2u);
    EXPECT_EQ(p.current().Cnt_GNGSA, 0);
    EXPECT_EQ(p.current().SatelliteUsedAtIndex(1), 71);
    EXPECT_EQ(p.current().HDOP, 0.0); // the sentence's DOP values are not read

    ASSERT_TRUE(p.parse(kGga)); // after a GSA, fix data gives HDOP but no longer the count
    EXPECT_EQ(p.current().SatelliteUsedCount, 5u);
    EXPECT_EQ(p.current().HDOP, single(1.2));

    // An empty sentence without a valid fix clears the count; with one it keeps it.
    ASSERT_TRUE(p.parse("$GNGSA,A,1,,,,,,,,,,,,,,,*1E"));
    EXPECT_EQ(p.current().Cnt_GNGSA, 255);
    EXPECT_EQ(p.current().SatelliteUsedCount, 0u);
    ASSERT_TRUE(p.parse(kRmc));
    ASSERT_TRUE(p.parse("$GNGSA,A,3,05,12,25,,,,,,,,,,2.1,1.2,1.7*2B"));
    ASSERT_TRUE(p.parse("$GNGSA,A,1,,,,,,,,,,,,,,,*1E"));
    EXPECT_EQ(p.current().SatelliteUsedCount, 3u);
    // Satellite numbers keep their low 8 bits.
    ASSERT_TRUE(p.parse("$GNGSA,A,3,261,,,,,,,,,,,,1,1,1*00"));
    EXPECT_EQ(p.current().SatelliteUsedAtIndex(0), 5);
}

TEST(NmeaSentenceParser, CombinedFixOwnsCountAndHdopOnceSeen) {
    ORBNMEASentenceParser p;
    ASSERT_TRUE(p.parse("$GNGNS,083012.000,3723.2475,N,12158.3416,W,AA,14,0.9,25.0,-25.0,,*6D"));
    EXPECT_EQ(p.current().SatelliteUsedCount, 14u);
    EXPECT_EQ(p.current().HDOP, single(0.9));
    EXPECT_EQ(p.current().Latitude, 0.0); // position comes from fix data only

    ASSERT_TRUE(p.parse("$GNGSA,A,3,05,12,25,,,,,,,,,,2.1,1.2,1.7*2B"));
    ASSERT_TRUE(p.parse(kGga));
    EXPECT_EQ(p.current().SatelliteUsedCount, 14u);
    EXPECT_EQ(p.current().HDOP, single(0.9));
    EXPECT_EQ(p.current().Latitude, single(3723.2475));
    EXPECT_EQ(p.current().Enable_GNGSA, 1);
}

TEST(NmeaSentenceParser, RefusedSentencesChangeNothing) {
    const char* refused[] = {
        "$GPRMC,083012.000,A,3723.2475,N,12158.3416,W,12.5,90.0,150123,,,A",       // no checksum part
        "$GPRMC,083012.000,A,3723.2475,N,12158.3416,W,12.5,90.0,150123,,,A*71*71", // two
        "$GPGSA,A,3,05,12,25,,,,,,,,,,2.1,1.2,1.7*3C",                             // GPS-only GSA
        "$GPGSV,3,1,10,05,61,045,44*00",
        "$gprmc,083012.000,A,,,,,12.5,90.0,150123,,,A*00",      // case matters
        "$GPRMC,083012.000,A,\xc0\xaf,N,,,12.5,90.0,150123*00", // overlong, not UTF-8
        "",
        "*",
    };
    for (const char* s : refused) {
        ORBNMEASentenceParser p;
        EXPECT_FALSE(p.parse(s)) << s;
        EXPECT_EQ(p.current(), ORBGpsData()) << s;
    }
    // The checksum is not examined, and UTF-8 beyond ASCII is fine.
    ORBNMEASentenceParser p;
    EXPECT_TRUE(p.parse("$GPRMC,083012.000,A,3723.2475,N,12158.3416,W,12.5,90.0,150123,,,A*FF"));
    EXPECT_TRUE(p.parse("$GPRMC,083012.000,A,\xc3\xa9,N,,,7,1,150123,,,A*00"));
    EXPECT_EQ(p.current().SpeedOverGround, 7.0);
}

TEST(NmeaSentenceParser, NumberFieldsReadTheirLeadingNumber) {
    struct Case {
        const char* text;
        double value;
    };
    const Case floats[] = {
        {"  -3.25kn", -3.25}, {"1e", 1}, {"", 0}, {"nan", 0}, {"1e999", INFINITY}, {"0.1", single(0.1)},
    };
    for (const auto& c : floats) {
        EXPECT_EQ(ORBNMEASentenceParser::floatField(c.text), c.value) << c.text;
    }
    EXPECT_EQ(ORBNMEASentenceParser::intField(" 07x"), 7);
    EXPECT_EQ(ORBNMEASentenceParser::intField("99999999999"), 2147483647);
    EXPECT_EQ(ORBNMEASentenceParser::intField("-99999999999"), -2147483647 - 1);
}

TEST(NmeaSentenceParser, FieldsPastTheEndReadEmpty) {
    ORBNMEASentenceParser p;
    ASSERT_TRUE(p.parse("$GPRMC,083012.000,A*00"));
    EXPECT_EQ(p.current().SpeedOverGround, 0.0);
    EXPECT_EQ(p.current().gpsValid, 1);
}

TEST(ConvertNmeaCoordinates, ConvertsDegreesAndMinutes) {
    double lat = 0, lon = 0;
    nura::ConvertNmeaCoordinates(&lat, &lon, 4916.45, -12345.6);
    EXPECT_NEAR(lat, 49.2741666667, 1e-9);
    EXPECT_NEAR(lon, -123.76, 1e-9);
    nura::ConvertNmeaCoordinates(&lat, nullptr, 3731.4, 0);
    EXPECT_NEAR(lat, 37.523333, 1e-6);
    // Corrupt magnitudes past the 32-bit degree range still convert instead of overflowing.
    nura::ConvertNmeaCoordinates(&lat, nullptr, 1e12, 0);
    EXPECT_EQ(lat, 1e10);

    // The letters decide, not the sign (south and west are the trip reader's test).
    ORBGpsData s;
    s.Latitude = -3731.4;
    s.NS = 'N';
    s.EW = 'E';
    EXPECT_NEAR(nura::decimalPosition(s).latitude, 37.523333, 1e-6);
}
