// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A recording cut short by a power loss and its repaired copy (the same name in a "repaired" folder
// beside it) are one recording: the list keeps the repaired copy, which plays, and drops the cut file.

#include "core/media/ORBMedia.h"

#include <memory>
#include <vector>

namespace orb_media {

inline constexpr const char* kRepairedFolder = "repaired";

void preferRepairedRecordings(std::vector<std::shared_ptr<const ORBMedia>>& found);

} // namespace orb_media
