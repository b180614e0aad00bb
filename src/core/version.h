// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The version both programs print and the package carries: the project's version, followed in a build
// from a git checkout by "+git<commits>.<short hash>". The build writes its definition
// (cmake/WriteVersion.cmake), so a new commit recompiles that one file only.

namespace nura {
extern const char kVersion[];
}
