// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The settings window's rules for the values it stores, applied to a record edited field by field (the
// command line), so that no way of saving stores what the window would refuse.

#include "core/settings/FileData.h"

#include <optional>
#include <string>

namespace nura {

struct FileDataRefusal {
    std::string field;  // the field refused
    std::string reason; // why, in words, with the field's name
};

// Judges only the fields in which `edited` differs from `original`, so a card holding odd values of its
// own can still have other fields edited: the car number, the Wi-Fi name and password, the card shares
// (all three together when any changed), the six G-sensor thresholds, cfg_ver, which a save never
// changes, and every field a pane edits through a choice control (segments, lists, radio cells, check
// boxes), which takes only the values of its choices. Nothing when the edit is one the window could have
// made.
std::optional<FileDataRefusal> checkFileDataEdit(const _FILEDATA& original, const _FILEDATA& edited);

} // namespace nura
