// The real map page in the web engine: the position handed over exactly as the playback sends it
// comes back as the marker's latitude and longitude, the trail follows, and without a network the
// page says it is offline. Runs under a virtual X display; offscreen draws no web page.

#include "platform/MapPage.h"
#include "ui/app/Resources.h"

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace {

QVariant evaluate(QWebEngineView* view, const QString& script) {
    QVariant result;
    QEventLoop loop;
    view->page()->runJavaScript(script, [&](const QVariant& value) {
        result = value;
        loop.quit();
    });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    return result;
}

} // namespace

class MapPageTest : public QObject {
    Q_OBJECT
private slots:
    void thePageIsAResourceNamedByTheMapLanguage() {
        QCOMPARE(mapPageUrl(), QUrl(QStringLiteral("qrc:/map/map2_eng.htm")));
        QCOMPARE(mapPageName(QStringLiteral("en")), QStringLiteral("map2"));
        QFile page(QStringLiteral(":/map/map2_eng.htm"));
        QVERIFY(page.open(QIODevice::ReadOnly));
        QVERIFY(QFile::exists(QStringLiteral(":/map/leaflet.js")));
    }

    void theMarkerLandsWhereThePlaybackSaysAndTheTrailFollows() {
        QWidget window;
        window.resize(320, 400);
        auto page = createWebMapPage(&window);
        auto* view = qobject_cast<QWebEngineView*>(page->widget());
        QVERIFY(view);
        view->setGeometry(window.rect());
        window.show();
        QSignalSpy loaded(view, &QWebEngineView::loadFinished);
        page->load(mapPageUrl());
        QVERIFY(loaded.wait(20000));
        QCOMPARE(loaded.first().first().toBool(), true);

        // Longitude first, latitude second, as the playback formats them.
        const double latitude = 37.523333, longitude = 127.01;
        page->evaluateScript(QString::asprintf("setLatLag('%lf','%lf')", longitude, latitude));
        const QVariantList marker = evaluate(view, QStringLiteral("ORBMarkerPosition()")).toList();
        QCOMPARE(marker.size(), 2);
        QCOMPARE(marker[0].toDouble(), latitude);
        QCOMPARE(marker[1].toDouble(), longitude);

        // South and west arrive negative; a repeated position adds nothing to the trail.
        page->evaluateScript(QStringLiteral("setLatLag('-58.381592','-34.603722')"));
        page->evaluateScript(QStringLiteral("setLatLag('-58.381592','-34.603722')"));
        QCOMPARE(evaluate(view, QStringLiteral("ORBMarkerPosition()")).toList(),
                 (QVariantList{-34.603722, -58.381592}));
        QCOMPARE(evaluate(view, QStringLiteral("nura.trail.length")).toInt(), 2);

        // Text that is not a position is ignored; restarting empties the trail but keeps the marker.
        page->evaluateScript(QStringLiteral("setLatLag('abc','91')"));
        page->evaluateScript(QStringLiteral("ORBRestartTrail()"));
        QCOMPARE(evaluate(view, QStringLiteral("nura.trail.length")).toInt(), 0);
        QCOMPARE(evaluate(view, QStringLiteral("ORBMarkerPosition()")).toList(),
                 (QVariantList{-34.603722, -58.381592}));

        // No network on the build machine: the grid shows, saying so, with the coordinates.
        QCOMPARE(evaluate(view, QStringLiteral("nura.online")).toBool(), false);
        QVERIFY(evaluate(view, QStringLiteral("document.getElementById('status').textContent"))
                    .toString()
                    .startsWith(QStringLiteral("Offline")));
        QCOMPARE(evaluate(view, QStringLiteral("document.getElementById('coords').textContent")).toString(),
                 QStringLiteral("34.603722\u00b0 S   58.381592\u00b0 W"));
        page->evaluateScript(QStringLiteral("ORBDebug('GPS Data Count=Zero')"));
        QCOMPARE(evaluate(view, QStringLiteral("document.getElementById('debug').textContent")).toString(),
                 QStringLiteral("GPS Data Count=Zero"));

        // The grid draws the marker at the centre of the view, in red, once the frame is composited.
        QTest::qWait(500);
        QTRY_VERIFY_WITH_TIMEOUT(view->grab().toImage().pixelColor(160, 200).red() > 180, 5000);
        const QColor centre = view->grab().toImage().pixelColor(160, 200);
        QVERIFY(centre.green() < 120 && centre.blue() < 120);
        if (qEnvironmentVariableIsSet("NURA_TEST_OUTPUT")) {
            view->grab().save(qEnvironmentVariable("NURA_TEST_OUTPUT") + QStringLiteral("/map-page.png"));
        }
    }
};

int main(int argc, char** argv) {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    prepareWebEngineEnvironment();
    QApplication app(argc, argv);
    initNuraResources();
    MapPageTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "MapPageTest.moc"
