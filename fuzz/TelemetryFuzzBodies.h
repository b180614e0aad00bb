// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What each telemetry fuzz target does with one input; the tests replay the corpus through the same code.

#include "core/telemetry/ORBBlackBoxData.h"
#include "core/telemetry/ORBNMEASentenceParser.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace nura::fuzz {

// A whole file: the box walk, the chunk table and every record it reaches.
inline void telemetryReader(const uint8_t* data, size_t size) {
    ORBMemoryByteSource source(std::as_bytes(std::span(data, size)));
    ORBBlackBoxData box;
    if (box.ExtractStreamInformation(source)) {
        const size_t n = box.times().size();
        if (box.gSensors().size() != n || box.gpsData().size() != n || box.gSensorData().size() != n) {
            __builtin_trap();
        }
        // Whatever the table asks for: an hour of records, 8 GPS states each.
        if (n > 36000 || box.nmeas().size() > 8 * n) {
            __builtin_trap();
        }
        // A record's own state is one of the list, and never an earlier one than its predecessor's.
        const ORBGpsData* before = nullptr;
        for (size_t i = 0; i < n; ++i) {
            (void)box.gpsStateForRecord(i);
            const ORBGpsData* own = box.ownGpsStateForRecord(i);
            if ((own == nullptr && before != nullptr) ||
                (own != nullptr &&
                 (own < box.nmeas().data() || own >= box.nmeas().data() + box.nmeas().size() ||
                  (before != nullptr && own < before)))) {
                __builtin_trap();
            }
            before = own;
        }
    } else if (!box.times().empty() || !box.nmeas().empty()) {
        __builtin_trap();
    }
}

// NMEA text: as a record's 128-byte block (split into sentences), and as one sentence.
inline void nmea(const uint8_t* data, size_t size) {
    std::string block(reinterpret_cast<const char*>(data), size);
    ORBBlackBoxData box;
    box.ParseNMEA(block);
    ORBNMEASentenceParser parser;
    parser.parse(std::string_view(reinterpret_cast<const char*>(data), size));
}

} // namespace nura::fuzz
