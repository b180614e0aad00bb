// nura card list: the mounted USB volumes, the camera's card marked with "*".

#include "cli/commands.h"

#include <cstdio>

#if NURA_HAVE_PLATFORM
#include "core/card/CameraCard.h"
#include "core/log.h"
#include "platform/VolumeService.h"

#include <QCoreApplication>

namespace {

int listCards() {
    // The D-Bus client wants an application object; it never runs an event loop here.
    int argc = 1;
    char name[] = "nura";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);

    // The service's diagnostic lines are for the viewer's log, not for this listing.
    const nura::LogSink previous = nura::setLogSink([](std::string_view) {});
    const auto disks = nura::createVolumeService()->mountedUSBDisks();
    nura::setLogSink(previous);

    if (disks.empty()) {
        std::fprintf(stderr, "nura card list: no USB volume is mounted\n");
        return 0;
    }
    const auto card = nura::findCameraCardDisk(disks);
    for (const auto& disk : disks) {
        const bool chosen = card && disk.deviceFilePath() == card->deviceFilePath();
        std::printf("%c %s  %s  %s%s\n", chosen ? '*' : ' ', disk.displayString().c_str(),
                    disk.mountedPath().c_str(), disk.deviceFilePath().c_str(),
                    disk.writable() ? "" : "  (write-protected)");
    }
    return 0;
}

} // namespace
#endif

int runCard(const CliArgs& args) {
    if (args.size() != 1 || args[0] != "list") {
        std::fprintf(stderr, "usage: nura card list\n");
        return 2;
    }
#if NURA_HAVE_PLATFORM
    return listCards();
#else
    std::fprintf(stderr, "nura card list: this build has no volume service\n");
    return 2;
#endif
}
