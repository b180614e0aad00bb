// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/telemetry/ORBAviGpsData.h"

#include <algorithm>

namespace nura {

std::optional<ORBAviGpsData> ORBAviGpsData::fromBytes(std::span<const std::byte> bytes) {
    if (bytes.size() < kSize) {
        return std::nullopt;
    }
    Block block;
    std::transform(bytes.begin(), bytes.begin() + kSize, block.begin(),
                   [](std::byte b) { return static_cast<char>(b); });
    return ORBAviGpsData(block);
}

} // namespace nura
