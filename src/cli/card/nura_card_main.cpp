// SPDX-License-Identifier: GPL-3.0-or-later
// nura-card: the work of `nura card list`, the mounted USB volumes with the camera's card marked "*".
// A program of its own so that `nura` itself links no Qt: loading Qt's libraries costs every other
// subcommand more time than its work does.

#include "cli/commands.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "core/card/CameraCard.h"
#include "core/card/VolumeDescription.h"
#include "core/log.h"
#include "platform/VolumeService.h"

#include <QCoreApplication>

namespace {

int listCardsWith(QCoreApplication&) {
    // The service's diagnostic lines are for the viewer's log, not for this listing.
    const nura::LogSink previous = nura::setLogSink([](std::string_view) {});
    const auto volumes = nura::createVolumeService()->queryMountedVolumes();
    nura::setLogSink(previous);

    // Without the disk service nothing can be said about what is mounted: saying "none" would mislead.
    if (!volumes) {
        std::fprintf(stderr,
                     "nura card list: the disk service (UDisks2 on the system bus) is not available\n");
        return exitcode::kUnavailable;
    }
    const auto disks = nura::usbDiskEntities(*volumes);
    if (disks.empty()) {
        std::fprintf(stderr, "nura card list: no USB volume is mounted\n");
        return exitcode::kDone;
    }
    const auto card = nura::findCameraCardDisk(disks);
    for (const auto& disk : disks) {
        const bool chosen = card && disk.deviceFilePath() == card->deviceFilePath();
        std::printf("%c %s  %s  %s%s\n", chosen ? '*' : ' ', disk.displayString().c_str(),
                    disk.mountedPath().c_str(), disk.deviceFilePath().c_str(),
                    disk.writable() ? "" : "  (write-protected)");
    }
    return exitcode::kDone;
}

// Ends the process without tearing down Qt: its D-Bus thread may still be decoding a late message from the
// bus while the type registry is destroyed, which prints "Trying to construct an instance of an invalid
// type" on about half the runs. Nothing here holds a file open for writing; standard streams are flushed.
[[noreturn]] void exitNow(int status) {
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "nura card list: cannot write the list\n");
        status = exitcode::kCannotAccess;
    }
    std::fflush(stderr);
    std::_Exit(status);
}

[[noreturn]] void listCards() {
    // The D-Bus client wants an application object; it never runs an event loop here.
    int argc = 1;
    char name[] = "nura";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    exitNow(listCardsWith(app));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 || std::string_view(argv[1]) != "list") {
        std::fprintf(stderr, "usage: nura-card list (started by `nura card list`)\n");
        return exitcode::kUsage;
    }
    listCards();
}
