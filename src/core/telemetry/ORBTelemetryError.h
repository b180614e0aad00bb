// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Why a recording's telemetry could not be read. Anything but OpenFailed, OutOfMemory and ReadFailed means
// the bytes are not a recording of this camera (or not a whole one); a chunk that cannot be read is not an
// error.

#include <string_view>

namespace nura {

enum class ORBTelemetryError {
    None,
    OpenFailed,    // the file cannot be opened for reading, or is not a regular file
    NotFtyp,       // the first box is not "ftyp"
    NotAvc1,       // the major brand is not "avc1"
    NotMoov,       // the third top-level box is not "moov" (exactly one box must sit between)
    NotStco,       // the fifth child of "moov" does not lead to a chunk-offset table
    ShortRead,     // the file ends inside the boxes on the way to the data track
    PositionWraps, // a box size leads past 4 GiB, beyond any file the camera writes
    OutOfMemory,   // memory ran out while reading; the file itself may be sound
    ReadFailed,    // the system refused a read (a pulled card, a failing medium); the file may be sound
};

std::string_view describe(ORBTelemetryError error);

} // namespace nura
