// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SerialWorker.h"

#include <chrono>

SerialWorker::~SerialWorker() {
    if (m_thread.joinable()) {
        // Only when the thread itself drops the last reference, as it ends.
        m_thread.detach();
    }
}

void SerialWorker::start(std::shared_ptr<void> keepAlive) {
    m_thread = std::thread([this, keepAlive = std::move(keepAlive)] { loop(); });
}

void SerialWorker::loop() {
    for (;;) {
        Task task;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_quit || !m_queue.empty(); });
            if (m_queue.empty()) {
                break;
            }
            task = std::move(m_queue.front().task);
            m_queue.pop_front();
        }
        task();
    }
    std::lock_guard lock(m_mutex);
    m_done = true;
    m_finished.notify_all();
}

void SerialWorker::post(Task task, bool seek) {
    std::lock_guard lock(m_mutex);
    if (m_quit) {
        return;
    }
    if (seek && !m_queue.empty() && m_queue.back().seek) {
        m_queue.back().task = std::move(task);
        return;
    }
    m_queue.push_back({std::move(task), seek});
    m_wake.notify_one();
}

bool SerialWorker::finish(Task last, int waitMs) {
    std::unique_lock lock(m_mutex);
    m_queue.clear();
    m_queue.push_back({std::move(last), false});
    m_quit = true;
    m_wake.notify_one();
    const bool done = m_finished.wait_for(lock, std::chrono::milliseconds(waitMs), [this] { return m_done; });
    lock.unlock();
    if (done) {
        m_thread.join();
    } else {
        m_thread.detach();
    }
    return done;
}
