// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/validation/ORBValidator.h"

#include <charconv>
#include <cmath>
#include <string>

namespace nura {
namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

struct Scan {
    std::size_t begin = 0; // after the leading white space
    std::size_t end = 0;   // 0 when no number starts there
};

// Decimal only: no hexadecimal, no "inf" or "nan", which a user typing a threshold never means.
Scan scanDecimal(std::string_view s) {
    Scan scan;
    std::size_t i = 0;
    while (i < s.size() && isSpace(s[i])) {
        ++i;
    }
    scan.begin = i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        ++i;
    }
    std::size_t digits = 0;
    while (i < s.size() && isDigit(s[i])) {
        ++i;
        ++digits;
    }
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && isDigit(s[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0) {
        return scan;
    }
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) {
            ++j;
        }
        if (j < s.size() && isDigit(s[j])) {
            while (j < s.size() && isDigit(s[j])) {
                ++j;
            }
            i = j;
        }
    }
    scan.end = i;
    return scan;
}

// Characters, not bytes: a UTF-8 continuation byte does not start one.
std::size_t characterCount(std::string_view text) {
    std::size_t n = 0;
    for (const char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
            ++n;
        }
    }
    return n;
}

std::optional<ValidationMessage> validateWifiText(std::string_view text, std::size_t minLength,
                                                  const char* lengthKey, const char* invalidKey) {
    if (characterCount(text) < minLength) {
        return ValidationMessage{lengthKey};
    }
    if (!ORBValidator::validString(text)) {
        return ValidationMessage{invalidKey};
    }
    return std::nullopt;
}

} // namespace

bool ORBValidator::stringIsNumber(std::string_view text) {
    const Scan scan = scanDecimal(text);
    return scan.end != 0 && scan.end == text.size();
}

std::string ORBValidator::numericStringFromString(std::string_view text) {
    // Dropping characters from the end until the rest is a number: the longest numeric prefix.
    while (!text.empty() && !stringIsNumber(text)) {
        text.remove_suffix(1);
    }
    return std::string(text);
}

std::optional<double> ORBValidator::scanNumber(std::string_view text) {
    const Scan scan = scanDecimal(text);
    if (scan.end == 0) {
        return std::nullopt;
    }
    std::string number(text.substr(scan.begin, scan.end - scan.begin));
    if (number.front() == '+') {
        number.erase(0, 1);
    }
    double value = 0;
    const auto res = std::from_chars(number.data(), number.data() + number.size(), value);
    if (res.ec == std::errc::result_out_of_range) {
        // Too large or too small to hold: its sign and size still tell the range check what it needs.
        const bool negative = number.front() == '-';
        const auto e = number.find_first_of("eE");
        const bool tiny = e != std::string::npos && number[e + 1] == '-';
        return tiny ? 0.0 : (negative ? -HUGE_VAL : HUGE_VAL);
    }
    if (res.ec != std::errc()) {
        return std::nullopt;
    }
    return value;
}

std::optional<ValidationMessage> ORBValidator::validateGsensorThreshold(std::string_view text) {
    if (text.empty()) {
        return std::nullopt;
    }
    const auto value = scanNumber(text);
    if (!value) {
        return ValidationMessage{"msg.input_value_invalid_format"};
    }
    if (*value < kGsensorThresholdMin || *value > kGsensorThresholdMax) {
        return ValidationMessage{"msg.gsensor_outofrange_fmt", kGsensorThresholdMin, kGsensorThresholdMax};
    }
    return std::nullopt;
}

std::optional<ValidationMessage> ORBValidator::validateSDCardSizeRatio(long percentage) {
    if (percentage < kSDCardRatioMin) {
        return ValidationMessage{"msg.sdcard_ratio_too_low"};
    }
    return std::nullopt;
}

std::optional<ValidationMessage> ORBValidator::validateStoredGsensorThreshold(long long hundredths) {
    if (hundredths != 0 && (hundredths < kGsensorStoredMin || hundredths > kGsensorStoredMax)) {
        return ValidationMessage{"msg.gsensor_outofrange_fmt", kGsensorThresholdMin, kGsensorThresholdMax};
    }
    return std::nullopt;
}

std::optional<ValidationMessage> ORBValidator::validateSDCardShares(long long always, long long motion,
                                                                    long long event) {
    for (const long long share : {always, motion, event}) {
        if (share < kSDCardRatioMin) {
            return ValidationMessage{"msg.sdcard_ratio_too_low"};
        }
    }
    if (always + motion + event != 100) {
        return ValidationMessage{"msg.sdcard_ratio_sum"};
    }
    return std::nullopt;
}

bool ORBValidator::validString(std::string_view text) {
    for (const char c : text) {
        if (c < '!' || c > '~') {
            return false;
        }
    }
    return true;
}

std::optional<ValidationMessage> ORBValidator::validateWifiName(std::string_view text) {
    return validateWifiText(text, kWifiNameMinLength, "setting.aux.ssid_length", "setting.aux.ssid_invalid");
}

std::optional<ValidationMessage> ORBValidator::validateWifiPassword(std::string_view text) {
    return validateWifiText(text, kWifiPasswordMinLength, "setting.aux.password_length",
                            "setting.aux.password_invalid");
}

} // namespace nura
