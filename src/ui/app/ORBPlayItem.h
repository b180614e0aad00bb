// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The recording a start plays, taken from the list once and never looked up again by row: the file
// of the main picture, its partner from the other camera (or none) and which of them is the front.
// The paths are names' bytes as pathText holds them: pathBytes gives back the file's own name.

#include "platform/PathText.h"

#include <QString>

struct ORBPlayItem {
    QString mainPath;
    QString partnerPath;
    bool mainIsFront = true;

    bool hasPartner() const { return !partnerPath.isEmpty(); }
    QString frontPath() const { return mainIsFront ? mainPath : partnerPath; }
    QString rearPath() const { return mainIsFront ? partnerPath : mainPath; }
    // The file whose telemetry is shown: the front file, or a rear file that has no front partner
    // (it carries its own telemetry track).
    QString telemetryPath() const { return frontPath().isEmpty() ? rearPath() : frontPath(); }
    // The same recording with the two pictures exchanged.
    ORBPlayItem swapped() const {
        return hasPartner() ? ORBPlayItem{partnerPath, mainPath, !mainIsFront} : *this;
    }
    bool operator==(const ORBPlayItem&) const = default;
};
