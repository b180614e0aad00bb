// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A moment marked along a recording, as the position slider and the G-sensor graph draw it.

#include <QString>

struct TKMarker {
    double position = 0; // 0 to 1 along the recording
    QString toolTip;
};
