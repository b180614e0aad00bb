// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The card's config.bin, kept in the user's data folder while the card is formatted, so that no failure
// of the format or of the restore loses it. A backup is named for the card and the time
// ("config-NURA-20240305T140709Z.bin"); once its copy on the card has been read back and found identical
// it is marked restored (".restored.bin"). Only restored backups are ever removed, the oldest first,
// keeping the newest kKeptRestoredBackups.

#include "core/util/SafeFile.h"

#include <cstddef>
#include <ctime>
#include <string>

namespace nura {

inline constexpr size_t kKeptRestoredBackups = 20;

// $XDG_DATA_HOME/nura-viewer/backups, or ~/.local/share/nura-viewer/backups; empty when neither is set.
std::string configBackupFolder();

struct ConfigBackup {
    FileStatus status;
    std::string path; // the backup; on failure the file or folder that failed
};

// Copies `source` into `folder` (made when missing), synced, then read back byte for byte.
ConfigBackup backUpConfigFile(const std::string& source, const std::string& folder, const std::string& label,
                              std::time_t now);

// Writes the backup's bytes to `target` (writeFileSafely), then reads them back past the page cache and
// compares. Ok only when the card holds the very same bytes.
FileStatus restoreConfigFile(const std::string& backup, const std::string& target);

// Marks a backup restored and removes the oldest restored ones beyond kKeptRestoredBackups. Returns the
// backup's new path (the old one when it could not be renamed).
std::string retireConfigBackup(const std::string& backup);

} // namespace nura
