// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An offline map: an MBTiles file, that is an SQLite database of raster tiles with rows numbered
// from the south. Read through Qt SQL's SQLite driver, read-only. Only PNG and JPEG tiles can be
// drawn; a file of vector (pbf) or WebP tiles is refused with a message saying so.

#include "core/map/WebMercator.h"

#include <QByteArray>
#include <QString>

#include <memory>

class MBTilesFile {
public:
    ~MBTilesFile();
    MBTilesFile(const MBTilesFile&) = delete;
    MBTilesFile& operator=(const MBTilesFile&) = delete;

    // The file, or null with the reason in `error`.
    static std::unique_ptr<MBTilesFile> open(const QString& path, QString* error);

    // The tile's bytes; empty when the file does not hold it.
    QByteArray tile(const nura::map::TileKey& key) const;
    QString format() const { return m_format; }
    QString path() const { return m_path; }

private:
    MBTilesFile(QString path, QString connection, QString format);

    QString m_path;
    QString m_connection;
    QString m_format;
};
