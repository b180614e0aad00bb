// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Media time between the engine's sparse time reports. The engine reports every 250 to 500 ms of
// wall time; in between, time runs on from the last report at the playback rate, but never more
// than kMaxLeadMs of wall time past it: a read that stalls the engine also stalls its reports, so
// the shown time cannot run far ahead of the picture and then wait for it to catch up.
//
// After a start or a seek the engine fills its buffers first and its clock starts about half a
// second after it says Playing; time holds at the start point until the engine's first report.
//
// Wall time comes in as a millisecond count from any steady clock, so the rules can be checked
// without an engine or a timer.

#include <cstdint>

class PlaybackClock {
public:
    // Longer than the widest gap between two engine reports in steady playback (about 510 ms),
    // so a healthy engine never meets the cap.
    static constexpr int64_t kMaxLeadMs = 600;

    // Media time `elapsedMs` of wall time after the engine reported `engineMs`; `waiting` means
    // the engine has not reported since the last start or seek.
    static int64_t estimate(int64_t engineMs, int64_t elapsedMs, double rate, bool waiting);

    // A seek, a stop, a start or the end: the time jumps there, backwards too, and holds there
    // while running until the engine reports.
    void setTime(int64_t ms, int64_t now);
    // An engine report. While running, the time shown never steps back: a report a little behind
    // the estimate holds it until playback passes it.
    void engineReport(int64_t ms, int64_t now);
    void setRunning(bool running, int64_t now);
    void setRate(double rate, int64_t now);

    bool running() const { return m_running; }
    // Time now, without the hold against stepping back.
    int64_t estimate(int64_t now) const;
    // Time now as shown: while running, never below what was shown before.
    int64_t time(int64_t now);

private:
    // Starts a new stretch from the time reached so far.
    void restartFrom(int64_t ms, int64_t now);

    int64_t m_base = 0;  // last engine report, seek, or time reached at a change of rate or run
    int64_t m_since = 0; // wall time of m_base
    int64_t m_shown = 0;
    double m_rate = 1.0;
    bool m_running = false;
    bool m_waiting = true;
};
