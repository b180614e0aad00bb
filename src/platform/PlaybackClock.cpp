// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/PlaybackClock.h"

#include <algorithm>
#include <cmath>

int64_t PlaybackClock::estimate(int64_t engineMs, int64_t elapsedMs, double rate, bool waiting) {
    if (waiting || !(rate > 0.0) || !std::isfinite(rate)) {
        return engineMs;
    }
    const int64_t wall = std::clamp<int64_t>(elapsedMs, 0, kMaxLeadMs);
    return engineMs + static_cast<int64_t>(std::llround(static_cast<double>(wall) * rate));
}

int64_t PlaybackClock::estimate(int64_t now) const {
    if (!m_running) {
        return m_base;
    }
    return estimate(m_base, now - m_since, m_rate, m_waiting);
}

int64_t PlaybackClock::time(int64_t now) {
    const int64_t t = estimate(now);
    m_shown = m_running ? std::max(t, m_shown) : t;
    return m_shown;
}

void PlaybackClock::restartFrom(int64_t ms, int64_t now) {
    m_base = ms;
    m_since = now;
}

void PlaybackClock::setTime(int64_t ms, int64_t now) {
    restartFrom(ms, now);
    m_shown = ms;
    m_waiting = true;
}

void PlaybackClock::engineReport(int64_t ms, int64_t now) {
    restartFrom(ms, now);
    if (m_running) {
        m_waiting = false;
    } else {
        m_shown = ms;
    }
}

// A pause keeps the engine's place: on resume, time runs on at once from where it stopped.
void PlaybackClock::setRunning(bool running, int64_t now) {
    if (running == m_running) {
        return;
    }
    const int64_t reached = time(now);
    m_running = running;
    restartFrom(reached, now);
    m_shown = reached;
}

void PlaybackClock::setRate(double rate, int64_t now) {
    if (!(rate > 0.0) || !std::isfinite(rate) || rate == m_rate) {
        return;
    }
    restartFrom(estimate(now), now);
    m_rate = rate;
}
