// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Finds the data track's chunk-offset table by the camera's fixed walk through the MP4 boxes:
// ftyp (major brand avc1), one box, moov; the fifth child of moov is the data track, whose boxes
// follow ISO/IEC 14496-12 order (tkhd, one box, mdia > mdhd, hdlr, minf > media header, dinf,
// stbl > stsd, stts, stsc, stsz, stco). Only the four box types named above are checked.

#include "core/telemetry/ORBByteSource.h"
#include "core/telemetry/ORBTelemetryError.h"

#include <cstdint>

namespace nura {

class ORBChunkTableLocator {
public:
    struct Result {
        ORBTelemetryError error = ORBTelemetryError::None;
        uint64_t tablePosition = 0; // first 4-byte big-endian chunk offset
        uint32_t entryCount = 0;    // as written; may claim more entries than the file holds
    };

    // Reads at most 16 bytes per box visited; never the media data.
    static Result locate(ORBByteSource& source);
};

} // namespace nura
