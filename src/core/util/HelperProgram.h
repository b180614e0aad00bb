// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The helper programs of `nura` (nura-card, nura-media) keep heavy libraries out of its own start-up.
// They live beside it in a build folder, or in the installed libexec folder next to its bin folder.

#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace nura {

// The path of the helper `name`, or nothing when it is in neither place.
std::optional<std::string> findHelperProgram(const std::string& name);
// nura-media, which holds the FFmpeg libraries: the repair's trial decode and the re-encoded clip.
std::optional<std::string> findMediaHelper();

// One run of a helper program, talked to over one socket that is both its standard input and its
// standard output. A send to a helper that has died fails with EPIPE (MSG_NOSIGNAL) rather than raise
// SIGPIPE: the viewer runs helpers on worker threads, where changing the process's signal handling
// would race with every other thread.
//
// The helper is told whose child it is (NURA_PARENT_PID) and nura-media asks the kernel to end it when
// the thread that started it ends. Start, use and finish a helper on one thread that lives as long
// as the work: a helper started from a short-lived thread would be ended with it.
class HelperProcess {
public:
    HelperProcess() = default;
    ~HelperProcess(); // closes the socket, which ends a helper that reads it, and waits for it
    HelperProcess(const HelperProcess&) = delete;
    HelperProcess& operator=(const HelperProcess&) = delete;

    // Starts `program` with `arguments` (its own name is added first). Its standard error is this
    // process's when `showErrors`, else /dev/null. False when it cannot be started.
    bool start(const std::string& program, const std::vector<std::string>& arguments, bool showErrors);
    bool started() const { return m_pid > 0; }

    // Sends all of `bytes`; false when the helper has gone.
    bool send(std::string_view bytes);
    // Tells the helper that nothing more comes: its standard input ends.
    void endInput();

    enum class Read { Line, Timeout, Ended };
    // The next line of the helper's output, without its end, waiting up to `timeoutMs` (-1: as long as
    // it takes). Ended when its output has ended (it closed it or exited).
    Read readLine(std::string& line, int timeoutMs = -1);

    void signal(int signal) const;
    // Waits for the helper to end: its exit status, 128 + the signal that ended it, or -1 when it was
    // never started or cannot be waited for.
    int wait();

private:
    void closeSocket();
    pid_t m_pid = -1;
    int m_socket = -1;
    std::string m_pending; // bytes read after the last whole line
    bool m_ended = false;
};

} // namespace nura
