// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The car number the camera prints into its video: up to 8 ASCII letters and digits.

#include <cstddef>
#include <string>
#include <string_view>

namespace nura {

inline constexpr std::size_t kCarNumberMaxLength = 8;

// Keeps A-Z, a-z and 0-9 in order, at most eight of them; drops everything else (spaces, punctuation and
// every byte of a UTF-8 letter outside ASCII).
std::string filterCarNumber(std::string_view text);

// True when the text is already a car number: the filter would keep every character of it. Empty is one
// (no number shown in the video).
bool isCarNumber(std::string_view text);

} // namespace nura
