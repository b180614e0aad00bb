// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where the map's tiles come from, in this order: the tiles decoded lately (memory), the offline
// map file, the disk cache, and last the tile server. A tile missing from all of them is asked
// for once, at most four at a time, only while a view shows it: nothing is fetched ahead. A tile
// the server refused is not asked for again until the settings change; one that did not come (no
// network, no answer within 10 s) is asked for again at the earliest two minutes later.
// Used on the UI thread; the offline map and the disk cache are read and written on the tile
// store's thread (a tile being read there is drawn as missing until it comes), the network
// transfers run in Qt's network thread.

#include "core/map/WebMercator.h"
#include "platform/TileDiskCache.h"
#include "platform/TileStore.h"

#include <QCache>
#include <QHash>
#include <QImage>
#include <QObject>
#include <QPixmap>
#include <QSet>
#include <QString>

#include <deque>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;

struct TileSourceOptions {
    // {z}/{x}/{y} (and optionally {s}); empty fetches nothing.
    QString urlTemplate;
    QString cacheFolder;
    qint64 cacheLimitBytes = TileDiskCache::kDefaultLimitBytes;
    // An MBTiles file whose tiles come before the network's; empty for none.
    QString offlineFile;
    bool offlineOnly = false;
    QString userAgent;
    int transferTimeoutMs = 10000;
    // Changes made from the map's menu are kept as the user's preferences (the program's own source).
    bool savePreferences = false;

    static QString defaultUrlTemplate();
    static QString defaultCacheFolder();
    static QString defaultUserAgent();
    // From the user's preferences (QSettings keys under "map/").
    static TileSourceOptions fromPreferences();
    void saveAsPreferences() const;
};

class TileSource : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxTransfers = 4;
    static constexpr qint64 kRetryAfterMs = 120000;

    explicit TileSource(TileSourceOptions options, QObject* parent = nullptr);
    ~TileSource() override;

    // The one source of the program's map views, made from the preferences on first use.
    static std::shared_ptr<TileSource> shared();

    // New settings: forgets what was decoded and what failed, reopens the offline map. Returns the
    // reason when the offline map cannot be used (the online tiles are still drawn then).
    QString setOptions(const TileSourceOptions& options);
    const TileSourceOptions& options() const { return m_options; }
    bool hasOfflineMap() const { return m_hasOffline; }

    // Called before a view asks for the tiles it paints: requests still waiting for a free transfer
    // are dropped, and only the tiles asked for after this call are fetched.
    void beginView();
    // The tile when it is at hand; otherwise null, and (for `fetch`) the server is asked for it.
    QPixmap tile(const nura::map::TileKey& key, bool fetch = true);

    // Tiles being read from this machine, and transfers running or waiting.
    int busy() const { return static_cast<int>(m_loading.size() + m_waiting.size()) + m_running; }
    // Whether tiles can come from anywhere at all.
    bool canHaveTiles() const;
    int requestsMade() const { return m_requestsMade; }
    TileStore& store() { return m_store; }

signals:
    // A tile has been read or fetched (or a fetch ended without one): views repaint.
    void tilesChanged();

private:
    static quint64 id(const nura::map::TileKey& key);
    bool online() const;
    void startTransfers();
    void finished(QNetworkReply* reply, nura::map::TileKey key);
    void loaded(quint64 generation, nura::map::TileKey key, const TileStore::Found& found);
    void fetchLater(const nura::map::TileKey& key);
    QPixmap remember(const nura::map::TileKey& key, QPixmap pixmap);

    TileSourceOptions m_options;
    bool m_hasOffline = false;
    TileStore m_store;
    QNetworkAccessManager* m_network = nullptr;
    QCache<quint64, QPixmap> m_memory;
    QSet<quint64> m_loading;         // being read from the offline map or the disk cache
    QSet<quint64> m_absent;          // in neither the offline map nor the disk cache
    QSet<quint64> m_stale;           // drawn from the cache past its freshness, to be fetched again
    QHash<quint64, qint64> m_failed; // the server did not give it: until when not to ask again (ms)
    QSet<quint64> m_pending;         // waiting or running
    std::deque<nura::map::TileKey> m_waiting;
    int m_running = 0;
    int m_requestsMade = 0;
    quint64 m_generation = 0;
};
