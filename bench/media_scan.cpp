// SPDX-License-Identifier: GPL-3.0-or-later
// Scan + parse + sort + pair of a 15,000-recording card, next to `find DIR -iname '*.mp4' | sort`
// on the same tree. Both run warm, several times; the medians are compared.

#include "RecordingNameTree.h"
#include "core/media/ORBMediaList.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

template <typename F> double timeMs(F&& f) {
    const auto start = Clock::now();
    f();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

size_t runFindSort(const std::string& dir) {
    const std::string command = "find '" + dir + "' -iname '*.mp4' | sort";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        return 0;
    }
    size_t lines = 0;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, pipe)) {
        ++lines;
    }
    ::pclose(pipe);
    return lines;
}

} // namespace

int main(int argc, char** argv) {
    const size_t count = argc > 1 ? std::stoul(argv[1]) : 15000;
    const int rounds = 7;
    char pattern[] = "/tmp/nura-bench-XXXXXX";
    const std::string root = ::mkdtemp(pattern);
    samples::writeRecordingNameTree(root, count, 250);

    std::vector<double> ours, baseline;
    size_t listed = 0, found = 0;
    runFindSort(root); // warm the directory cache
    for (int i = 0; i < rounds; ++i) {
        baseline.push_back(timeMs([&] { found = runFindSort(root); }));
        ours.push_back(timeMs([&] { listed = ORBMediaList::scanDirectory(root).medias.size(); }));
    }
    std::filesystem::remove_all(root);

    const double a = median(ours), b = median(baseline);
    std::printf("media scan of %zu recordings (%d rounds, medians, warm cache)\n", count, rounds);
    std::printf("  scan+parse+sort+pair : %8.2f ms  (%zu listed)\n", a, listed);
    std::printf("  find -iname | sort   : %8.2f ms  (%zu found)\n", b, found);
    std::printf("  ratio                : %8.2f  (target <= 1.5)\n", a / b);
    return 0;
}
