// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Small text helpers shared by the name parser, the NMEA parser and the JSON writer.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace nura {

// Length of the well-formed UTF-8 sequence starting at s[i], or 0 when the bytes there are not
// one (cut, overlong, a surrogate or past U+10FFFF).
size_t utf8SequenceLength(std::string_view s, size_t i);
bool isValidUtf8(std::string_view s);

// A leading decimal integer: blanks skipped, an optional sign, digits up to the first non-digit;
// no digits give 0, and values past the 32-bit range are held at its ends.
int32_t leadingInt32(std::string_view text);

} // namespace nura
