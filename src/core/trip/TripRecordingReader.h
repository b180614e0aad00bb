// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reads the telemetry of many recordings on several threads and hands the fixes on in list order.
// Reading a card is dominated by each recording's chunk table, so workers read ahead while the caller
// writes; at most kWindow results wait at once, whatever the number of recordings.

#include "core/trip/TripFix.h"

#include <cstddef>
#include <functional>
#include <span>
#include <string>

namespace nura {

class TripRecordingReader {
public:
    static constexpr size_t kWindow = 32;
    static constexpr unsigned kMaxWorkers = 64;

    using Consumer = std::function<void(size_t index, RecordingFixes&& fixes)>;

    // Calls `consume` on the calling thread once for each path, in order. With one worker or fewer the
    // recordings are read on the calling thread. An exception from `consume` stops the reading and is
    // passed on after the workers have ended.
    static void readInOrder(std::span<const std::string> paths, unsigned workers, const Consumer& consume);

    // The same order and window for any per-recording read: `read(i, scratch)` runs on a worker and
    // leaves its result in the caller's slot i % kWindow, which `consume(i)` then takes on the calling
    // thread. A slot is never read and written at once.
    using SlotRead = std::function<void(size_t index, ORBBlackBoxData& scratch)>;
    using SlotConsumer = std::function<void(size_t index)>;
    static void readInOrder(size_t count, unsigned workers, const SlotRead& read,
                            const SlotConsumer& consume);

    // The worker count for this machine: NURA_THREADS when it holds a number from 1 to kMaxWorkers
    // (to measure or to spare the machine), else one per core.
    static unsigned defaultWorkers();
};

} // namespace nura
