// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/TileStore.h"

#include "platform/MBTilesFile.h"
#include "platform/TileDiskCache.h"

#include <QThread>

#include <atomic>
#include <memory>
#include <utility>

// Lives on the store's thread: the SQLite connection of the offline map must be used only by the
// thread that opened it.
class TileStoreWorker : public QObject {
public:
    std::atomic<bool> stopping{false};

    void configure(const QString& offlineFile, const QString& cacheFolder, qint64 limit) {
        m_offline.reset();
        if (!offlineFile.isEmpty()) {
            // Checked already by whoever chose it; a file that went away since gives no tiles.
            m_offline = MBTilesFile::open(offlineFile, nullptr);
        }
        m_disk = TileDiskCache(cacheFolder, limit);
    }

    TileStore::Found load(const nura::map::TileKey& key) {
        TileStore::Found found;
        if (m_offline) {
            if (const QByteArray bytes = m_offline->tile(key); !bytes.isEmpty()) {
                found.image.loadFromData(bytes);
            }
        }
        if (found.image.isNull()) {
            if (const auto cached = m_disk.get(key)) {
                found.image.loadFromData(cached->bytes);
                found.fresh = cached->fresh;
            }
        }
        return found;
    }

    void store(const nura::map::TileKey& key, const QByteArray& bytes, const QDateTime& freshUntil) {
        m_disk.put(key, bytes, freshUntil);
    }

    void close() { m_offline.reset(); }

private:
    std::unique_ptr<MBTilesFile> m_offline;
    TileDiskCache m_disk{QString()};
};

TileStore::TileStore(QObject* parent)
    : QObject(parent), m_thread(new QThread), m_worker(new TileStoreWorker) {
    m_thread->setObjectName(QStringLiteral("tile store"));
    m_worker->moveToThread(m_thread);
    m_thread->start();
}

TileStore::~TileStore() {
    m_worker->stopping = true;
    TileStoreWorker* worker = m_worker;
    QMetaObject::invokeMethod(
        worker, [worker] { worker->close(); }, Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
    delete m_worker;
    delete m_thread;
}

void TileStore::configure(const QString& offlineFile, const QString& cacheFolder, qint64 cacheLimitBytes) {
    TileStoreWorker* worker = m_worker;
    QMetaObject::invokeMethod(
        worker,
        [worker, offlineFile, cacheFolder, cacheLimitBytes] {
            if (!worker->stopping) {
                worker->configure(offlineFile, cacheFolder, cacheLimitBytes);
            }
        },
        Qt::QueuedConnection);
}

void TileStore::load(quint64 generation, const nura::map::TileKey& key,
                     std::function<void(quint64, nura::map::TileKey, Found)> done) {
    TileStoreWorker* worker = m_worker;
    // The store outlives every job that runs (its destructor waits for the one under way), and an
    // answer still queued to it when it goes is dropped with it.
    TileStore* self = this;
    QMetaObject::invokeMethod(
        worker,
        [worker, self, generation, key, done = std::move(done)] {
            if (worker->stopping) {
                return;
            }
            QMetaObject::invokeMethod(
                self, [generation, key, done, found = worker->load(key)] { done(generation, key, found); },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void TileStore::store(const nura::map::TileKey& key, const QByteArray& bytes, const QDateTime& freshUntil) {
    TileStoreWorker* worker = m_worker;
    QMetaObject::invokeMethod(
        worker,
        [worker, key, bytes, freshUntil] {
            if (!worker->stopping) {
                worker->store(key, bytes, freshUntil);
            }
        },
        Qt::QueuedConnection);
}

void TileStore::post(std::function<void()> job) {
    QMetaObject::invokeMethod(m_worker, std::move(job), Qt::QueuedConnection);
}
