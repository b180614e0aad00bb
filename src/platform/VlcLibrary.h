// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one engine instance of the process. Players hold a shared reference, so the instance
// outlives every player however the application tears down.

#include <QStringList>

#include <memory>

struct libvlc_instance_t;
struct MediaPlayerOptions;

class VlcLibrary {
public:
    ~VlcLibrary();
    VlcLibrary(const VlcLibrary&) = delete;
    VlcLibrary& operator=(const VlcLibrary&) = delete;

    // Creates the instance with these options unless it already exists.
    static void init(const MediaPlayerOptions& options);
    // The instance, created with default options on first use; null when the engine cannot start.
    static std::shared_ptr<VlcLibrary> shared();

    libvlc_instance_t* handle() const { return m_instance; }

    // Engine arguments for these options, extra ones from NURA_VLC_ARGS last.
    static QStringList arguments(const MediaPlayerOptions& options);

private:
    explicit VlcLibrary(libvlc_instance_t* instance) : m_instance(instance) {}
    static std::shared_ptr<VlcLibrary> create(const MediaPlayerOptions& options);

    libvlc_instance_t* m_instance;
};
