// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The map tiles kept on this machine, the offline map file and the disk cache, read and written on
// a thread of their own: an offline map on a slow stick, a cache folder on a network home or the
// first count of a full cache never hold up the window's painting. Jobs run in the order given;
// each answer carries the settings' generation it was asked under, so the caller drops answers of
// older settings.

#include "core/map/WebMercator.h"

#include <QByteArray>
#include <QDateTime>
#include <QImage>
#include <QObject>
#include <QString>

#include <functional>

class QThread;
class TileStoreWorker;

class TileStore : public QObject {
    Q_OBJECT
public:
    explicit TileStore(QObject* parent = nullptr);
    // Waits for the job under way only; the jobs queued behind it are dropped.
    ~TileStore() override;

    // New settings from now on: the offline map (empty for none) and the disk cache (empty folder
    // keeps nothing).
    void configure(const QString& offlineFile, const QString& cacheFolder, qint64 cacheLimitBytes);

    struct Found {
        QImage image;      // null when neither the offline map nor the cache holds a picture of the tile
        bool fresh = true; // false for a cached tile past its freshness
    };
    // Looks for the tile, the offline map first; `done` runs on this object's thread.
    void load(quint64 generation, const nura::map::TileKey& key,
              std::function<void(quint64 generation, nura::map::TileKey key, Found found)> done);
    // Keeps a fetched tile in the disk cache (evicting the least recently used past the limit).
    void store(const nura::map::TileKey& key, const QByteArray& bytes, const QDateTime& freshUntil);

    // Runs `job` on the store's thread after the jobs given so far (tests hold the store with it).
    void post(std::function<void()> job);

private:
    QThread* m_thread = nullptr;
    TileStoreWorker* m_worker = nullptr;
};
