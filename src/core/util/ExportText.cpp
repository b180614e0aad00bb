// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/util/ExportText.h"

#include "core/util/JsonWriter.h"

#include <cfloat>
#include <cmath>
#include <cstdio>

namespace nura {

std::string sixDecimals(double value) {
    char text[400]; // room for any finite double in fixed notation
    std::snprintf(text, sizeof text, "%.6f", value);
    return text;
}

std::string storedNumber(double value) {
    if (std::isfinite(value) && std::fabs(value) <= FLT_MAX &&
        static_cast<double>(static_cast<float>(value)) == value) {
        return shortestFloat(static_cast<float>(value));
    }
    return shortestDouble(value);
}

std::string csvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) {
        return text;
    }
    std::string out = "\"";
    for (char c : text) {
        out += c == '"' ? "\"\"" : std::string(1, c);
    }
    return out + "\"";
}

std::string xmlText(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
            bool ok = len > 0 && c < 0xF5 && i + len <= text.size();
            for (size_t k = 1; ok && k < len; ++k) {
                ok = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
            }
            out += ok ? text.substr(i, len) : "\xEF\xBF\xBD";
            i += ok ? len : 1;
            continue;
        }
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            if (c >= 0x20 || c == '\t') {
                out += static_cast<char>(c);
            }
        }
        ++i;
    }
    return out;
}

} // namespace nura
