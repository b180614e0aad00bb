// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/media/MediaDirection.h"

namespace {

bool endsWithNoCase(std::string_view text, std::string_view tail) {
    if (text.size() < tail.size()) {
        return false;
    }
    const auto end = text.substr(text.size() - tail.size());
    for (size_t i = 0; i < tail.size(); ++i) {
        char a = end[i];
        char b = tail[i];
        if (a >= 'a' && a <= 'z') {
            a = static_cast<char>(a - 'a' + 'A');
        }
        if (b >= 'a' && b <= 'z') {
            b = static_cast<char>(b - 'a' + 'A');
        }
        if (a != b) {
            return false;
        }
    }
    return true;
}

} // namespace

int mediaDirectionOfPath(std::string_view path) {
    if (path.size() < 6) {
        return ORBMediaDirectionUnknown;
    }
    if (endsWithNoCase(path, "_R.MP4")) {
        return ORBMediaDirectionRear;
    }
    if (endsWithNoCase(path, "_F.MP4")) {
        return ORBMediaDirectionFront;
    }
    return ORBMediaDirectionUnknown;
}
