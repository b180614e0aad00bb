// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/TileSource.h"

#include "platform/MBTilesFile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>

#include <limits>
#include <utility>

#ifndef NURA_VERSION
#define NURA_VERSION "0"
#endif

namespace {

constexpr const char* kUrlKey = "map/tileUrlTemplate";
constexpr const char* kOfflineFileKey = "map/offlineFile";
constexpr const char* kOfflineOnlyKey = "map/offlineOnly";
constexpr qint64 kMaxTileBytes = 4 * 1024 * 1024;

// Decoded tiles kept in memory, in kilobytes: about 190 tiles of 256 x 256, enough for a full-screen
// map and the zoom levels around it.
constexpr int kMemoryKiB = 48 * 1024;

// The server's expiry: max-age of Cache-Control, else the Expires header.
std::optional<QDateTime> serverExpiry(QNetworkReply* reply, const QDateTime& now) {
    const QString control = QString::fromLatin1(reply->rawHeader("Cache-Control"));
    static const QRegularExpression maxAge(QStringLiteral("max-age\\s*=\\s*(\\d+)"));
    if (const auto match = maxAge.match(control); match.hasMatch()) {
        return now.addSecs(match.captured(1).toLongLong());
    }
    // An HTTP date ("Wed, 21 Oct 2026 07:28:00 GMT") is an RFC 2822 date.
    if (const QDateTime expires = QDateTime::fromString(
            QString::fromLatin1(reply->rawHeader("Expires")).trimmed(), Qt::RFC2822Date);
        expires.isValid()) {
        return expires;
    }
    return std::nullopt;
}

} // namespace

QString TileSourceOptions::defaultUrlTemplate() {
    return QStringLiteral("https://tile.openstreetmap.org/{z}/{x}/{y}.png");
}

QString TileSourceOptions::defaultCacheFolder() {
    // $XDG_CACHE_HOME (or ~/.cache), whatever the application's own name is.
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/nura-viewer/tiles");
}

QString TileSourceOptions::defaultUserAgent() {
    return QStringLiteral("nura-viewer/%1 (dash camera card viewer)").arg(QLatin1String(NURA_VERSION));
}

TileSourceOptions TileSourceOptions::fromPreferences() {
    const QSettings settings;
    TileSourceOptions o;
    o.urlTemplate = settings.value(QLatin1String(kUrlKey), defaultUrlTemplate()).toString().trimmed();
    o.offlineFile = settings.value(QLatin1String(kOfflineFileKey)).toString();
    o.offlineOnly = settings.value(QLatin1String(kOfflineOnlyKey), false).toBool();
    o.cacheFolder = defaultCacheFolder();
    o.userAgent = defaultUserAgent();
    o.savePreferences = true;
    return o;
}

void TileSourceOptions::saveAsPreferences() const {
    QSettings settings;
    settings.setValue(QLatin1String(kUrlKey), urlTemplate);
    settings.setValue(QLatin1String(kOfflineFileKey), offlineFile);
    settings.setValue(QLatin1String(kOfflineOnlyKey), offlineOnly);
}

TileSource::TileSource(TileSourceOptions options, QObject* parent) : QObject(parent), m_memory(kMemoryKiB) {
    setOptions(options);
}

TileSource::~TileSource() = default;

std::shared_ptr<TileSource> TileSource::shared() {
    static std::weak_ptr<TileSource> shared;
    if (auto existing = shared.lock()) {
        return existing;
    }
    auto made = std::make_shared<TileSource>(TileSourceOptions::fromPreferences());
    shared = made;
    return made;
}

QString TileSource::setOptions(const TileSourceOptions& options) {
    m_options = options;
    m_memory.clear();
    m_loading.clear();
    m_absent.clear();
    m_stale.clear();
    m_failed.clear();
    m_waiting.clear();
    m_pending.clear();
    ++m_generation; // reads and replies of the old settings are ignored
    QString error;
    // Checked here, so that a file that cannot serve is refused while the user is choosing it; the
    // store opens its own connection on its thread.
    m_hasOffline = !options.offlineFile.isEmpty() && MBTilesFile::open(options.offlineFile, &error);
    m_store.configure(m_hasOffline ? options.offlineFile : QString(), options.cacheFolder,
                      options.cacheLimitBytes);
    emit tilesChanged();
    return error;
}

bool TileSource::online() const {
    return !m_options.offlineOnly && !m_options.urlTemplate.isEmpty();
}

bool TileSource::canHaveTiles() const {
    return m_hasOffline || online() || !m_options.cacheFolder.isEmpty();
}

quint64 TileSource::id(const nura::map::TileKey& key) {
    return (quint64(key.z) << 48) | (quint64(key.x) << 24) | quint64(key.y);
}

void TileSource::beginView() {
    for (const auto& key : m_waiting) {
        m_pending.remove(id(key));
    }
    m_waiting.clear();
}

QPixmap TileSource::remember(const nura::map::TileKey& key, QPixmap pixmap) {
    if (pixmap.isNull()) {
        return {};
    }
    const int cost = std::max(1, static_cast<int>(pixmap.width() * pixmap.height() * 4 / 1024));
    m_memory.insert(id(key), new QPixmap(pixmap), cost);
    return pixmap;
}

QPixmap TileSource::tile(const nura::map::TileKey& key, bool fetch) {
    if (!nura::map::isValidTile(key)) {
        return {};
    }
    const quint64 k = id(key);
    if (const QPixmap* kept = m_memory.object(k)) {
        // A stale tile is drawn while it is fetched again.
        if (fetch && m_stale.contains(k)) {
            fetchLater(key);
        }
        return *kept;
    }
    if (m_loading.contains(k)) {
        return {};
    }
    if (!m_absent.contains(k)) {
        if (m_hasOffline || !m_options.cacheFolder.isEmpty()) {
            m_loading.insert(k);
            m_store.load(m_generation, key,
                         [this](quint64 generation, nura::map::TileKey key, const TileStore::Found& found) {
                             loaded(generation, key, found);
                         });
            return {};
        }
        m_absent.insert(k);
    }
    if (fetch) {
        fetchLater(key);
    }
    return {};
}

void TileSource::loaded(quint64 generation, nura::map::TileKey key, const TileStore::Found& found) {
    if (generation != m_generation) {
        return;
    }
    const quint64 k = id(key);
    m_loading.remove(k);
    if (remember(key, QPixmap::fromImage(found.image)).isNull()) {
        m_absent.insert(k);
    } else if (!found.fresh) {
        m_stale.insert(k);
    }
    // Views ask again: for the tile now in memory, or (when it was in neither) from the server.
    emit tilesChanged();
}

void TileSource::fetchLater(const nura::map::TileKey& key) {
    const quint64 k = id(key);
    if (online() && !m_pending.contains(k) && m_failed.value(k, 0) <= QDateTime::currentMSecsSinceEpoch()) {
        m_pending.insert(k);
        m_waiting.push_back(key);
        startTransfers();
    }
}

void TileSource::startTransfers() {
    if (!m_network) {
        m_network = new QNetworkAccessManager(this);
    }
    while (m_running < kMaxTransfers && !m_waiting.empty()) {
        const nura::map::TileKey key = m_waiting.front();
        m_waiting.pop_front();
        QNetworkRequest request(
            QUrl(QString::fromStdString(nura::map::tileUrl(m_options.urlTemplate.toStdString(), key))));
        request.setHeader(QNetworkRequest::UserAgentHeader, m_options.userAgent);
        request.setTransferTimeout(m_options.transferTimeoutMs);
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                             QNetworkRequest::NoLessSafeRedirectPolicy);
        QNetworkReply* reply = m_network->get(request);
        ++m_running;
        ++m_requestsMade;
        const quint64 generation = m_generation;
        connect(reply, &QNetworkReply::finished, this, [this, reply, key, generation] {
            reply->deleteLater();
            --m_running;
            if (generation == m_generation) {
                finished(reply, key);
            }
            startTransfers();
        });
    }
}

void TileSource::finished(QNetworkReply* reply, nura::map::TileKey key) {
    const quint64 k = id(key);
    m_pending.remove(k);
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    // A tile is tens of kilobytes; anything past a few megabytes is not one.
    const bool fits = reply->bytesAvailable() <= kMaxTileBytes;
    const QByteArray bytes =
        reply->error() == QNetworkReply::NoError && status == 200 && fits ? reply->readAll() : QByteArray();
    QPixmap pixmap;
    if (bytes.isEmpty() || !pixmap.loadFromData(bytes) || remember(key, pixmap).isNull()) {
        // Refused or not a picture: not asked again; not sent: asked again later. A stale copy, if
        // any, stays drawn.
        const bool answered = status != 0 || !bytes.isEmpty();
        m_failed.insert(k, answered ? std::numeric_limits<qint64>::max()
                                    : QDateTime::currentMSecsSinceEpoch() + kRetryAfterMs);
        emit tilesChanged();
        return;
    }
    m_absent.remove(k);
    m_stale.remove(k);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    m_store.store(key, bytes, TileDiskCache::freshUntil(now, serverExpiry(reply, now)));
    emit tilesChanged();
}
