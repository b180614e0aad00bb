// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/util/HelperProgram.h"

#include <climits>
#include <unistd.h>

namespace nura {

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

} // namespace nura
