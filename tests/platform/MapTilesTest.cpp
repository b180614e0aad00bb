// SPDX-License-Identifier: GPL-3.0-or-later
// Map tiles from a tile server started here on 127.0.0.1 (tile_server.py: each tile one colour that
// names its z/x/y), from the disk cache and from an MBTiles file written by Python's sqlite3.

#include "platform/MBTilesFile.h"
#include "platform/TileDiskCache.h"
#include "platform/TileSource.h"
#include "ui/views/ORBMapPreferencesDialog.h"
#include "ui/views/TKMapView.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

#include <QFileInfo>
#include <QImage>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QScopeGuard>
#include <QSemaphore>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

namespace {

const QString kScript = QStringLiteral(NURA_SOURCE_DIR "/tests/platform/tile_server.py");

QColor tileColour(int z, int x, int y) {
    return QColor((40 * z + 20) % 256, (8 * x + 3) % 256, (8 * y + 5) % 256);
}

struct Server {
    QProcess process;
    int port = 0;
    Server() {
        process.start(QStringLiteral("python3"), {kScript, QStringLiteral("serve")});
        if (process.waitForReadyRead(10000)) {
            port = process.readLine().trimmed().toInt();
        }
    }
    ~Server() {
        process.kill();
        process.waitForFinished();
    }
    QString url(const QString& prefix) const {
        return QStringLiteral("http://127.0.0.1:%1%2/{z}/{x}/{y}.png").arg(port).arg(prefix);
    }
    // "path<TAB>User-Agent" of each tile request so far.
    QStringList requests() const {
        QNetworkAccessManager network;
        QNetworkReply* reply =
            network.get(QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:%1/requests").arg(port))));
        (void)QTest::qWaitFor([reply] { return reply->isFinished(); }, 5000);
        const QStringList lines = QString::fromUtf8(reply->readAll()).split(u'\n', Qt::SkipEmptyParts);
        delete reply;
        return lines;
    }
};

TileSourceOptions options(const QString& url, const QString& cache) {
    TileSourceOptions o;
    o.urlTemplate = url;
    o.cacheFolder = cache;
    o.userAgent = TileSourceOptions::defaultUserAgent();
    o.transferTimeoutMs = 800;
    return o;
}

// A 512 x 512 view of zoom 3 centred on the corner of tiles (3..4, 3..4).
struct View {
    std::shared_ptr<TileSource> tiles;
    TKMapView map;
    explicit View(std::shared_ptr<TileSource> source, int zoom = 3) : tiles(source), map(source) {
        map.resize(512, 512);
        map.setZoom(zoom);
        map.setCentre({0, 0});
    }
    QImage picture() { return map.grab().toImage(); }
    // Waits until no transfer is left, painting as a shown view would.
    void settle() {
        picture();
        QTRY_VERIFY_WITH_TIMEOUT((picture(), tiles->busy() == 0), 10000);
        picture();
    }
};

bool near(QColor a, QColor b) {
    return std::abs(a.red() - b.red()) < 4 && std::abs(a.green() - b.green()) < 4 &&
           std::abs(a.blue() - b.blue()) < 4;
}

QString makeMbtiles(const QTemporaryDir& dir, const QString& format) {
    static int count = 0;
    const QString path = dir.filePath(QStringLiteral("%1-%2.mbtiles").arg(format).arg(++count));
    QProcess::execute(QStringLiteral("python3"), {kScript, QStringLiteral("mbtiles"), path, format});
    return path;
}

} // namespace

class MapTilesTest : public QObject {
    Q_OBJECT
private slots:
    void theViewAsksOnceForEachTileItShowsThenTheCacheServesItAfterARestart() {
        Server server;
        QVERIFY(server.port > 0);
        QTemporaryDir cache;
        {
            View view(std::make_shared<TileSource>(options(server.url({}), cache.path())));
            view.settle();
            const QImage picture = view.picture();
            // Top left quarter: tile 3/3/3.
            QVERIFY(near(picture.pixelColor(20, 20), tileColour(3, 3, 3)));
            QVERIFY(near(picture.pixelColor(300, 300), tileColour(3, 4, 4)));
            view.picture(); // painting again asks for nothing more
        }
        const QStringList requests = server.requests();
        QSet<QString> paths;
        for (const QString& line : requests) {
            paths << line.section(u'\t', 0, 0);
            QVERIFY2(line.section(u'\t', 1).startsWith(QStringLiteral("nura-viewer/")), qPrintable(line));
        }
        QCOMPARE(paths, (QSet<QString>{"/3/3/3.png", "/3/4/3.png", "/3/3/4.png", "/3/4/4.png"}));
        QCOMPARE(requests.size(), 4);
        // The cache is written on the store's own thread: a restart comes after its writes.
        for (const char* name : {"3/3/3.tile", "3/4/3.tile", "3/3/4.tile", "3/4/4.tile"}) {
            QTRY_VERIFY(QFileInfo::exists(cache.filePath(QString::fromLatin1(name))));
        }
        const QFileInfo kept(cache.filePath(QStringLiteral("3/4/4.tile")));

        // After a restart the fresh tiles come from the disk without a request; a tile past its freshness
        // is drawn and asked for again, once, and the new copy is kept a week.
        {
            QFile stale(kept.filePath());
            QVERIFY(stale.open(QIODevice::ReadWrite));
            QVERIFY(stale.setFileTime(QDateTime::currentDateTimeUtc().addDays(-1),
                                      QFileDevice::FileModificationTime));
        }
        View later(std::make_shared<TileSource>(options(server.url({}), cache.path())));
        later.settle();
        later.settle();
        QVERIFY(near(later.picture().pixelColor(20, 20), tileColour(3, 3, 3)));
        QVERIFY(near(later.picture().pixelColor(300, 300), tileColour(3, 4, 4)));
        QCOMPARE(later.tiles->requestsMade(), 1);
        QTRY_VERIFY(QFileInfo(kept.filePath()).lastModified() > QDateTime::currentDateTimeUtc().addDays(6));
    }

    void aDiskThatHoldsItsReadsNeverHoldsThePainting() {
        QSemaphore held; // outlives the source, whose store waits for the job that holds it
        QTemporaryDir dir;
        const QString path = makeMbtiles(dir, QStringLiteral("png"));
        auto tiles = std::make_shared<TileSource>(options(QString(), QString()));
        auto o = tiles->options();
        o.offlineFile = path;
        QVERIFY(tiles->setOptions(o).isEmpty());
        View view(tiles, 1);
        // The offline map's reads are held (a slow stick): the view paints at once, tiles missing.
        tiles->store().post([&held] { held.acquire(); });
        const auto letGo = qScopeGuard([&held] { held.release(); }); // also when a check fails
        // Painting that waited for the held reads would never return: the test's own time runs out.
        QImage first = view.picture();
        QVERIFY(view.map.missingTiles() > 0);
        QVERIFY(!near(first.pixelColor(20, 20), tileColour(1, 0, 0)));
        QVERIFY(view.map.statusText().isEmpty()); // tiles are on their way, not "no map tiles"
        held.release();
        view.settle();
        QVERIFY(near(view.picture().pixelColor(20, 20), tileColour(1, 0, 0)));
        QCOMPARE(view.map.missingTiles(), 0);
    }

    // A server that refuses or never answers: after the timeout the grid, saying so, and the map still
    // takes positions.
    void aFailingServerLeavesTheGrid() {
        Server server;
        for (const QString& prefix : {QStringLiteral("/404"), QStringLiteral("/hang")}) {
            View broken(std::make_shared<TileSource>(options(server.url(prefix), QString())));
            broken.settle();
            QCOMPARE(broken.map.statusText(), QStringLiteral("Offline \u00b7 no map tiles"));
            QCOMPARE(broken.picture().pixelColor(20, 20), QColor(0x1b, 0x1f, 0x24));
            broken.map.setLatLag(127.0, 37.5);
            QCOMPARE(broken.map.marker()->latitude, 37.5);
            QCOMPARE(broken.tiles->requestsMade(), 4);
        }
    }

    void theDiskCacheEvictsTheLeastRecentlyUsedTile() {
        QTemporaryDir dir;
        TileDiskCache cache(dir.path(), 10 * 1024);
        const QByteArray tile(3 * 1024, 'x');
        const QDateTime fresh = QDateTime::currentDateTimeUtc().addDays(7);
        QVERIFY(cache.put({1, 0, 0}, tile, fresh));
        QVERIFY(cache.put({1, 1, 0}, tile, fresh));
        QVERIFY(cache.put({1, 0, 1}, tile, fresh));
        // Access times are whole seconds on some file systems: make the order plain.
        const auto lastUsed = [&](nura::map::TileKey key, int secondsAgo) {
            QFile file(cache.pathOf(key));
            QVERIFY(file.open(QIODevice::ReadOnly));
            QVERIFY(file.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-secondsAgo),
                                     QFileDevice::FileAccessTime));
        };
        lastUsed({1, 0, 0}, 30);
        lastUsed({1, 1, 0}, 60);
        QVERIFY(cache.get({1, 0, 0})); // used now
        QVERIFY(cache.put({1, 1, 1}, tile, fresh));
        QVERIFY(!cache.get({1, 1, 0}));
        QVERIFY(cache.get({1, 0, 0}) && cache.get({1, 1, 1}));
        QVERIFY(cache.sizeOnDisk() <= 10 * 1024);
        // Freshness: the longer of the server's expiry and a week.
        const QDateTime now = QDateTime::currentDateTimeUtc();
        QCOMPARE(TileDiskCache::freshUntil(now, now.addDays(30)), now.addDays(30));
        QCOMPARE(TileDiskCache::freshUntil(now, std::nullopt), now.addDays(7));
    }

    void anOfflineMapComesFirstWithItsRowsFlippedAndOnlyRasterFilesAreTaken() {
        Server server;
        QTemporaryDir dir;
        const QString path = makeMbtiles(dir, QStringLiteral("png"));
        // Zoom 1 comes from the file without a request, its rows flipped (the north-west tile is stored as
        // row 1).
        auto tiles = std::make_shared<TileSource>(options(server.url({}), QString()));
        tiles->setOptions([&] {
            auto o = tiles->options();
            o.offlineFile = path;
            return o;
        }());
        QVERIFY(tiles->hasOfflineMap());
        View view(tiles, 1);
        view.settle();
        QVERIFY(near(view.picture().pixelColor(20, 20), tileColour(1, 0, 0)));
        QVERIFY(near(view.picture().pixelColor(300, 300), tileColour(1, 1, 1)));
        QCOMPARE(tiles->requestsMade(), 0);

        // "Offline only": nothing is fetched, the file still draws.
        auto offline = std::make_shared<TileSource>(options(server.url({}), QString()));
        auto o = offline->options();
        o.offlineFile = path;
        o.offlineOnly = true;
        QVERIFY(offline->setOptions(o).isEmpty());
        View quiet(offline, 2);
        quiet.settle();
        QCOMPARE(offline->requestsMade(), 0);
        QVERIFY(near(quiet.picture().pixelColor(250, 250), tileColour(1, 0, 0)));

        // Vector and WebP files are refused, saying why; so is a FIFO.
        QString error;
        QVERIFY(!MBTilesFile::open(makeMbtiles(dir, QStringLiteral("pbf")), &error));
        QVERIFY2(error.contains(QStringLiteral("vector (pbf)")), qPrintable(error));
        QVERIFY(!MBTilesFile::open(makeMbtiles(dir, QStringLiteral("webp")), &error));
        QVERIFY2(error.contains(QStringLiteral("WebP")), qPrintable(error));
        QVERIFY(MBTilesFile::open(makeMbtiles(dir, QStringLiteral("none")), &error)); // told by its bytes
        const QString fifo = dir.filePath(QStringLiteral("fifo.mbtiles"));
        QCOMPARE(mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
        QVERIFY(!MBTilesFile::open(fifo, &error));
        QVERIFY(error.contains(QStringLiteral("not a file")));
    }

    void theSettingsApplyToTheSourceAndARefusedOfflineMapChangesNothing() {
        QTemporaryDir dir;
        auto tiles =
            std::make_shared<TileSource>(options(QStringLiteral("http://127.0.0.1:9/{z}/{x}/{y}.png"), {}));
        ORBMapPreferencesDialog dialog(*tiles, nullptr, [&](QWidget*) { return makeMbtiles(dir, "png"); });
        dialog.urlField()->setText(QStringLiteral("http://127.0.0.1:9/t/{z}/{x}/{y}.png"));
        for (auto* button : dialog.findChildren<QPushButton*>()) {
            if (button->text().startsWith(QStringLiteral("Choose"))) {
                button->click();
            }
        }
        QVERIFY(dialog.offlineFileField()->text().endsWith(QStringLiteral(".mbtiles")));
        dialog.offlineOnlyBox()->setChecked(true);
        QVERIFY(dialog.apply());
        QCOMPARE(tiles->options().urlTemplate, QStringLiteral("http://127.0.0.1:9/t/{z}/{x}/{y}.png"));
        QVERIFY(tiles->hasOfflineMap() && tiles->options().offlineOnly);
        QVERIFY(!tiles->options().savePreferences); // a test's source keeps nothing

        // A vector file is refused with its reason, and the working offline map stays.
        const QString before = tiles->options().offlineFile;
        const QString error = ORBMapPreferencesDialog::applySettings(*tiles, tiles->options().urlTemplate,
                                                                     makeMbtiles(dir, "pbf"), true);
        QVERIFY(error.contains(QStringLiteral("pbf")));
        QCOMPARE(tiles->options().offlineFile, before);
        QVERIFY(tiles->hasOfflineMap());
    }
};

QTEST_MAIN(MapTilesTest)
#include "MapTilesTest.moc"
