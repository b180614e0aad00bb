// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/util/OutputCheck.h"

#include <sys/stat.h>

namespace nura {

namespace {

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

} // namespace

std::optional<std::string> outputAmongInputs(const std::string& output,
                                             const std::vector<std::string>& inputs) {
    struct stat entry {};
    if (::lstat(output.c_str(), &entry) != 0) {
        return std::nullopt;
    }
    struct stat target {};
    const bool resolves = ::stat(output.c_str(), &target) == 0;
    for (const std::string& input : inputs) {
        struct stat in {};
        if (::stat(input.c_str(), &in) != 0) {
            continue;
        }
        if (sameFile(entry, in) || (resolves && sameFile(target, in))) {
            return input;
        }
    }
    return std::nullopt;
}

} // namespace nura
