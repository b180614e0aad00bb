// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the viewer's benchmarks share: running the event loop until something has happened, and the
// median of a run's figures.

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <functional>
#include <vector>

namespace bench {

// Runs the event loop until `done`, or for `timeoutMs`; false when it timed out.
inline bool waitFor(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return true;
}

inline double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

} // namespace bench
