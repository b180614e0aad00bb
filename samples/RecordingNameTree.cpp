// SPDX-License-Identifier: GPL-3.0-or-later
#include "RecordingNameTree.h"

#include <cstdio>
#include <fstream>

namespace samples {

std::string recordingBaseName(size_t i, bool rear) {
    static const char* const prefixes[] = {"alwa_", "motion_", "event_"};
    const size_t second = i / 2 * 60; // one recording a minute, front and rear share it
    const int day = 15 + static_cast<int>(second / 86400 % 14);
    const int hour = static_cast<int>(second / 3600 % 24);
    const int minute = static_cast<int>(second / 60 % 60);
    char name[64];
    std::snprintf(name, sizeof name, "%s202301%02d_%02d%02d%02d_%c", prefixes[(i / 2) % 3], day, hour, minute,
                  static_cast<int>(second % 60), rear ? 'R' : 'F');
    return name;
}

std::vector<std::filesystem::path> writeRecordingNameTree(const std::filesystem::path& root, size_t count,
                                                          size_t perFolder) {
    std::vector<std::filesystem::path> written;
    written.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const size_t folder = i / perFolder;
        const auto dir = root / std::string("DCIM").append(std::to_string(folder % 4)) /
                         std::string("F").append(std::to_string(folder));
        if (i % perFolder == 0) {
            std::filesystem::create_directories(dir);
        }
        auto path = dir / (recordingBaseName(i, i % 2 == 1) + ".MP4");
        std::ofstream(path).flush();
        written.push_back(std::move(path));
    }
    return written;
}

} // namespace samples
