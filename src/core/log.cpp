// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/log.h"

#include <cstdarg>
#include <cstdio>

namespace nura {
namespace {

std::mutex& sinkMutex() {
    static std::mutex m;
    return m;
}

LogSink& currentSink() {
    static LogSink sink;
    return sink;
}

} // namespace

LogSink setLogSink(LogSink sink) {
    std::lock_guard lock(sinkMutex());
    LogSink previous = std::move(currentSink());
    currentSink() = std::move(sink);
    return previous;
}

void logLine(std::string_view line) {
    std::lock_guard lock(sinkMutex());
    if (currentSink()) {
        currentSink()(line);
        return;
    }
    std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
}

void logf(const char* format, ...) {
    char buffer[1024];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n < 0) {
        return;
    }
    if (static_cast<size_t>(n) < sizeof buffer) {
        logLine(std::string_view(buffer, static_cast<size_t>(n)));
        return;
    }
    std::string big(static_cast<size_t>(n) + 1, '\0');
    va_start(args, format);
    std::vsnprintf(big.data(), big.size(), format, args);
    va_end(args);
    big.pop_back();
    logLine(big);
}

LogCapture::LogCapture() {
    m_previous = setLogSink([this](std::string_view line) {
        std::lock_guard lock(m_mutex);
        m_lines.emplace_back(line);
    });
}

LogCapture::~LogCapture() {
    setLogSink(std::move(m_previous));
}

std::vector<std::string> LogCapture::lines() const {
    std::lock_guard lock(m_mutex);
    return m_lines;
}

bool LogCapture::contains(std::string_view text) const {
    std::lock_guard lock(m_mutex);
    for (const auto& l : m_lines) {
        if (l.find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

} // namespace nura
