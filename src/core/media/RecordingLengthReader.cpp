// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/media/RecordingLengthReader.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace nura {

struct RecordingLengthReader::State {
    Delivery deliver;
    Read read;

    mutable std::mutex mutex; // guards everything below
    mutable std::condition_variable changed;
    std::vector<std::string> paths;
    std::vector<bool> taken;
    size_t remaining = 0; // files neither read nor being read
    size_t reading = 0;   // reads under way (0 or 1)
    size_t focus = 0;
    size_t up = 0;   // the next file to look at from the focus onwards
    size_t down = 0; // one past the next file to look at before the focus
    uint64_t listing = 0;
    bool stopped = false;

    // Delivery runs under this lock, so that cancel() can wait for a delivery under way to end.
    std::recursive_mutex deliveryMutex;

    // The unread file nearest the focus, ties going forward; nothing when all are taken.
    std::optional<size_t> pickLocked() {
        const size_t n = paths.size();
        while (up < n && taken[up]) {
            ++up;
        }
        while (down > 0 && taken[down - 1]) {
            --down;
        }
        const bool ahead = up < n;
        const bool behind = down > 0;
        if (!ahead && !behind) {
            return std::nullopt;
        }
        const size_t i = ahead && (!behind || up - focus <= focus - (down - 1)) ? up++ : --down;
        taken[i] = true;
        --remaining;
        return i;
    }

    void run() {
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait(lock, [&] { return stopped || remaining > 0; });
            if (stopped) {
                return;
            }
            const auto index = pickLocked();
            if (!index) {
                continue;
            }
            const uint64_t mine = listing;
            std::string path;
            try {
                path = paths[*index];
            } catch (...) {
            }
            ++reading;
            lock.unlock();
            RecordingLength length;
            try {
                length = read ? read(path) : RecordingLength::read(path);
            } catch (...) {
                length.kind = RecordingLength::Kind::Unreadable; // out of memory: nothing learnt of the file
            }
            {
                std::lock_guard delivering(deliveryMutex);
                lock.lock();
                const bool current = !stopped && listing == mine;
                lock.unlock();
                if (current) {
                    try {
                        deliver(mine, *index, length);
                    } catch (...) {
                        // A receiver out of memory loses this one result; the thread must not end the
                        // process.
                    }
                }
            }
            lock.lock();
            --reading;
            changed.notify_all();
        }
    }
};

RecordingLengthReader::RecordingLengthReader(Delivery deliver, Read read)
    : m_state(std::make_shared<State>()) {
    m_state->deliver = std::move(deliver);
    m_state->read = std::move(read);
    // The worker owns a share of the state, so it may finish a read the card holds up after we are gone.
    std::thread([state = m_state] { state->run(); }).detach();
}

RecordingLengthReader::~RecordingLengthReader() {
    std::lock_guard delivering(m_state->deliveryMutex);
    std::lock_guard lock(m_state->mutex);
    m_state->stopped = true;
    m_state->changed.notify_all();
}

uint64_t RecordingLengthReader::start(std::vector<std::string> paths, size_t focus) {
    std::lock_guard delivering(m_state->deliveryMutex);
    std::lock_guard lock(m_state->mutex);
    State& s = *m_state;
    s.paths = std::move(paths);
    s.taken.assign(s.paths.size(), false);
    s.remaining = s.paths.size();
    s.focus = s.paths.empty() ? 0 : std::min(focus, s.paths.size() - 1);
    s.up = s.down = s.focus;
    ++s.listing;
    s.changed.notify_all();
    return s.listing;
}

void RecordingLengthReader::setFocus(size_t index) {
    std::lock_guard lock(m_state->mutex);
    State& s = *m_state;
    s.focus = s.paths.empty() ? 0 : std::min(index, s.paths.size() - 1);
    s.up = s.down = s.focus;
}

void RecordingLengthReader::cancel() {
    std::lock_guard delivering(m_state->deliveryMutex);
    std::lock_guard lock(m_state->mutex);
    State& s = *m_state;
    ++s.listing;
    s.paths.clear();
    s.taken.clear();
    s.remaining = 0;
    s.up = s.down = s.focus = 0;
    s.changed.notify_all();
}

bool RecordingLengthReader::idle() const {
    std::lock_guard lock(m_state->mutex);
    return m_state->remaining == 0 && m_state->reading == 0;
}

void RecordingLengthReader::waitIdle() const {
    std::unique_lock lock(m_state->mutex);
    m_state->changed.wait(lock, [&] { return m_state->remaining == 0 && m_state->reading == 0; });
}

} // namespace nura
