// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Writes trees of empty files named like the camera's recordings, for the media-list tests and benchmark.

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace samples {

// The base name of the recording of index i (consecutive seconds from 2023-01-15 08:00:00),
// with mode prefix "alwa_", "motion_" or "event_" taken in turn and side "_F" or "_R".
std::string recordingBaseName(size_t i, bool rear);

// Creates `count` empty recording files (front and rear alternately) under root,
// spread over nested folders of at most `perFolder` files each. Returns the paths written.
std::vector<std::filesystem::path> writeRecordingNameTree(const std::filesystem::path& root, size_t count,
                                                          size_t perFolder = 500);

} // namespace samples
