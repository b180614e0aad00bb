// SPDX-License-Identifier: GPL-3.0-or-later
// The player's worker without an engine: work runs in order, waiting seeks give way to the newest,
// and the end waits a bounded time for a task that hangs, as an engine call on a dead card does.

#include "platform/SerialWorker.h"

#include <QtTest>

#include <chrono>
#include <future>
#include <vector>

namespace {

// A worker owned the way the player owns its engine, and a record of what ran.
struct Rig {
    std::shared_ptr<SerialWorker> worker = std::make_shared<SerialWorker>();
    std::mutex mutex;
    std::vector<int> ran;

    Rig() { worker->start(worker); }
    std::function<void()> record(int value) {
        return [this, value] {
            std::lock_guard lock(mutex);
            ran.push_back(value);
        };
    }
    // Holds the worker in a task until the returned promise is set.
    std::promise<void> block() {
        std::promise<void> release;
        std::shared_future<void> released = release.get_future().share();
        std::promise<void> entered;
        std::future<void> inside = entered.get_future();
        worker->post([released, &entered] {
            entered.set_value();
            released.wait();
        });
        inside.wait();
        return release;
    }
};

} // namespace

class SerialWorkerTest : public QObject {
    Q_OBJECT

private slots:
    void seeksWaitingGiveWayToTheNewestAndOtherWorkKeepsItsPlace() {
        Rig rig;
        std::promise<void> release = rig.block();
        rig.worker->post(rig.record(1), true);
        rig.worker->post(rig.record(2), true);
        rig.worker->post(rig.record(3), true);
        rig.worker->post(rig.record(100)); // a pause between seeks: both sides keep their order
        rig.worker->post(rig.record(4), true);
        rig.worker->post(rig.record(5), true);
        rig.worker->post(rig.record(101));
        release.set_value();
        std::promise<void> done;
        rig.worker->post([&done] { done.set_value(); });
        done.get_future().wait();
        QCOMPARE(rig.ran, (std::vector<int>{3, 100, 5, 101}));
        QVERIFY(rig.worker->finish([] {}, 1000));
    }

    void theEndDropsWaitingWorkAndRunsTheLastTask() {
        Rig rig;
        std::promise<void> release = rig.block();
        rig.worker->post(rig.record(1));
        rig.worker->post(rig.record(2), true);
        std::thread later([&release] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            release.set_value();
        });
        QVERIFY(rig.worker->finish(rig.record(9), 2000));
        later.join();
        QCOMPARE(rig.ran, std::vector<int>{9});
        rig.worker->post(rig.record(10)); // after the end, nothing runs
        QCOMPARE(rig.ran, std::vector<int>{9});
    }

    // A task that hangs past the wait: the owner gets on, and what the thread works on stays alive
    // until it is done.
    void aHangingTaskIsLeftBehindAfterTheWait() {
        std::weak_ptr<SerialWorker> alive;
        std::promise<void> release;
        {
            Rig rig;
            alive = rig.worker;
            release = rig.block();
            // Held until after this scope: a wait past its bound would never end.
            QVERIFY(!rig.worker->finish([] {}, 200));
        }
        QVERIFY(!alive.expired());
        release.set_value();
        QTRY_VERIFY_WITH_TIMEOUT(alive.expired(), 5000);
    }
};

QTEST_MAIN(SerialWorkerTest)
#include "SerialWorkerTest.moc"
