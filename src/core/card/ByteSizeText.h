// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

namespace nura {

// A byte count as a short text of at most 7 characters: "0 B", "1023 B", "1.5 kB", "7.4 GB", "30 GB".
// Binary units (1024); the one decimal shown is the remainder read as thousandths, as the camera's tools
// show card sizes.
std::string byteSizeText(uint64_t bytes);

} // namespace nura
