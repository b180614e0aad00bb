// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The front and the rear file of one recording moment; either may be missing.

#include "core/media/ORBMedia.h"

#include <memory>

struct ORBMediaPair {
    std::shared_ptr<const ORBMedia> frontMedia;
    std::shared_ptr<const ORBMedia> rearMedia;
};
