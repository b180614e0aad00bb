// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/validation/CarNumber.h"

namespace nura {

std::string filterCarNumber(std::string_view text) {
    std::string kept;
    for (const char c : text) {
        if (kept.size() == kCarNumberMaxLength) {
            break;
        }
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
            kept += c;
        }
    }
    return kept;
}

bool isCarNumber(std::string_view text) {
    return text.size() <= kCarNumberMaxLength && filterCarNumber(text) == text;
}

} // namespace nura
