// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reads the lengths of a whole listing's files in the background, nearest the recording in view first,
// each file once per listing. A new listing or cancel() drops the old one at once: no result of it is
// handed on afterwards, and nothing waits for a read that a slow or pulled card holds up (the worker
// finishes that read on its own and ends).

#include "core/media/RecordingLength.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace nura {

class RecordingLengthReader {
public:
    // Called on the worker thread, one at a time, with the listing's number and the file's index.
    // It may call setFocus() but must not start a listing or cancel.
    using Delivery = std::function<void(uint64_t listing, size_t index, const RecordingLength& length)>;
    using Read = std::function<RecordingLength(const std::string& path)>;

    explicit RecordingLengthReader(Delivery deliver, Read read = {});
    // Cancels; returns once no delivery is running, without waiting for the read under way.
    ~RecordingLengthReader();
    RecordingLengthReader(const RecordingLengthReader&) = delete;
    RecordingLengthReader& operator=(const RecordingLengthReader&) = delete;

    // Starts reading `paths`, the nearest to `focus` first; returns the listing's number.
    uint64_t start(std::vector<std::string> paths, size_t focus = 0);
    // Reads the files nearest `index` next (the playing recording, the first visible row).
    void setFocus(size_t index);
    // Drops the listing: once this returns, none of its results is handed on.
    void cancel();
    // True when no file is waiting or being read.
    bool idle() const;
    // Waits until idle() (for tests and one-shot tools).
    void waitIdle() const;

private:
    struct State;
    std::shared_ptr<State> m_state;
};

} // namespace nura
