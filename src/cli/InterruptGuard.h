// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Ctrl+C and a polite kill (SIGINT, SIGTERM, SIGHUP) end a long command at its next step, so that its
// temporary file is removed; the signal is raised again afterwards, so the shell sees the usual status.

#include <csignal>
#include <initializer_list>

namespace interrupt_detail {
inline volatile std::sig_atomic_t g_interrupted = 0;
inline volatile std::sig_atomic_t g_signal = 0;
inline void onInterrupt(int signal) {
    g_interrupted = 1;
    g_signal = signal;
}
} // namespace interrupt_detail

class InterruptGuard {
public:
    // Restarting: calls that wait (a read held by a slow card, the helper's answer) go on to their end
    // rather than fail, and the work stops at its next step, with nothing taken for a failure meanwhile.
    enum class Calls { Interrupted, Restarted };
    explicit InterruptGuard(Calls calls = Calls::Interrupted) {
        struct sigaction action {};
        action.sa_handler = interrupt_detail::onInterrupt;
        action.sa_flags = calls == Calls::Restarted ? SA_RESTART : 0;
        sigemptyset(&action.sa_mask);
        for (int s : {SIGINT, SIGTERM, SIGHUP}) {
            sigaction(s, &action, nullptr);
        }
    }
    static bool interrupted() { return interrupt_detail::g_interrupted != 0; }
    // Ends the process by the signal that interrupted it, if one did.
    static void reraise() {
        const int signal = interrupt_detail::g_signal;
        if (signal == 0) {
            return;
        }
        std::signal(signal, SIG_DFL);
        std::raise(signal);
    }
};
