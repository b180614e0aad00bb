// SPDX-License-Identifier: GPL-3.0-or-later
// nura card list: the mounted USB volumes, the camera's card marked with "*". The disk service is asked by
// the helper program nura-card, which carries the D-Bus client; this process becomes that program.

#include "cli/commands.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <unistd.h>

namespace {

// Beside nura in a build folder, or in the installed libexec folder next to the bin folder.
std::optional<std::string> findCardHelper() {
    char self[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) {
        return std::nullopt;
    }
    std::string dir(self, static_cast<size_t>(n));
    dir.erase(dir.rfind('/') + 1);
    for (const char* relative : {"nura-card", "../libexec/nura/nura-card"}) {
        std::string candidate = dir + relative;
        if (::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return std::nullopt;
}

} // namespace

int runCardList() {
    const auto helper = findCardHelper();
    if (!helper) {
        std::fprintf(stderr, "nura card list: the disk-service helper nura-card is not installed\n");
        return exitcode::kUnavailable;
    }
    std::fflush(nullptr);
    char name[] = "nura-card";
    char list[] = "list";
    char* argv[] = {name, list, nullptr};
    ::execv(helper->c_str(), argv);
    std::fprintf(stderr, "nura card list: cannot start %s: %s\n", helper->c_str(), std::strerror(errno));
    return exitcode::kUnavailable;
}
