// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/validation/CarNumber.h"
#include "core/validation/ORBValidator.h"

#include <gtest/gtest.h>

using nura::ORBValidator;
using nura::ValidationMessage;

TEST(ORBValidator, NumbersAndNumericPrefixes) {
    struct Case {
        const char* text;
        bool isNumber;
        const char* prefix;
    } cases[] = {
        {"  -0.5", true, "  -0.5"}, {"5.", true, "5."}, {"1e3", true, "1e3"},   {"12.5kg", false, "12.5"},
        {"1e", false, "1"},         {"", false, ""},    {".", false, ""},       {"0x10", false, "0"},
        {"inf", false, ""},         {"nan", false, ""}, {"1.5 ", false, "1.5"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ORBValidator::stringIsNumber(c.text), c.isNumber) << '"' << c.text << '"';
        EXPECT_EQ(ORBValidator::numericStringFromString(c.text), c.prefix) << '"' << c.text << '"';
    }
}

TEST(ORBValidator, GsensorThreshold) {
    const ValidationMessage outOfRange{"msg.gsensor_outofrange_fmt", 0.05, 1.5};
    const ValidationMessage invalid{"msg.input_value_invalid_format"};
    struct Case {
        const char* text;
        std::optional<ValidationMessage> expected;
    } cases[] = {
        {"", std::nullopt},     {"0.05", std::nullopt}, {"1.5", std::nullopt}, {"0.5x", std::nullopt},
        {" 1", std::nullopt},   {"abc", invalid},       {"x0.5", invalid},     {".", invalid},
        {"0.04", outOfRange},   {"1.51", outOfRange},   {"-0.5", outOfRange},  {"1e999", outOfRange},
        {"1e-999", outOfRange}, {"-1e999", outOfRange},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ORBValidator::validateGsensorThreshold(c.text), c.expected) << '"' << c.text << '"';
    }
}

TEST(CarNumberFilter, KeepsEightAsciiLettersAndDigitsAndACarNumberIsWhatItKeepsWhole) {
    EXPECT_EQ(nura::filterCarNumber("12 \xEA\xB0\x80 3456"), "123456"); // Hangul syllable dropped whole
    EXPECT_EQ(nura::filterCarNumber("ABCDEFGHIJ"), "ABCDEFGH");
    EXPECT_EQ(nura::filterCarNumber("a-b_c.9"), "abc9");
    EXPECT_EQ(nura::filterCarNumber("\xC3\xA9t\xC3\xA9"), "t"); // Latin letters outside ASCII too
    EXPECT_EQ(nura::filterCarNumber(""), "");
    EXPECT_EQ(nura::filterCarNumber(std::string_view("1\0002", 3)), "12");
    for (const char* yes : {"", "Nura", "12AB3456", "z"}) {
        EXPECT_TRUE(nura::isCarNumber(yes)) << yes;
    }
    for (const char* no : {"12AB34567", "12 AB", "AB-1", "\xEA\xB0\x80"}) {
        EXPECT_FALSE(nura::isCarNumber(no)) << no;
    }
}

TEST(ORBValidator, CardSharesEachTenPercentAndTogetherTheWholeCard) {
    const ValidationMessage low{"msg.sdcard_ratio_too_low"};
    EXPECT_EQ(ORBValidator::validateSDCardShares(70, 20, 10), std::nullopt); // knobs at 70 and 90
    EXPECT_EQ(ORBValidator::validateSDCardShares(70, 21, 9), low);           // high knob at 91
    EXPECT_EQ(ORBValidator::validateSDCardShares(9, 0, 91), low);
    EXPECT_EQ(ORBValidator::validateSDCardShares(10, 10, 80), std::nullopt);
    EXPECT_EQ(ORBValidator::validateSDCardShares(70, 20, 20), ValidationMessage{"msg.sdcard_ratio_sum"});
    EXPECT_EQ(ORBValidator::validateSDCardShares(4294967295LL, 10, 10),
              ValidationMessage{"msg.sdcard_ratio_sum"});
}

TEST(ORBValidator, WifiNameAndPassword) {
    struct Case {
        const char* text;
        const char* nameKey; // nullptr: accepted
        const char* passwordKey;
    } cases[] = {
        {"NuraA", nullptr, "setting.aux.password_length"},
        {"58205820", nullptr, nullptr},
        {"Nura", "setting.aux.ssid_length", "setting.aux.password_length"},
        {"", "setting.aux.ssid_length", "setting.aux.password_length"},
        {"My Car 1", "setting.aux.ssid_invalid", "setting.aux.password_invalid"},
        {"!~!~!~!~", nullptr, nullptr}, // both ends of the printable set
        {"caf\xC3\xA9\xC3\xA9\xC3\xA9", "setting.aux.ssid_invalid", "setting.aux.password_length"}, // 7 chars
        {"\xC3\xA9\xC3\xA9", "setting.aux.ssid_length", "setting.aux.password_length"}, // 4 bytes twice over
    };
    for (const auto& c : cases) {
        const auto name = ORBValidator::validateWifiName(c.text);
        const auto password = ORBValidator::validateWifiPassword(c.text);
        EXPECT_EQ(name ? name->key : "", c.nameKey ? c.nameKey : "") << c.text;
        EXPECT_EQ(password ? password->key : "", c.passwordKey ? c.passwordKey : "") << c.text;
    }
}
