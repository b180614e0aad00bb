// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The GPS fixes among a recording's states. The reader keeps a state after every sentence, so one
// second of the receiver's output gives several states of the same fix.

#include "core/telemetry/ORBGpsData.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace nura {

// "2023-01-15T08:30:12.000Z"; empty when the state has no date yet.
std::string utcText(const _SYSTEMTIME& time);

// Milliseconds since 1970-01-01 UTC, or nothing when the time has no date or a field out of range
// (a garbled sentence): such a fix cannot be placed in a drive.
std::optional<int64_t> utcMilliseconds(const _SYSTEMTIME& time);

// True when the state's position can be drawn: not the 0, 0 that a valid recommended-minimum sentence
// shows before the file's first fix data, and on the globe (a corrupt sentence can put it elsewhere).
bool hasDrawablePosition(const ORBGpsData& state);

// True when states[index] stands for one fix: valid, the last of the consecutive valid states that share
// its fix time (that one holds every sentence of the second), and with a drawable position.
bool isFixState(std::span<const ORBGpsData> states, size_t index);

} // namespace nura
