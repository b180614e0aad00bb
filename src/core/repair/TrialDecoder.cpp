#include "core/repair/TrialDecoder.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
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

TrialDecode TrialDecoder::run(const std::string& helper, const std::string& path) {
    const std::string frames = std::to_string(kFrames);
    std::vector<std::string> args{helper, "decode-check", "--frames", frames, "--", path};
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    // The helper's own messages are for diagnosis only; the answer is its exit status.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, helper.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return TrialDecode::Unavailable;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return TrialDecode::Unavailable;
        }
    }
    if (!WIFEXITED(status)) {
        return TrialDecode::Fails; // a decoder that crashes on the data does not decode it
    }
    switch (WEXITSTATUS(status)) {
    case 0:
        return TrialDecode::Decodes;
    case 2:
        return TrialDecode::Fails;
    default:
        return TrialDecode::Unavailable;
    }
}

} // namespace nura
