// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Work on a thread of its own whose result comes back to the UI thread, for the card tools' jobs.

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QThread>

#include <memory>
#include <utility>

namespace nura {

// Runs `work` on a new thread and hands its result to `then` on `receiver`'s thread, unless the receiver
// has gone by then (a window closed while its job ran).
template <typename Work, typename Then> void runWithResult(QObject* receiver, Work work, Then then) {
    QPointer<QObject> guard(receiver);
    QThread* thread = QThread::create([guard, work = std::move(work), then = std::move(then)]() mutable {
        auto result = std::make_shared<decltype(work())>(work());
        if (guard) {
            QMetaObject::invokeMethod(guard, [guard, result, then = std::move(then)]() mutable {
                if (guard) {
                    then(std::move(*result));
                }
            });
        }
    });
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
}

} // namespace nura
