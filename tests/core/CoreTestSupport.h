// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers the core tests share: whole files as strings, and running a check as a user who is not root.
#pragma once

#include <cstddef>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace coretest {

// At most `limit` bytes of the file; empty when it cannot be read.
inline std::string slurp(const std::filesystem::path& p, std::size_t limit = std::string::npos) {
    std::ifstream in(p, std::ios::binary);
    std::string s;
    for (std::istreambuf_iterator<char> it(in), end; it != end && s.size() < limit; ++it) {
        s.push_back(*it);
    }
    return s;
}

inline void writeBytes(const std::filesystem::path& p, const std::string& data) {
    std::ofstream(p, std::ios::binary | std::ios::trunc)
        .write(data.data(), static_cast<std::streamsize>(data.size()));
}

// Runs `body` in a child process that has given up root (root reads and writes any folder) and returns
// its exit status, or -1 when it did not exit normally.
inline int runWithoutRoot(const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child < 0) {
        return -1;
    }
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            ::_exit(99);
        }
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace coretest
