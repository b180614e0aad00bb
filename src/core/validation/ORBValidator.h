#pragma once
// Input checks of the settings panes. Answers are message keys of the string table (with the numbers a
// format key needs), or nothing when the input is accepted; the panes turn them into texts.

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

    // A decimal number (sign, digits, point, exponent; leading white space allowed) and nothing after it.
    static bool stringIsNumber(std::string_view text);
    // The text, or its longest prefix that is a number; empty when no prefix is.
    static std::string numericStringFromString(std::string_view text);
    // The number read from the start of the text (leading white space skipped, the rest ignored).
    static std::optional<double> scanNumber(std::string_view text);

    static std::optional<ValidationMessage> validateGsensorThreshold(std::string_view text);
    static std::optional<ValidationMessage> validateSDCardSizeRatio(long percentage);
};

} // namespace nura
