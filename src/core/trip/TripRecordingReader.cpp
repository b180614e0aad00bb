// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/trip/TripRecordingReader.h"

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

namespace nura {

unsigned TripRecordingReader::defaultWorkers() {
    if (const char* text = std::getenv("NURA_THREADS")) {
        char* end = nullptr;
        const long n = std::strtol(text, &end, 10);
        if (end != text && *end == '\0' && n >= 1 && n <= static_cast<long>(kMaxWorkers)) {
            return static_cast<unsigned>(n);
        }
    }
    return std::clamp(std::thread::hardware_concurrency(), 1u, kMaxWorkers);
}

void TripRecordingReader::readInOrder(std::span<const std::string> paths, unsigned workers,
                                      const Consumer& consume) {
    std::vector<RecordingFixes> slots(std::min(kWindow, paths.size()));
    readInOrder(
        paths.size(), workers,
        [&](size_t i, ORBBlackBoxData& scratch) {
            slots[i % kWindow] = readRecordingFixes(paths[i], scratch);
        },
        [&](size_t i) { consume(i, std::move(slots[i % kWindow])); });
}

void TripRecordingReader::readInOrder(size_t count, unsigned workers, const SlotRead& read,
                                      const SlotConsumer& consume) {
    workers = static_cast<unsigned>(std::min<size_t>({workers, kMaxWorkers, count}));
    if (workers <= 1) {
        ORBBlackBoxData scratch;
        for (size_t i = 0; i < count; ++i) {
            read(i, scratch);
            consume(i);
        }
        return;
    }

    // Result i waits in slot i % kWindow; a worker claims index `next` only while it is within the
    // window of the results not yet handed on, so the slot is free.
    std::vector<bool> filled(kWindow, false);
    std::mutex mutex;
    std::condition_variable ready; // a result has arrived (the caller waits)
    std::condition_variable space; // a slot has been freed, or stop (workers wait)
    size_t next = 0;
    size_t handedOn = 0;
    bool stop = false;

    const auto work = [&] {
        ORBBlackBoxData scratch;
        for (;;) {
            size_t index = 0;
            {
                std::unique_lock lock(mutex);
                space.wait(lock, [&] { return stop || next >= count || next < handedOn + kWindow; });
                if (stop || next >= count) {
                    return;
                }
                index = next++;
            }
            read(index, scratch);
            {
                std::lock_guard lock(mutex);
                filled[index % kWindow] = true;
            }
            ready.notify_one();
        }
    };

    std::vector<std::jthread> threads;
    std::exception_ptr failure;
    try {
        for (unsigned w = 0; w < workers; ++w) {
            threads.emplace_back(work);
        }
    } catch (const std::system_error&) {
        // Fewer threads than asked for: those that started do the work.
    }
    const auto stopWorkers = [&] {
        {
            std::lock_guard lock(mutex);
            stop = true;
        }
        space.notify_all();
        threads.clear(); // joins
    };
    if (threads.empty()) {
        ORBBlackBoxData scratch;
        for (size_t i = 0; i < count; ++i) {
            read(i, scratch);
            consume(i);
        }
        return;
    }
    try {
        for (size_t i = 0; i < count; ++i) {
            {
                std::unique_lock lock(mutex);
                ready.wait(lock, [&] { return filled[i % kWindow]; });
            }
            consume(i);
            {
                std::lock_guard lock(mutex);
                filled[i % kWindow] = false;
                handedOn = i + 1;
            }
            space.notify_all();
        }
    } catch (...) {
        failure = std::current_exception();
    }
    stopWorkers();
    if (failure) {
        std::rethrow_exception(failure);
    }
}

} // namespace nura
