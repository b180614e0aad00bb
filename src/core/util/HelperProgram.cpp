// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/util/HelperProgram.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace nura {
namespace {

constexpr size_t kLongestLine = 65536;

} // namespace

std::optional<std::string> findHelperProgram(const std::string& name) {
    char self[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) {
        return std::nullopt;
    }
    std::string dir(self, static_cast<size_t>(n));
    dir.erase(dir.rfind('/') + 1);
    for (const std::string& candidate : {dir + name, dir + "../libexec/nura/" + name}) {
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return std::nullopt;
}

std::optional<std::string> findMediaHelper() {
    return findHelperProgram("nura-media");
}

HelperProcess::~HelperProcess() {
    closeSocket();
    wait();
}

bool HelperProcess::start(const std::string& program, const std::vector<std::string>& arguments,
                          bool showErrors) {
    if (m_pid > 0) {
        return false;
    }
    int sv[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) {
        return false;
    }
    std::vector<std::string> args{program};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    // The environment as it is, with this process named as the helper's parent.
    std::string parent = "NURA_PARENT_PID=" + std::to_string(::getpid());
    std::vector<char*> envp;
    for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
        if (std::strncmp(*e, "NURA_PARENT_PID=", 16) != 0) {
            envp.push_back(*e);
        }
    }
    envp.push_back(parent.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, sv[1], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, sv[1], STDOUT_FILENO);
    if (!showErrors) {
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    }
    const int spawned = ::posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(sv[1]);
    if (spawned != 0) {
        m_pid = -1;
        ::close(sv[0]);
        return false;
    }
    m_socket = sv[0];
    m_pending.clear();
    m_ended = false;
    return true;
}

bool HelperProcess::send(std::string_view bytes) {
    while (!bytes.empty() && m_socket >= 0) {
        const ssize_t n = ::send(m_socket, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return bytes.empty();
}

void HelperProcess::endInput() {
    if (m_socket >= 0) {
        ::shutdown(m_socket, SHUT_WR);
    }
}

HelperProcess::Read HelperProcess::readLine(std::string& line, int timeoutMs) {
    while (true) {
        if (const size_t end = m_pending.find('\n'); end != std::string::npos) {
            line.assign(m_pending, 0, end);
            m_pending.erase(0, end + 1);
            return Read::Line;
        }
        if (m_ended || m_socket < 0) {
            return Read::Ended;
        }
        pollfd p{m_socket, POLLIN, 0};
        const int ready = ::poll(&p, 1, timeoutMs);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready == 0) {
            return Read::Timeout;
        }
        char buffer[4096];
        const ssize_t n = ready < 0 ? -1 : ::recv(m_socket, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            m_ended = true; // a last line without its end is dropped: the helper stopped mid-way
            return Read::Ended;
        }
        if (m_pending.size() > kLongestLine) {
            m_pending.clear(); // not a line of ours: what comes after its end may still be
        }
        m_pending.append(buffer, static_cast<size_t>(n));
    }
}

void HelperProcess::signal(int signal) const {
    if (m_pid > 0) {
        ::kill(m_pid, signal);
    }
}

int HelperProcess::wait() {
    if (m_pid <= 0) {
        return -1;
    }
    int status = 0;
    pid_t r;
    while ((r = ::waitpid(m_pid, &status, 0)) < 0 && errno == EINTR) {
    }
    m_pid = -1;
    if (r < 0) {
        return -1;
    }
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

void HelperProcess::closeSocket() {
    if (m_socket >= 0) {
        ::close(m_socket);
        m_socket = -1;
    }
}

} // namespace nura
