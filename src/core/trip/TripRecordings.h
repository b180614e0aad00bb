// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which recordings of a card a trip is made of.

#include "core/media/ORBMediaList.h"

#include <vector>

namespace nura {

// In list order: every front file, and a rear file only where its front file is missing (both cameras
// record the same drive from the same receiver).
std::vector<ORBMediaList::MediaPtr> tripRecordings(const std::vector<ORBMediaList::MediaPtr>& medias,
                                                   const ORBMediaList::PairMap& pairs);

} // namespace nura
