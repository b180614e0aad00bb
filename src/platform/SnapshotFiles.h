// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where the viewer keeps its temporary snapshot, and how a snapshot is saved where the user chose.

#include <QString>

namespace nura {

// The user's private folder for temporary files: `<runtimeDir>/nura-viewer`, made with mode 0700
// when missing, when it is a real folder (not a link) that this user owns and nobody else may
// enter; otherwise a fresh folder made by mkdtemp in the system's temporary folder. Empty when
// neither can be made. An empty `runtimeDir` goes straight to mkdtemp.
QString privateTemporaryFolder(const QString& runtimeDir);
// The folder above for $XDG_RUNTIME_DIR, chosen once per process.
QString applicationTemporaryFolder();
// True for a folder, not a link, owned by this user, with mode exactly 0700.
bool isPrivateFolder(const QString& path);

// Writes the JPEG snapshot at `snapshot` to `target` in the format its name asks for (PNG for
// ".png", JPEG for every other ending), replacing an existing file only once the new one is
// complete. Returns an empty text on success, otherwise what went wrong.
QString saveSnapshotAs(const QString& snapshot, const QString& target);

} // namespace nura
