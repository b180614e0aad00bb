// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A drawn road for the demo recordings, so that the viewer's pictures look like a drive: sky, grass, the
// road to the horizon with its edge lines, centre dashes and roadside posts that move with the car
// (towards the front camera, away from the rear one).

#include <cstdint>
#include <vector>

namespace samples {

// Draws the road as seen when the car has gone `metres` into `yuv`, as planar 4:2:0 (BT.601, limited
// range), resized to width x height x 3 / 2 bytes. Width and height must be even.
void drawRoadFrame(int width, int height, double metres, bool rear, std::vector<uint8_t>& yuv);

} // namespace samples
