// SPDX-License-Identifier: GPL-3.0-or-later
// The Drives table on a card of 15,000 recordings (7,500 pairs of 60 s, drives of 30 with ten-minute
// breaks): the time to its first rows, to every length and to every drive's distance and events, next
// to the folder scan that comes before it. Warm cache; every file is a hard link to one recording of the
// scripted drive with stand-in frames.

#include "DriveScript.h"
#include "SampleRecording.h"
#include "core/log.h"
#include "ui/views/ORBDrivesTableModel.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    nura::setLogSink([](std::string_view) {}); // the telemetry reads' diagnostic lines
    namespace fs = std::filesystem;
    const fs::path card = fs::temp_directory_path() / ("nura-bench-drives-" + std::to_string(::getpid()));
    fs::create_directories(card / "DCIM");
    const fs::path one = card / "one.bin";
    if (!samples::writeCameraMp4(one, samples::placeholderVideo(64, 48, 30, 1800),
                                 samples::DriveScript().records(0, 60))) {
        return 1;
    }
    time_t t = 1673769600; // 2023-01-15 08:00:00
    for (int i = 0; i < 7500; ++i) {
        std::tm tm{};
        gmtime_r(&t, &tm);
        char name[64];
        std::strftime(name, sizeof name, "alwa_%Y%m%d_%H%M%S", &tm);
        fs::create_hard_link(one, card / "DCIM" / (std::string(name) + "_F.MP4"));
        fs::create_hard_link(one, card / "DCIM" / (std::string(name) + "_R.MP4"));
        t += (i + 1) % 30 != 0 ? 60 : 660;
    }

    ORBMediaList::scanDirectory(card.string()); // warm
    auto start = Clock::now();
    const auto contents = ORBMediaList::scanDirectory(card.string());
    const double scanMs = msSince(start);

    ORBDrivesTableModel model;
    QEventLoop loop;
    QObject::connect(&model, &ORBDrivesTableModel::lengthsComplete, &loop, &QEventLoop::quit);
    start = Clock::now();
    model.setContents(contents);
    const double firstRowsMs = msSince(start);
    const int firstRows = model.rowCount();
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    loop.exec();
    const double fullMs = msSince(start);
    QEventLoop summaries;
    QObject::connect(&model, &ORBDrivesTableModel::summariesComplete, &summaries, &QEventLoop::quit);
    QTimer::singleShot(600000, &summaries, &QEventLoop::quit);
    summaries.exec();
    const double summariesMs = msSince(start);
    std::printf("scan of %zu files: %.1f ms\n", contents.medias.size(), scanMs);
    std::printf("first rows (%d): %.1f ms (%.2fx the scan)\n", firstRows, firstRowsMs, firstRowsMs / scanMs);
    std::printf("full table (%d rows, every header read: %s): %.1f ms (%.2fx the scan)\n", model.rowCount(),
                model.lengthsRead() ? "yes" : "no", fullMs, fullMs / scanMs);
    const nura::DriveSummary* last = model.summaryAt(model.rowCount() - 1);
    std::printf(
        "distance and events of every drive (the last: %.0f m, %zu events): %.1f ms (%.2fx the scan)\n",
        last ? last->distanceMetres : -1.0, last ? last->eventMarkers : size_t{0}, summariesMs,
        summariesMs / scanMs);
    fs::remove_all(card);
    return model.lengthsRead() ? 0 : 1;
}
