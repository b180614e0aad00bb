// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The re-encoded clip of both cameras: `nura-media clip` reads its plan on standard input (written by
// `nura clip` or the viewer, see core/clip/ClipPlan.h), decodes the front and the rear recordings of the
// span, pairs every frame of the leading camera with the last frame of the other at or before the same
// moment, lays them out, blends the data band into the picture and encodes H.264 into an MP4 whose
// index comes first.

#include "core/clip/ClipPlan.h"

#include <atomic>

namespace media {

using nura::BandData;
using nura::BandRecord;
using nura::ClipCorner;
using nura::ClipLayout;
using nura::ClipPlan;
using nura::ClipSound;
using nura::ClipSource;

// 0 when written; 1 when a file cannot be read or written; 2 when the recordings do not decode;
// 3 when the system refuses a read; 130 when `cancel` was set.
int renderClip(const ClipPlan& plan, const std::atomic<bool>& cancel);

} // namespace media
