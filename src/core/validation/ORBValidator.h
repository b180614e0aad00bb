// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Input checks of the settings panes. Answers are message keys of the string table (with the numbers a
// format key needs), or nothing when the input is accepted; the panes turn them into texts.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace nura {

struct ValidationMessage {
    std::string key;
    double low = 0; // the limits a "_fmt" key is filled with, lower first
    double high = 0;
    bool operator==(const ValidationMessage&) const = default;
};

class ORBValidator {
public:
    static constexpr double kGsensorThresholdMin = 0.05;
    static constexpr double kGsensorThresholdMax = 1.5;
    static constexpr int kSDCardRatioMin = 10;
    // A threshold as the record stores it, in hundredths of g: the field's 0.05 to 1.5 times 100.
    static constexpr int kGsensorStoredMin = 5;
    static constexpr int kGsensorStoredMax = 150;
    static constexpr std::size_t kWifiNameMinLength = 5;
    static constexpr std::size_t kWifiPasswordMinLength = 8;

    // A decimal number (sign, digits, point, exponent; leading white space allowed) and nothing after it.
    static bool stringIsNumber(std::string_view text);
    // The text, or its longest prefix that is a number; empty when no prefix is.
    static std::string numericStringFromString(std::string_view text);
    // The number read from the start of the text (leading white space skipped, the rest ignored).
    static std::optional<double> scanNumber(std::string_view text);

    static std::optional<ValidationMessage> validateGsensorThreshold(std::string_view text);
    static std::optional<ValidationMessage> validateSDCardSizeRatio(long percentage);

    // A stored threshold: 5 to 150, or 0, which is what an empty field stores.
    static std::optional<ValidationMessage> validateStoredGsensorThreshold(long long hundredths);
    // The continuous, motion and event shares of the card: each at least 10 % (the first short one wins,
    // in that order), and together the whole card ("msg.sdcard_ratio_sum" otherwise).
    static std::optional<ValidationMessage> validateSDCardShares(long long always, long long motion,
                                                                 long long event);

    // Every character one of the 94 printable ASCII characters "!" to "~"; the space is not among them.
    static bool validString(std::string_view text);
    // The camera's Wi-Fi network name (at least 5 characters) and password (at least 8), as UTF-8 text:
    // the length is checked first, then the characters.
    static std::optional<ValidationMessage> validateWifiName(std::string_view text);
    static std::optional<ValidationMessage> validateWifiPassword(std::string_view text);
};

} // namespace nura
