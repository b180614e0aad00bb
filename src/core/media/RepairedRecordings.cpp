// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/media/RepairedRecordings.h"

#include <algorithm>
#include <string>
#include <unordered_set>

namespace orb_media {

void preferRepairedRecordings(std::vector<std::shared_ptr<const ORBMedia>>& found) {
    const std::string suffix = std::string("/") + kRepairedFolder;
    std::unordered_set<std::string> replaced;
    for (const auto& m : found) {
        if (m->dir.size() > suffix.size() && m->dir.ends_with(suffix)) {
            replaced.insert(m->dir.substr(0, m->dir.size() - suffix.size()) + "/" +
                            std::string(lastComponent(m->path)));
        }
    }
    if (replaced.empty()) {
        return;
    }
    std::erase_if(found,
                  [&](const std::shared_ptr<const ORBMedia>& m) { return replaced.contains(m->path); });
}

} // namespace orb_media
