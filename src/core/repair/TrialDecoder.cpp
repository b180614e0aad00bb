// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/repair/TrialDecoder.h"

#include "core/util/HelperProgram.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

extern char** environ;

namespace nura {

std::optional<std::string> TrialDecoder::findHelper() {
    return findHelperProgram("nura-media");
}

TrialDecoder::TrialDecoder(std::string helper) : m_helper(std::move(helper)) {
    start();
}

TrialDecoder::~TrialDecoder() {
    stop();
}

bool TrialDecoder::start() {
    // One socket pair carries both directions: sends with MSG_NOSIGNAL cannot raise SIGPIPE in this
    // process (the viewer runs repairs on a worker thread) when the helper has died.
    int sv[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) {
        return false;
    }
    const std::string frames = std::to_string(kFrames);
    std::vector<std::string> args{m_helper, "decode-check", "--frames", frames, "--serve"};
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, sv[1], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, sv[1], STDOUT_FILENO);
    // The helper's own messages are for diagnosis only; the answers are its lines.
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const int spawned = ::posix_spawn(&m_pid, m_helper.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(sv[1]);
    if (spawned != 0) {
        m_pid = -1;
        ::close(sv[0]);
        return false;
    }
    m_socket = sv[0];
    m_from = ::fdopen(sv[0], "r");
    if (m_from == nullptr) {
        ::close(sv[0]);
        m_socket = -1;
        return false;
    }
    return true;
}

void TrialDecoder::stop() {
    if (m_socket >= 0) {
        ::shutdown(m_socket, SHUT_WR); // end of input: the helper ends
    }
    if (m_from != nullptr) {
        std::fclose(m_from); // closes the socket too
        m_from = nullptr;
    }
    m_socket = -1;
    if (m_pid > 0) {
        int status = 0;
        while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_pid = -1;
    }
}

bool TrialDecoder::send(const std::string& path) {
    if (m_socket < 0 || m_from == nullptr) {
        return false;
    }
    const std::string line = path + "\n";
    size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = ::send(m_socket, line.data() + done, line.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            stop();
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

TrialDecode TrialDecoder::answer() {
    char line[512];
    while (std::fgets(line, sizeof line, m_from) != nullptr) {
        if (std::strncmp(line, "ok", 2) == 0) {
            return TrialDecode::Decodes;
        }
        if (std::strncmp(line, "fail", 4) == 0) {
            return TrialDecode::Fails;
        }
    }
    // The helper ended without an answer: it crashed on the data, which therefore does not decode.
    int status = 0;
    const bool exited = m_pid > 0 && ::waitpid(m_pid, &status, 0) == m_pid;
    m_pid = -1;
    stop();
    return exited && WIFEXITED(status) && WEXITSTATUS(status) != 0 ? TrialDecode::Unavailable
                                                                   : TrialDecode::Fails;
}

void TrialDecoder::ahead(const std::string& path) {
    if (m_pending.empty() && path.find('\n') == std::string::npos && send(path)) {
        m_pending = path;
    }
}

TrialDecode TrialDecoder::check(const std::string& path) {
    if (path.find('\n') != std::string::npos) {
        return TrialDecode::Fails; // a name the line protocol cannot carry is not decoded
    }
    // An answer still owed for another path is read and dropped first.
    if (!m_pending.empty()) {
        const std::string pending = std::exchange(m_pending, {});
        const TrialDecode early = m_from != nullptr ? answer() : TrialDecode::Unavailable;
        if (pending == path) {
            return early;
        }
    }
    if (!send(path)) {
        return TrialDecode::Unavailable;
    }
    return answer();
}

} // namespace nura
