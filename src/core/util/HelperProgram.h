// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The helper programs of `nura` (nura-card, nura-media) keep heavy libraries out of its own start-up.
// They live beside it in a build folder, or in the installed libexec folder next to its bin folder.

#include <optional>
#include <string>

namespace nura {

// The path of the helper `name`, or nothing when it is in neither place.
std::optional<std::string> findHelperProgram(const std::string& name);

} // namespace nura
