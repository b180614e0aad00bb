// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Scheduler.h"

#include <QTimer>

#include <cmath>

void QtScheduler::after(double seconds, QObject* context, std::function<void()> task) {
    const int ms = static_cast<int>(std::lround(std::max(0.0, seconds) * 1000.0));
    QTimer::singleShot(ms, context, std::move(task));
}

void ManualScheduler::after(double seconds, QObject* context, std::function<void()> task) {
    m_tasks.emplace(m_now + std::max(0.0, seconds), Task{context, context != nullptr, std::move(task)});
}

void ManualScheduler::advance(double seconds) {
    const double end = m_now + seconds;
    // Tasks may schedule further tasks; keep taking the earliest one due.
    while (!m_tasks.empty() && m_tasks.begin()->first <= end + 1e-9) {
        auto node = m_tasks.extract(m_tasks.begin());
        m_now = std::max(m_now, node.key());
        if (!node.mapped().hadContext || node.mapped().context) {
            node.mapped().run();
        }
    }
    m_now = end;
}

void RepeatingTask::start(Scheduler& scheduler, double seconds, QObject* context,
                          std::function<void()> task) {
    cancel();
    m_token = std::make_shared<int>(0);
    schedule(scheduler, seconds, context, std::make_shared<std::function<void()>>(std::move(task)), m_token);
}

void RepeatingTask::cancel() {
    m_token.reset();
}

void RepeatingTask::schedule(Scheduler& scheduler, double seconds, QObject* context,
                             std::shared_ptr<std::function<void()>> task, std::weak_ptr<int> token) {
    scheduler.after(seconds, context, [&scheduler, seconds, context, task, token] {
        // The token dies with cancel() or a restart; the task may itself cancel or restart.
        if (token.expired()) {
            return;
        }
        schedule(scheduler, seconds, context, task, token);
        (*task)();
    });
}
