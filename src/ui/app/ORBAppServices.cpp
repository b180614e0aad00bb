// SPDX-License-Identifier: GPL-3.0-or-later
// The services the application runs with, and the settings window's share of them.

#include "ui/app/ORBAppDelegate.h"

#include "platform/MediaPlayer.h"
#include "platform/MprisService.h"
#include "platform/ProcessCommandRunner.h"
#include "platform/Scheduler.h"
#include "platform/TileSource.h"
#include "platform/VolumeService.h"
#include "ui/driverecords/ORBSettingForFlashDataViewController.h"
#include "ui/strings/InfoPlist.h"

#include <QFileDialog>

#include <memory>

ORBAppServices ORBAppServices::real() {
    static QtScheduler scheduler;
    ORBAppServices s;
    s.makePlayer = [](VideoView* view) { return createMediaPlayer(view); };
    s.scheduler = &scheduler;
    s.readTelemetry = backgroundTelemetryReader();
    s.chooseDirectory = [](QWidget* parent) {
        return QFileDialog::getExistingDirectory(parent, L("main.open_folder"), QString(),
                                                 QFileDialog::ShowDirsOnly);
    };
    s.cardTools = &CardToolServices::real;
    static const std::unique_ptr<nura::VolumeService> volumes = nura::createVolumeService();
    static nura::ProcessCommandRunner commands;
    s.volumeService = volumes.get();
    s.commandRunner = &commands;
    s.runInBackground = nura::threadPoolExecutor();
    s.chooseSavePath = nura::saveSettingsPanel;
    s.mapTiles = TileSource::shared();
    s.snapshots = ORBSnapshotServices::real();
    s.tripExport = ORBTripExportServices::real();
    s.makeMediaKeys = &createSessionMprisService;
    return s;
}

nura::ORBSettingServices ORBAppServices::settingServices() const {
    nura::ORBSettingServices services;
    services.volumes = volumeService;
    services.commands = commandRunner;
    services.runInBackground = runInBackground;
    services.scheduler = scheduler;
    services.chooseSavePath = chooseSavePath;
    services.documentsDirectory = nura::documentsDirectory();
    services.cardTools = cardTools;
    services.flashData = &ORBFlashDataServices::real;
    if (cardTools) {
        services.confirm = cardTools().confirm;
    }
    return services;
}
