// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Side of a file handed to a player, judged by the path's ending including the extension.

#include <string_view>

enum ORBMediaDirection : int {
    ORBMediaDirectionFront = 0,
    ORBMediaDirectionRear = 1,
    ORBMediaDirectionUnknown = 2
};

// 1 when the path ends in "_R.MP4", 0 when in "_F.MP4" (both without regard to case), else 2.
int mediaDirectionOfPath(std::string_view path);
