// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Delays of the playback and loading logic ("0.3 seconds later") go through this, so tests can
// run them without sleeping.

#include <QObject>
#include <QPointer>

#include <functional>
#include <map>
#include <memory>

class Scheduler {
public:
    virtual ~Scheduler() = default;
    // Runs task on the UI thread after `seconds`, unless context has been destroyed by then.
    virtual void after(double seconds, QObject* context, std::function<void()> task) = 0;
};

// A task that repeats every `seconds` over a scheduler until cancelled or restarted. Cancelling
// takes effect at once: a run already queued is dropped when it falls due.
class RepeatingTask {
public:
    RepeatingTask() = default;
    RepeatingTask(const RepeatingTask&) = delete;
    RepeatingTask& operator=(const RepeatingTask&) = delete;
    ~RepeatingTask() { cancel(); }

    void start(Scheduler& scheduler, double seconds, QObject* context, std::function<void()> task);
    void cancel();
    bool isActive() const { return m_token != nullptr; }

private:
    static void schedule(Scheduler& scheduler, double seconds, QObject* context,
                         std::shared_ptr<std::function<void()>> task, std::weak_ptr<int> token);
    std::shared_ptr<int> m_token;
};

// Real delays on the Qt event loop.
class QtScheduler : public Scheduler {
public:
    void after(double seconds, QObject* context, std::function<void()> task) override;
};

// A clock that moves only when told: advance() runs every task that falls due, in time order.
class ManualScheduler : public Scheduler {
public:
    void after(double seconds, QObject* context, std::function<void()> task) override;
    void advance(double seconds);
    double now() const { return m_now; }
    size_t pending() const { return m_tasks.size(); }

private:
    struct Task {
        QPointer<QObject> context;
        bool hadContext;
        std::function<void()> run;
    };
    double m_now = 0;
    std::multimap<double, Task> m_tasks;
};
