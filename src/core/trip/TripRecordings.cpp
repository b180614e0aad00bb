// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/trip/TripRecordings.h"

namespace nura {

std::vector<ORBMediaList::MediaPtr> tripRecordings(const std::vector<ORBMediaList::MediaPtr>& medias,
                                                   const ORBMediaList::PairMap& pairs) {
    std::vector<ORBMediaList::MediaPtr> chosen;
    for (const auto& m : medias) {
        if (m->isFrontMedia()) {
            chosen.push_back(m);
        } else if (m->isRearMedia()) {
            const auto pair = pairs.find(m->mediaGroupName());
            if (pair == pairs.end() || !pair->second.frontMedia) {
                chosen.push_back(m);
            }
        }
    }
    return chosen;
}

} // namespace nura
