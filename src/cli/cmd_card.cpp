// SPDX-License-Identifier: GPL-3.0-or-later
// nura card list: the mounted USB volumes, the camera's card marked with "*". The disk service is asked by
// the helper program nura-card, which carries the D-Bus client; this process becomes that program.

#include "cli/commands.h"

#include "core/util/HelperProgram.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <unistd.h>

namespace {

std::optional<std::string> findCardHelper() {
    return nura::findHelperProgram("nura-card");
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
