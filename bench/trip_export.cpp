// SPDX-License-Identifier: GPL-3.0-or-later
// `nura trip` over a card of 1,000 three-minute recordings, run as a user runs it (a whole process, output
// to /dev/null, warm cache), next to the sum of the same recordings' telemetry reads measured one by one in
// this process. The card is written once into the build folder and reused by later runs.

#include "DriveScript.h"
#include "SampleRecording.h"
#include "core/log.h"
#include "core/telemetry/ORBBlackBoxData.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr int kRecordings = 1000;
constexpr int kSeconds = 180;
constexpr int kRounds = 5;

// Back-to-back recordings of one long drive, each with its full telemetry track and chunk table and stand-in
// video frames of a few bytes.
bool writeCard(const fs::path& card) {
    const fs::path stamp = card / ".complete-v1";
    if (fs::exists(stamp)) {
        return true;
    }
    std::error_code ec;
    fs::remove_all(card, ec);
    fs::create_directories(card / "DCIM", ec);
    const auto video = samples::placeholderVideo(1920, 1080, 30, kSeconds * 30);
    const samples::UtcTime first{2023, 1, 15, 8, 30, 0};
    for (int i = 0; i < kRecordings; ++i) {
        const auto start = samples::DriveScript::addSeconds(first, int64_t{i} * kSeconds);
        const auto records = samples::DriveScript(start).records(0, kSeconds);
        char name[64];
        std::snprintf(name, sizeof name, "alwa_%04d%02d%02d_%02d%02d%02d_F.MP4", start.year, start.month,
                      start.day, start.hour, start.minute, start.second);
        if (!samples::writeFile(card / "DCIM" / name, samples::buildCameraMp4(video, records).bytes)) {
            return false;
        }
    }
    return samples::writeFile(stamp, {});
}

// Wall time of `nura trip DIR` with its output thrown away, or a negative value when it fails.
double commandMs(const std::vector<std::string>& argv, const std::string& threads) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::string_view(*e).rfind("NURA_THREADS=", 0) != 0) {
            env.emplace_back(*e);
        }
    }
    if (!threads.empty()) {
        env.push_back("NURA_THREADS=" + threads);
    }
    std::vector<char*> args, envp;
    for (const auto& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    for (auto& e : env) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    const auto t0 = Clock::now();
    pid_t pid = 0;
    int status = 0;
    const bool ok = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data()) == 0 &&
                    ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    const auto t1 = Clock::now();
    posix_spawn_file_actions_destroy(&actions);
    return ok ? std::chrono::duration<double, std::milli>(t1 - t0).count() : -1.0;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main() {
    const fs::path card = fs::path(NURA_BENCH_CACHE) / "trip-card";
    if (!writeCard(card)) {
        std::fprintf(stderr, "cannot write the bench card in %s\n", card.c_str());
        return 1;
    }
    std::vector<std::string> paths;
    for (const auto& entry : fs::directory_iterator(card / "DCIM")) {
        paths.push_back(entry.path().string());
    }
    std::sort(paths.begin(), paths.end());

    nura::setLogSink([](std::string_view) {});
    nura::ORBBlackBoxData data;
    const auto readAll = [&] {
        double sum = 0;
        size_t states = 0;
        for (const auto& p : paths) {
            const auto t0 = Clock::now();
            const bool ok = data.ExtractStreamInformation(p);
            sum += std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
            states += ok ? data.nmeas().size() : 0;
        }
        return std::pair(sum, states);
    };
    const std::vector<std::string> command{NURA_BINARY, "trip", card.string()};
    readAll(); // warms the cache
    commandMs(command, "1");
    std::vector<double> sums, one, two, all;
    size_t states = 0;
    for (int round = 0; round < kRounds; ++round) {
        const auto [sum, n] = readAll();
        sums.push_back(sum);
        states = n;
        one.push_back(commandMs(command, "1"));
        two.push_back(commandMs(command, "2"));
        all.push_back(commandMs(command, ""));
    }
    nura::setLogSink({});
    if (std::min({*std::min_element(one.begin(), one.end()), *std::min_element(two.begin(), two.end()),
                  *std::min_element(all.begin(), all.end())}) < 0) {
        std::fprintf(stderr, "nura trip failed\n");
        return 1;
    }

    const double s = median(sums), o = median(one), t = median(two), a = median(all);
    std::printf(
        "trip export of %d recordings of %d s (%zu GPS states), medians of %d warm rounds, %u cores\n",
        kRecordings, kSeconds, states, kRounds, std::max(1u, std::thread::hardware_concurrency()));
    std::printf("  sum of telemetry reads, one by one in-process: %8.1f ms\n", s);
    std::printf(
        "  nura trip, 1 worker  (NURA_THREADS=1):         %8.1f ms  ratio %.2f (target: at most 1.2)\n", o,
        o / s);
    std::printf("  nura trip, 2 workers (NURA_THREADS=2):         %8.1f ms  ratio %.2f (target: below 1)\n",
                t, t / s);
    std::printf("  nura trip, one worker per core:                %8.1f ms  ratio %.2f\n", a, a / s);
    // Times depend on the machine's load; the verdict is printed, not enforced.
    std::printf("  %s\n", o / s <= 1.2 && t < s ? "within target" : "OUTSIDE TARGET");
    return 0;
}
