// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the integration tests start from: the viewer with real players on the offscreen display,
// listing a folder as the open panel would.

#include "platform/MediaPlayer.h"
#include "ui/app/CustomWindow.h"
#include "ui/app/ORBAppDelegate.h"

#include <QSignalSpy>

#include <memory>

// Null when the folder's listing did not arrive.
inline std::unique_ptr<ORBAppDelegate> openRealViewer(const QString& folder) {
    initMediaPlayerLibrary(MediaPlayerOptions{.silent = true});
    auto app = std::make_unique<ORBAppDelegate>(ORBAppServices::real());
    app->launch();
    QSignalSpy reloaded(app.get(), &ORBAppDelegate::mediaListReloaded);
    app->openMediaDirectory(folder);
    return reloaded.wait(10000) ? std::move(app) : nullptr;
}
