#include "core/repair/TrialDecoder.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

extern char** environ;

namespace nura {

std::optional<std::string> TrialDecoder::findHelper() {
    char self[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) {
        return std::nullopt;
    }
    std::string dir(self, static_cast<size_t>(n));
    dir.erase(dir.rfind('/') + 1);
    for (const char* relative : {"nura-media", "../libexec/nura/nura-media"}) {
        std::string candidate = dir + relative;
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return std::nullopt;
}

TrialDecoder::TrialDecoder(std::string helper) : m_helper(std::move(helper)) {
    start();
}

TrialDecoder::~TrialDecoder() {
    stop();
}

bool TrialDecoder::start() {
    int toChild[2], fromChild[2];
    if (::pipe2(toChild, O_CLOEXEC) != 0) {
        return false;
    }
    if (::pipe2(fromChild, O_CLOEXEC) != 0) {
        ::close(toChild[0]);
        ::close(toChild[1]);
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
    posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
    // The helper's own messages are for diagnosis only; the answers are its lines.
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    const int spawned = ::posix_spawn(&m_pid, m_helper.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(toChild[0]);
    ::close(fromChild[1]);
    if (spawned != 0) {
        m_pid = -1;
        ::close(toChild[1]);
        ::close(fromChild[0]);
        return false;
    }
    m_to = ::fdopen(toChild[1], "w");
    m_from = ::fdopen(fromChild[0], "r");
    return m_to != nullptr && m_from != nullptr;
}

void TrialDecoder::stop() {
    if (m_to != nullptr) {
        std::fclose(m_to); // end of input: the helper ends
        m_to = nullptr;
    }
    if (m_from != nullptr) {
        std::fclose(m_from);
        m_from = nullptr;
    }
    if (m_pid > 0) {
        int status = 0;
        while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_pid = -1;
    }
}

bool TrialDecoder::send(const std::string& path) {
    if (m_to == nullptr || m_from == nullptr) {
        return false;
    }
    // A helper that died shows as a closed pipe; writing to it must not end this process.
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &previous);
    const bool sent = std::fprintf(m_to, "%s\n", path.c_str()) > 0 && std::fflush(m_to) == 0;
    ::sigaction(SIGPIPE, &previous, nullptr);
    if (!sent) {
        stop();
    }
    return sent;
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
