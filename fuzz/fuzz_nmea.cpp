// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: NMEA text split into sentences, and single sentences given to the parser.
#include "TelemetryFuzzBodies.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    nura::fuzz::nmea(data, size);
    return 0;
}
