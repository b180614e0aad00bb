// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Map tiles kept on disk between runs ($XDG_CACHE_HOME/nura-viewer/tiles): one file per tile,
// z/x/y.tile, holding the bytes the server sent. A file's modification time is the time until which
// it is fresh; its access time, set on every use, orders eviction, oldest first, once the folder
// grows past its limit.

#include "core/map/WebMercator.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

class TileDiskCache {
public:
    static constexpr qint64 kDefaultLimitBytes = 200LL * 1024 * 1024;
    // The tile service asks that tiles be kept at least this long.
    static constexpr qint64 kMinFreshSeconds = 7LL * 24 * 3600;

    // An empty folder keeps nothing.
    explicit TileDiskCache(QString folder, qint64 limitBytes = kDefaultLimitBytes);

    struct Entry {
        QByteArray bytes;
        bool fresh = false;
    };
    std::optional<Entry> get(const nura::map::TileKey& key) const;
    // Written whole (a partly written file is never read as a tile), then the oldest used tiles go
    // while the folder is past its limit. False when the folder cannot be written.
    bool put(const nura::map::TileKey& key, const QByteArray& bytes, const QDateTime& freshUntil);

    // The later of the server's expiry and the minimum keeping time.
    static QDateTime freshUntil(const QDateTime& now, const std::optional<QDateTime>& serverExpiry);

    QString folder() const { return m_folder; }
    QString pathOf(const nura::map::TileKey& key) const;
    qint64 sizeOnDisk() const;

private:
    void evict();

    QString m_folder;
    qint64 m_limit;
    mutable qint64 m_size = -1; // counted on the first write
};
