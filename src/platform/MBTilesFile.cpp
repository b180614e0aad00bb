// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/MBTilesFile.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include <atomic>
#include <utility>

namespace {

QString nextConnectionName() {
    static std::atomic<int> counter{0};
    return QStringLiteral("nura-mbtiles-%1").arg(counter++);
}

// The image type of a tile's first bytes, for files whose metadata does not name one.
QString sniffFormat(const QByteArray& bytes) {
    if (bytes.startsWith("\x89PNG")) {
        return QStringLiteral("png");
    }
    if (bytes.startsWith("\xff\xd8\xff")) {
        return QStringLiteral("jpg");
    }
    if (bytes.startsWith("RIFF") && bytes.mid(8, 4) == "WEBP") {
        return QStringLiteral("webp");
    }
    return {};
}

} // namespace

MBTilesFile::MBTilesFile(QString path, QString connection, QString format)
    : m_path(std::move(path)), m_connection(std::move(connection)), m_format(std::move(format)) {}

MBTilesFile::~MBTilesFile() {
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
}

std::unique_ptr<MBTilesFile> MBTilesFile::open(const QString& path, QString* error) {
    auto fail = [error](const QString& text) {
        if (error) {
            *error = text;
        }
        return nullptr;
    };
    const QFileInfo info(path);
    // SQLite would make an empty database of a missing name, and a FIFO or device would hang it.
    if (!info.exists()) {
        return fail(QStringLiteral("The offline map %1 does not exist.").arg(path));
    }
    if (!info.isFile()) {
        return fail(QStringLiteral("The offline map %1 is not a file.").arg(path));
    }
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE"))) {
        return fail(QStringLiteral("Offline maps need Qt's SQLite driver (package libqt6sql6-sqlite)."));
    }
    const QString connection = nextConnectionName();
    QString format;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(info.absoluteFilePath());
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        bool ok = db.open();
        if (ok) {
            QSqlQuery meta(db);
            if (meta.exec(QStringLiteral("SELECT value FROM metadata WHERE name = 'format'")) &&
                meta.next()) {
                format = meta.value(0).toString().trimmed().toLower();
            }
            QSqlQuery probe(db);
            ok = probe.exec(QStringLiteral("SELECT tile_data FROM tiles LIMIT 1"));
            if (ok && format.isEmpty() && probe.next()) {
                format = sniffFormat(probe.value(0).toByteArray());
            }
        }
        db.close();
        if (!ok) {
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(connection);
            return fail(QStringLiteral("%1 is not an offline map (MBTiles) file.").arg(info.fileName()));
        }
    }
    if (format == QLatin1String("pbf") || format == QLatin1String("mvt") || format == QLatin1String("webp")) {
        QSqlDatabase::removeDatabase(connection);
        return fail(QStringLiteral("%1 holds %2 tiles, which cannot be drawn here. Choose an offline map "
                                   "of PNG or JPEG tiles.")
                        .arg(info.fileName(), format == QLatin1String("webp")
                                                  ? QStringLiteral("WebP")
                                                  : QStringLiteral("vector (pbf)")));
    }
    if (format == QLatin1String("jpeg")) {
        format = QStringLiteral("jpg");
    }
    if (format != QLatin1String("png") && format != QLatin1String("jpg")) {
        QSqlDatabase::removeDatabase(connection);
        return fail(
            QStringLiteral("%1 holds tiles of an unknown format (%2). Choose an offline map of PNG or "
                           "JPEG tiles.")
                .arg(info.fileName(), format.isEmpty() ? QStringLiteral("none given") : format));
    }
    if (!QSqlDatabase::database(connection).open()) {
        QSqlDatabase::removeDatabase(connection);
        return fail(QStringLiteral("%1 cannot be read.").arg(info.fileName()));
    }
    return std::unique_ptr<MBTilesFile>(new MBTilesFile(info.absoluteFilePath(), connection, format));
}

QByteArray MBTilesFile::tile(const nura::map::TileKey& key) const {
    if (!nura::map::isValidTile(key)) {
        return {};
    }
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.prepare(QStringLiteral(
        "SELECT tile_data FROM tiles WHERE zoom_level = ? AND tile_column = ? AND tile_row = ?"));
    query.addBindValue(key.z);
    query.addBindValue(key.x);
    query.addBindValue(nura::map::tmsRow(key));
    if (!query.exec() || !query.next()) {
        return {};
    }
    return query.value(0).toByteArray();
}
