// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/VlcLibrary.h"

#include "core/log.h"
#include "platform/MediaPlayer.h"

#include <QProcess>
#include <QtGlobal>

#include <vlc/vlc.h>

#include <mutex>
#include <vector>

namespace {

std::mutex g_mutex;
std::shared_ptr<VlcLibrary> g_library;
bool g_tried = false;

} // namespace

VlcLibrary::~VlcLibrary() {
    libvlc_release(m_instance);
}

QStringList VlcLibrary::arguments(const MediaPlayerOptions& options) {
    QStringList args{QStringLiteral("--no-video-title-show"), QStringLiteral("--quiet")};
    if (options.silent) {
        args << QStringLiteral("--aout=adummy");
    }
    const QString extra = qEnvironmentVariable("NURA_VLC_ARGS");
    if (!extra.trimmed().isEmpty()) {
        args << QProcess::splitCommand(extra);
    }
    return args;
}

std::shared_ptr<VlcLibrary> VlcLibrary::create(const MediaPlayerOptions& options) {
    const QStringList args = arguments(options);
    std::vector<QByteArray> bytes;
    std::vector<const char*> argv;
    bytes.reserve(static_cast<size_t>(args.size()));
    for (const QString& arg : args) {
        bytes.push_back(arg.toLocal8Bit());
        argv.push_back(bytes.back().constData());
    }
    libvlc_instance_t* instance = libvlc_new(static_cast<int>(argv.size()), argv.data());
    if (instance == nullptr) {
        const char* why = libvlc_errmsg();
        nura::logf("media engine failed to start: %s", why != nullptr ? why : "unknown error");
        return {};
    }
    libvlc_set_user_agent(instance, "nura-viewer", "nura-viewer");
    return std::shared_ptr<VlcLibrary>(new VlcLibrary(instance));
}

void VlcLibrary::init(const MediaPlayerOptions& options) {
    std::lock_guard lock(g_mutex);
    if (!g_tried) {
        g_tried = true;
        g_library = create(options);
    }
}

std::shared_ptr<VlcLibrary> VlcLibrary::shared() {
    init(MediaPlayerOptions{});
    std::lock_guard lock(g_mutex);
    return g_library;
}
