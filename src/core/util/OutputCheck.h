// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An output must never be one of the files its own command reads: replacing it would lose the very
// recording being cut or repaired, or the reference the repair learns from.

#include <optional>
#include <string>
#include <vector>

namespace nura {

// The first of `inputs` that `output` would replace or write through, or nothing. Both what the rename
// replaces (the entry itself, a link included) and what the name resolves to are compared by device and
// inode with what each input resolves to. An output that does not exist yet matches nothing; an input
// that cannot be looked up is passed over (its own read fails later, with its own message).
std::optional<std::string> outputAmongInputs(const std::string& output,
                                             const std::vector<std::string>& inputs);

} // namespace nura
