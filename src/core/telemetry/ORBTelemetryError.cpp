// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/telemetry/ORBTelemetryError.h"

namespace nura {

std::string_view describe(ORBTelemetryError error) {
    switch (error) {
    case ORBTelemetryError::None:
        return "no error";
    case ORBTelemetryError::OpenFailed:
        return "cannot be opened for reading";
    case ORBTelemetryError::NotFtyp:
        return "does not start with an ftyp box";
    case ORBTelemetryError::NotAvc1:
        return "its major brand is not avc1";
    case ORBTelemetryError::NotMoov:
        return "its third top-level box is not moov";
    case ORBTelemetryError::NotStco:
        return "no chunk-offset table where the camera keeps its data track";
    case ORBTelemetryError::ShortRead:
        return "truncated: the file ends inside its box structure";
    case ORBTelemetryError::PositionWraps:
        return "a box size points past 4 GiB";
    case ORBTelemetryError::OutOfMemory:
        return "not enough memory to read its telemetry";
    case ORBTelemetryError::ReadFailed:
        return "the card refused a read (was it removed?)";
    }
    return "unknown error";
}

} // namespace nura
