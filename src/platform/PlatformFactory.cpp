// SPDX-License-Identifier: GPL-3.0-or-later
// The one place that names the concrete platform implementations.

#include "platform/MediaPlayer.h"
#include "platform/VlcLibrary.h"
#include "platform/VlcMediaPlayer.h"

std::unique_ptr<MediaPlayer> createMediaPlayer(VideoView* view, QObject* parent) {
    return std::make_unique<VlcMediaPlayer>(VlcLibrary::shared(), view, parent);
}

void initMediaPlayerLibrary(const MediaPlayerOptions& options) {
    VlcLibrary::init(options);
}
