// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Diagnostic log lines ("#############################   START", "fopen fail:...").
// They go to a sink: stderr in the programs, a capture buffer in tests. Never shown to the user.

#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace nura {

using LogSink = std::function<void(std::string_view line)>;

// Replaces the sink and returns the previous one; an empty sink restores stderr.
LogSink setLogSink(LogSink sink);

void logLine(std::string_view line);
void logf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Collects log lines while alive; restores the previous sink when destroyed.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<std::string> lines() const;
    bool contains(std::string_view text) const;

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
    LogSink m_previous;
};

} // namespace nura
