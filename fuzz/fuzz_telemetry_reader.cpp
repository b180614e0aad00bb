// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target: the telemetry reader over whole files.
#include "TelemetryFuzzBodies.h"
#include "core/log.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool quiet = (nura::setLogSink([](std::string_view) {}), true);
    (void)quiet;
    nura::fuzz::telemetryReader(data, size);
    return 0;
}
