// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One thread that runs posted work in order, for an engine whose calls may block for seconds.
// A seek posted while the previous one still waits takes its place: only the newest position is
// worth reaching. At the end the owner waits a bounded time; a thread still stuck in a call by
// then is left to finish on its own, keeping alive what it works on.

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class SerialWorker {
public:
    using Task = std::function<void()>;

    SerialWorker() = default;
    SerialWorker(const SerialWorker&) = delete;
    SerialWorker& operator=(const SerialWorker&) = delete;
    ~SerialWorker();

    // Starts the thread; it holds `keepAlive` (what owns this worker) until it ends.
    void start(std::shared_ptr<void> keepAlive);
    // Ignored once finish() was called.
    void post(Task task, bool seek = false);
    // Drops the work still waiting, runs `last` after the task under way, and waits up to `waitMs`
    // for it. Returns false when the thread was left running.
    bool finish(Task last, int waitMs);

private:
    struct Item {
        Task task;
        bool seek;
    };
    void loop();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_finished;
    std::deque<Item> m_queue;
    bool m_quit = false;
    bool m_done = false;
    std::thread m_thread;
};
