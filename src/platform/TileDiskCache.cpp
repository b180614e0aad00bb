// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/TileDiskCache.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <utility>
#include <vector>

TileDiskCache::TileDiskCache(QString folder, qint64 limitBytes)
    : m_folder(std::move(folder)), m_limit(limitBytes) {}

QString TileDiskCache::pathOf(const nura::map::TileKey& key) const {
    return QStringLiteral("%1/%2/%3/%4.tile").arg(m_folder).arg(key.z).arg(key.x).arg(key.y);
}

std::optional<TileDiskCache::Entry> TileDiskCache::get(const nura::map::TileKey& key) const {
    if (m_folder.isEmpty()) {
        return std::nullopt;
    }
    QFile file(pathOf(key));
    // Only a plain file of ours: a link or a device in the cache folder is not a tile.
    const QFileInfo info(file);
    if (!info.isFile() || info.isSymLink() || info.size() > 4 * 1024 * 1024 ||
        !file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    Entry entry;
    entry.bytes = file.readAll();
    entry.fresh = info.lastModified() > QDateTime::currentDateTimeUtc();
    // Used now: the last to be evicted. Mounts without access times still get it this way.
    file.setFileTime(QDateTime::currentDateTimeUtc(), QFileDevice::FileAccessTime);
    return entry;
}

bool TileDiskCache::put(const nura::map::TileKey& key, const QByteArray& bytes, const QDateTime& freshUntil) {
    if (m_folder.isEmpty() || bytes.isEmpty()) {
        return false;
    }
    const QString path = pathOf(key);
    if (!QDir().mkpath(QFileInfo(path).path())) {
        return false;
    }
    const qint64 before = QFileInfo(path).isFile() ? QFileInfo(path).size() : 0;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        return false;
    }
    QFile written(path);
    if (written.open(QIODevice::ReadWrite)) {
        written.setFileTime(freshUntil, QFileDevice::FileModificationTime);
        written.setFileTime(QDateTime::currentDateTimeUtc(), QFileDevice::FileAccessTime);
    }
    if (m_size < 0) {
        m_size = sizeOnDisk();
    } else {
        m_size += bytes.size() - before;
    }
    if (m_size > m_limit) {
        evict();
    }
    return true;
}

qint64 TileDiskCache::sizeOnDisk() const {
    qint64 total = 0;
    QDirIterator it(m_folder, {QStringLiteral("*.tile")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        total += it.nextFileInfo().size();
    }
    return total;
}

void TileDiskCache::evict() {
    struct Item {
        QDateTime used;
        QString path;
        qint64 size;
    };
    std::vector<Item> items;
    QDirIterator it(m_folder, {QStringLiteral("*.tile")}, QDir::Files, QDirIterator::Subdirectories);
    qint64 total = 0;
    while (it.hasNext()) {
        const QFileInfo info = it.nextFileInfo();
        items.push_back({info.lastRead(), info.filePath(), info.size()});
        total += info.size();
    }
    std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) { return a.used < b.used; });
    // Down to nine tenths of the limit, so that the next few tiles do not each start a scan.
    const qint64 target = m_limit / 10 * 9;
    for (const Item& item : items) {
        if (total <= target) {
            break;
        }
        if (QFile::remove(item.path)) {
            total -= item.size;
        }
    }
    m_size = total;
}

QDateTime TileDiskCache::freshUntil(const QDateTime& now, const std::optional<QDateTime>& serverExpiry) {
    const QDateTime least = now.addSecs(kMinFreshSeconds);
    return serverExpiry && serverExpiry->isValid() && *serverExpiry > least ? *serverExpiry : least;
}
