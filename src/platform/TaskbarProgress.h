// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The progress the desktop's task bar or dock shows on the application's entry.

#include <QList>

#include <utility>

class TaskbarProgress {
public:
    virtual ~TaskbarProgress() = default;
    // fraction 0..1; visible false takes the bar away.
    virtual void setProgress(double fraction, bool visible) = 0;
};

// Keeps every call, for tests.
class RecordingTaskbarProgress : public TaskbarProgress {
public:
    void setProgress(double fraction, bool visible) override { calls << std::pair(fraction, visible); }
    QList<std::pair<double, bool>> calls;
};
