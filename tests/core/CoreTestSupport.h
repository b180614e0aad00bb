// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers the core tests share: whole files as strings, a scratch folder per test, and running a check
// as a user who is not root.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

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

// An empty folder of the running test's own (PREFIX-PID-TEST under the temporary folder).
inline std::filesystem::path freshTestFolder(const std::string& prefix) {
    const auto dir = std::filesystem::temp_directory_path() /
                     (prefix + "-" + std::to_string(::getpid()) + "-" +
                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

// The names in a folder, sorted: the order a file system lists them in is its own.
inline std::vector<std::string> sortedNames(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
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
